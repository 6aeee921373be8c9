#include "ui/install/zvobsinstallwidget.h"
#include "ui_zvobsinstallwidget.h"

#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "ui/install/installdialogs.h"

zvOBSInstallWidget::zvOBSInstallWidget(QWidget* parent) : ZvInstallWizard(parent), ui(new Ui::zvOBSInstallWidget)
{
    ui->setupUi(this);
    installdialogs::initWindow(this);
    loadStyleSheet();

    Form form = formOf(ui);
    form.webLink = ui->label_OBSurl;
    QList<Edition> editions = editionRowsOf(ui, ui->label_classic, ui->label_studio);
    editions[0].toolName = kObsClassicToolName;
    // OBS classic goes into its configured folder.
    editions[0].choosesFolder = false;
    editions[1].toolName = kObsStudioToolName;
    initWizard(form, editions, Qt::AutoConnection);
}

zvOBSInstallWidget::~zvOBSInstallWidget()
{
    delete ui;
}

void zvOBSInstallWidget::loadStyleSheet()
{
    // Also on each page: opened from the toolbox the dialog is a child of the
    // main window, and there its own sheet alone left the pages unstyled.
    const QString sheet = readFileText(QStringLiteral(":/Qss/OBSWidgetQss.qss"));
    setStyleSheet(sheet);
    for (int i = 0; i < ui->stackedWidget->count(); ++i)
        ui->stackedWidget->widget(i)->setStyleSheet(sheet);
}

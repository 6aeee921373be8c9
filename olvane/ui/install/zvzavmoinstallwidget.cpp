#include "ui/install/zvzavmoinstallwidget.h"
#include "ui_zvzavmoinstallwidget.h"

#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "ui/install/installdialogs.h"

zvZavmoInstallWidget::zvZavmoInstallWidget(QWidget* parent) : ZvInstallWizard(parent), ui(new Ui::zvZavmoInstallWidget)
{
    ui->setupUi(this);
    installdialogs::initWindow(this);
    loadStyleSheet();

    QList<Edition> editions = editionRowsOf(ui, ui->label_zvttool, ui->label_zvshow);
    editions[0].toolName = kZvToolName;
    editions[1].toolName = kZvShowToolName;
    // The show edition is not offered here, but its task is resumed.
    editions[1].offered = false;
    initWizard(formOf(ui), editions, Qt::QueuedConnection);
}

zvZavmoInstallWidget::~zvZavmoInstallWidget()
{
    delete ui;
}

void zvZavmoInstallWidget::loadStyleSheet()
{
    const QString sheet = readFileText(QStringLiteral(":/Qss/ZavmoWidgetQss.qss"));
    setStyleSheet(sheet);
    ui->page->setStyleSheet(sheet);
}

#include "ui/login/zvliveaddressset.h"
#include "ui_zvliveaddressset.h"

#include "core/stringconstants.h"
#include "core/zavmopointing.h"
#include "logic/toolconfigfiles.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/login/pushdialogstyle.h"
#include "ui/login/zvgetcodetutorialwidget.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"

#include <QDebug>
#include <QEvent>
#include <QListView>

zvLiveAddressSet::zvLiveAddressSet(const QString& toolName, const QString& cancelText, QWidget* parent)
    : QDialog(parent), m_toolName(toolName), ui(new Ui::zvLiveAddressSet)
{
    ui->setupUi(this);
    ui->com_livePlat->setStyleSheet(setUpPushDialog(*this));

    // A plain list view, so that the style sheet reaches the popup's rows.
    ui->com_livePlat->setView(new QListView(ui->com_livePlat));
    ui->com_livePlat->addItem(kZavmoLiveText, QString());
    ui->com_livePlat->setCurrentIndex(0);
    ui->label_getCode->installEventFilter(this);
    ui->button_confirm->setEnabled(false);
    // Return in a field confirms what was typed; while the confirm button
    // is disabled it presses nothing (never "获取", which drops the input).
    ui->button_confirm->setDefault(true);
    connect(ui->ledit_RTMP, &QLineEdit::textChanged, this, &zvLiveAddressSet::sltTextEditChanged);

    ui->button_cancel->setText(cancelText);

    QString address;
    QString key;
    if (m_toolName == kObsClassicToolName)
        getObsClassicPushInfo(address, key);
    else if (m_toolName == kObsStudioToolName)
        getObsStudioPushInfo(address, key);
    ui->ledit_RTMP->setText(address);
    ui->ledit_RTMP->setCursorPosition(1);
    ui->ledit_liveCode->setText(key);
    ui->ledit_liveCode->setCursorPosition(1);

    m_result = 1;
}

zvLiveAddressSet::~zvLiveAddressSet()
{
    delete ui;
}

int zvLiveAddressSet::exec()
{
    m_result = 1;
    return QDialog::exec();
}

void zvLiveAddressSet::sltTextEditChanged(const QString& text)
{
    ui->button_confirm->setEnabled(!text.simplified().isEmpty());
}

bool zvLiveAddressSet::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->label_getCode && event->type() == QEvent::MouseButtonPress) {
        zvGetCodeTutorialWidget tutorial(nullptr);
        tutorial.exec();
    }
    return false;
}

void zvLiveAddressSet::on_button_close_clicked()
{
    m_result = 1;
    close();
}

void zvLiveAddressSet::on_button_get_clicked()
{
    pointEvent(PointClickStreamGet);
    m_result = 2;
    close();
}

void zvLiveAddressSet::on_button_cancel_clicked()
{
    m_result = 3;
    close();
}

void zvLiveAddressSet::on_button_confirm_clicked()
{
    pointEvent(PointClickStreamFillin);
    m_result = 0;
    // As typed: an address with blanks around it is the user's to keep.
    const QString address = ui->ledit_RTMP->text();
    const QString key = ui->ledit_liveCode->text();

    if (isObsTool()) {
        if (!endRunningTool()) {
            m_result = 4;
        } else if (!writePushInfo(address, key)) {
            // Nothing claimed written; the typed address stays for another try.
            m_result = 1;
            zvMsgTipWidget failed(kPushSettingsWriteFailedText, false, this);
            failed.exec();
            return;
        }
    }
    close();
}

bool zvLiveAddressSet::isObsTool() const
{
    return m_toolName == kObsClassicToolName || m_toolName == kObsStudioToolName;
}

bool zvLiveAddressSet::endRunningTool()
{
    ZvLogicFW* hub = ZvLogicFW::instance();
    ZvLiveToolsManager* tools = hub ? hub->getLiveToolsManager() : nullptr;
    if (!tools || tools->getAppStatus(m_toolName) != APP_RUNNING)
        return true;

    zvMsgTipWidget prompt(kObsRestartPromptText, true, this);
    prompt.setButtonText(QStringLiteral("重启OBS"), QStringLiteral("取消"));
    if (prompt.exec() != QDialog::Accepted)
        return false;
    if (tools->killAppProcess(m_toolName))
        return true;

    qWarning().noquote() << "[UI] by kx zvLiveAddressSet {could not end" << m_toolName << "}";
    zvMsgTipWidget failed(kRestartFailedText, false, this);
    failed.exec();
    return false;
}

bool zvLiveAddressSet::writePushInfo(const QString& address, const QString& key)
{
    const bool written =
        m_toolName == kObsClassicToolName ? setObsClassicPushInfo(address, key) : setObsStudioPushInfo(address, key);
    if (!written)
        qWarning().noquote() << "[UI] by kx zvLiveAddressSet {push settings of" << m_toolName << "not written}";
    return written;
}

#include "ui/install/zvenvironmentalrepair.h"
#include "ui_zvenvironmentalrepair.h"

#include "core/appconfig.h"
#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlogicfw.h"
#include "logic/zvtoolrepair.h"
#include "ui/mainwindow/widgets/draggabledialog.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"

#include <QDebug>

namespace {

// isNetFrameworkInstalled: the .NET 4.0.30319 key.
const int kNet4Bit = 2;

ZvFileDownloaderMgr* downloaderMgr()
{
    ZvLogicFW* hub = ZvLogicFW::instance();
    return hub ? hub->getFileDownloaderMgr() : nullptr;
}

} // namespace

zvEnvironmentalRepair::zvEnvironmentalRepair(const QStringList& repairNames, int mode, QWidget* parent)
    : QDialog(parent), m_repairNames(repairNames), m_mode(mode), ui(new Ui::zvEnvironmentalRepair)
{
    ui->setupUi(this);
    makeDraggableDialog(this);

    m_items = {
        {kNetFrameworkName, {ui->check_NetFrame, ui->widget_progress_net, ui->check_NetFrame_2, ui->label_Net_success}},
        {kDirectXName,
         {ui->check_DirectX, ui->widget__progress_directx, ui->check_DirectX_2, ui->label_Direct_success}},
        {kVcRedistName,
         {ui->check_vcredist_86, ui->widget__progress_vc, ui->check_vcredist_86_2, ui->label_vcredit_success}},
    };

    loadStyleSheet();
    initRepairPage();

    UILogicListener* listener = mainWindowLink().listener;
    if (!listener) {
        qWarning().noquote() << "by kx zvEnvironmentalRepair {no logic listener: repairs cannot be followed}";
        return;
    }
    connect(listener, &UILogicListener::sglUpdateDownloadProgress, this,
            &zvEnvironmentalRepair::sltUpdateDownloadProgress, Qt::QueuedConnection);
    connect(listener, &UILogicListener::sglDownloadFinished, this, &zvEnvironmentalRepair::sltDownloadFinished,
            Qt::QueuedConnection);
    connect(listener, &UILogicListener::sglDownloadFailed, this, &zvEnvironmentalRepair::sltDownloadFailed,
            Qt::QueuedConnection);
    connect(listener, &UILogicListener::sglRepairFinished, this, &zvEnvironmentalRepair::sltRepairFinished,
            Qt::QueuedConnection);
}

zvEnvironmentalRepair::~zvEnvironmentalRepair()
{
    delete ui;
}

const zvEnvironmentalRepair::Item* zvEnvironmentalRepair::item(const QString& repairName) const
{
    for (const auto& entry : m_items)
        if (entry.first == repairName)
            return &entry.second;
    return nullptr;
}

void zvEnvironmentalRepair::loadStyleSheet()
{
    setStyleSheet(readFileText(QStringLiteral(":/Qss/MainWidgetQss.qss")));
}

void zvEnvironmentalRepair::initRepairPage()
{
    ui->page_singleInit->hide();
    ui->page_singleProgress->hide();
    ui->page_multipleInit->hide();
    ui->page_multipleProgress->hide();

    if (isSingle()) {
        ui->page_singleInit->show();
        ui->label_singleInit->setText(kEnvAbnormalOneText.arg(m_repairNames.value(0)));
    } else {
        ui->page_multipleInit->show();
        ui->label_mutipleInit->setText(kEnvAbnormalListText);
        for (const auto& entry : m_items) {
            entry.second.choice->setChecked(false);
            entry.second.choice->hide();
        }
        for (const QString& name : m_repairNames) {
            if (const Item* it = item(name)) {
                it->choice->setChecked(true);
                it->choice->show();
            }
        }
    }

    if (m_mode == 1) {
        ui->button_single_Ignore->hide();
        ui->button_mutiple_Ignore->hide();
        ui->label_mutipleInit->setText(kOneKeyRepairText);
    }
}

void zvEnvironmentalRepair::on_button_single_Reapair_clicked()
{
    m_currentIndex = 0;
    ui->page_singleInit->hide();
    ui->page_singleProgress->show();
    ui->button_single_RepairSuccessed->hide();
    repairNext();
}

void zvEnvironmentalRepair::on_button_mutiple_Reapair_clicked()
{
    bool anyChosen = false;
    for (const auto& entry : m_items)
        anyChosen = anyChosen || entry.second.choice->isChecked();
    if (!anyChosen) {
        zvMsgTipWidget tip(kSelectRepairItemText, false, nullptr);
        tip.exec();
        return;
    }

    m_currentIndex = 0;
    for (const auto& entry : m_items)
        entry.second.status->hide();
    ui->page_multipleProgress->show();
    for (const auto& entry : m_items) {
        const Item& it = entry.second;
        it.rowChoice->setChecked(it.choice->isChecked());
        // isVisible() would be false while the first page is hidden.
        it.row->setVisible(!it.choice->isHidden());
        it.rowChoice->setEnabled(false);
    }
    ui->page_multipleInit->hide();
    ui->button_mutiple_RepairSuccessed->hide();
    repairNext();
}

void zvEnvironmentalRepair::repairNext()
{
    m_phase = Phase::Idle;
    if (!isSingle()) {
        while (m_currentIndex < m_repairNames.size()) {
            const Item* it = item(m_repairNames.at(m_currentIndex));
            if (it && it->rowChoice->isChecked())
                break;
            ++m_currentIndex;
        }
    }

    if (m_currentIndex >= m_repairNames.size()) {
        ui->label_mutiple_Progress->setText(kRepairDoneText);
        ui->label_mutiple_Num->hide();
        setProgress(100);
        ui->button_single_RepairSuccessed->show();
        ui->button_mutiple_RepairSuccessed->show();
        return;
    }

    const QString text = kRepairingEnvText.arg(currentRepairName());
    ui->label_singleProgress->setText(text);
    ui->label_mutiple_Progress->setText(text);
    downloadRepairPackage();
}

void zvEnvironmentalRepair::downloadRepairPackage()
{
    const QString name = currentRepairName();
    QString url;
    if (name == kNetFrameworkName)
        url = QString::fromUtf8(netFrameworkInstallerUrl());
    else if (name == kDirectXName)
        url = QString::fromUtf8(directXInstallerUrl());
    else if (name == kVcRedistName)
        url = QString::fromUtf8(vcRedistInstallerUrl());

    setProgress(0);

    ZvFileDownloaderMgr* mgr = downloaderMgr();
    const int result = mgr ? mgr->startDownload(name, url, getRepairDir(), false, QString()) : kDownloadNoDownloader;
    if (result == kDownloadStarted) {
        m_phase = Phase::Downloading;
        const QString text = kDownloadingEnvText.arg(name);
        ui->label_singleProgress->setText(text);
        ui->label_mutiple_Progress->setText(text);
        ui->label_mutiple_Num->show();
        ui->label_single_num->show();
        setItemStatus(name, kDownloadingText);
        return;
    }
    if (result == kDownloadTargetExists) {
        startRepair();
        return;
    }
    qWarning().noquote() << "by kx repair " + name + " download not started: " + QString::number(result);
    ui->label_singleProgress->setText(kDownloadFailedText);
    setItemStatus(name, kDownloadFailedText);
    finishCurrent();
}

void zvEnvironmentalRepair::startRepair()
{
    ui->label_mutiple_Num->hide();
    ui->label_single_num->hide();
    setProgress(100);

    const QString name = currentRepairName();
    ZvLogicFW* hub = ZvLogicFW::instance();
    ZvToolRepair* repair = hub ? hub->getToolRepair(name) : nullptr;
    if (!repair)
        qWarning().noquote() << "by kx repair " + name + " {no repair of this name}";
    if (repair && repair->startRepair() == 0) {
        m_phase = Phase::Repairing;
        const QString text = kRepairingEnvText.arg(name);
        ui->label_singleProgress->setText(text);
        ui->label_mutiple_Progress->setText(text);
        setItemStatus(name, kRepairingText);
        return;
    }
    setItemStatus(name, kRepairFailedText);
    ui->label_singleProgress->setText(kRepairFailedText);
    finishCurrent();
}

void zvEnvironmentalRepair::finishCurrent()
{
    ++m_currentIndex;
    repairNext();
}

void zvEnvironmentalRepair::sltUpdateDownloadProgress(QString name, int progress)
{
    if (m_phase != Phase::Downloading || name != currentRepairName())
        return;
    setProgress(progress);
}

void zvEnvironmentalRepair::sltDownloadFinished(QString name, QString /*downloadedFile*/)
{
    if (m_phase != Phase::Downloading || name != currentRepairName())
        return;
    startRepair();
}

void zvEnvironmentalRepair::sltDownloadFailed(QString name)
{
    if (m_phase != Phase::Downloading || name != currentRepairName())
        return;
    qWarning().noquote() << "by kx repair " + name + " download failed";
    // Otherwise the single page would read "downloading" at 100 %.
    ui->label_singleProgress->setText(kDownloadFailedText);
    setItemStatus(name, kDownloadFailedText);
    finishCurrent();
}

void zvEnvironmentalRepair::sltRepairFinished(QString name)
{
    if (m_phase != Phase::Repairing || name != currentRepairName())
        return;
    ZvLogicFW* hub = ZvLogicFW::instance();
    ZvToolRepair* repair = hub ? hub->getToolRepair(name) : nullptr;
    bool success = repair && !repair->needRepair();
    // .NET 2.0 alone satisfies the probe; OBS needs 4.0.
    if (name == kNetFrameworkName && !(isNetFrameworkInstalled() & kNet4Bit))
        success = false;
    if (success) {
        setItemStatus(name, kRepairSucceededText);
        ui->label_singleProgress->setText(kRepairSucceededText);
        qInfo().noquote() << "by kx repair " + name + " success";
    } else {
        setItemStatus(name, kRepairFailedText);
        ui->label_singleProgress->setText(kRepairFailedText);
        qWarning().noquote() << "by kx repair " + name + " failed";
    }
    finishCurrent();
}

void zvEnvironmentalRepair::setProgress(int percent)
{
    const int value = qBound(0, percent, 100);
    QLabel* label = isSingle() ? ui->label_single_num : ui->label_mutiple_Num;
    QProgressBar* bar = isSingle() ? ui->progressBar_single : ui->progressBar_mutiple;
    label->setText(QStringLiteral("%1%").arg(value));
    bar->setValue(value);
}

void zvEnvironmentalRepair::setItemStatus(const QString& repairName, const QString& text)
{
    if (const Item* it = item(repairName)) {
        it->status->show();
        it->status->setText(text);
    }
}

QString zvEnvironmentalRepair::currentRepairName() const
{
    return m_repairNames.value(m_currentIndex);
}

void zvEnvironmentalRepair::ignore()
{
    if (AppConfig* config = mainWindowLink().config) {
        config->setEnvironmentRepairIgnore(true);
        saveSettings(config, "zvEnvironmentalRepair::ignore");
    } else
        qWarning().noquote() << "by kx zvEnvironmentalRepair {no settings: the ignore choice is not kept}";
    close();
}

void zvEnvironmentalRepair::on_button_single_Ignore_clicked()
{
    ignore();
}

void zvEnvironmentalRepair::on_button_mutiple_Ignore_clicked()
{
    ignore();
}

void zvEnvironmentalRepair::on_button_single_RepairSuccessed_clicked()
{
    close();
}

void zvEnvironmentalRepair::on_button_mutiple_RepairSuccessed_clicked()
{
    close();
}

void zvEnvironmentalRepair::on_button_close_clicked()
{
    close();
}

// Every way out ends here (the buttons' close(), Escape, the window
// manager's close): a running download goes with the dialog, so that a
// later run does not find it still arriving.
void zvEnvironmentalRepair::reject()
{
    if (m_phase == Phase::Downloading)
        if (ZvFileDownloaderMgr* mgr = downloaderMgr())
            mgr->cancelDownload(currentRepairName());
    // A failure the cancel reports must not start the next component.
    m_phase = Phase::Idle;
    QDialog::reject();
}

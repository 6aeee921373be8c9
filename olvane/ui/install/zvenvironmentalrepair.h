#pragma once
// The runtime repair dialog: the user confirms (or, with several runtimes,
// chooses) the runtimes to repair; each is then downloaded into the repair
// folder, handed to the hub's repair of that name, and judged once its
// installer has ended, strictly one after another in list order.
//
// Fewer than two names give the single pages, more the multiple pages. Mode
// 0 (the check before OBS starts) offers Ignore, which sets the settings'
// repair-ignore flag; mode 1 (the tool box's manual repair) does not. The
// listener's signals arrive queued: a repair may emit its finish while
// holding its own lock, and this dialog calls back into it. Closing in any way (also
// Escape) cancels a running download; an installer already started goes on.

#include <QDialog>
#include <QList>
#include <QPair>
#include <QStringList>

class QCheckBox;
class QLabel;
class QWidget;

namespace Ui {
class zvEnvironmentalRepair;
}

class zvEnvironmentalRepair : public QDialog
{
    Q_OBJECT

public:
    zvEnvironmentalRepair(const QStringList& repairNames, int mode, QWidget* parent = nullptr);
    ~zvEnvironmentalRepair() override;

    // Also reached by Escape and the window manager's close.
    void reject() override;

public slots:
    void on_button_close_clicked();
    void on_button_single_Reapair_clicked();
    void on_button_single_Ignore_clicked();
    void on_button_single_RepairSuccessed_clicked();
    void on_button_mutiple_Reapair_clicked();
    void on_button_mutiple_Ignore_clicked();
    void on_button_mutiple_RepairSuccessed_clicked();
    void sltUpdateDownloadProgress(QString name, int progress);
    void sltDownloadFinished(QString name, QString downloadedFile);
    void sltDownloadFailed(QString name);
    void sltRepairFinished(QString name);

private:
    // The widgets of one runtime on the multiple pages.
    struct Item
    {
        QCheckBox* choice;    // first page
        QWidget* row;         // progress page
        QCheckBox* rowChoice; // progress page, disabled
        QLabel* status;       // progress page
    };

    bool isSingle() const { return m_repairNames.size() < 2; }
    const Item* item(const QString& repairName) const;
    void loadStyleSheet();
    void initRepairPage();
    void repairNext();
    void downloadRepairPackage();
    void startRepair();
    void setProgress(int percent);
    void setItemStatus(const QString& repairName, const QString& text);
    QString currentRepairName() const;
    // The component ended (any way): on to the next one.
    void finishCurrent();
    void ignore();

    // Which listener event the current component waits for; a late event of
    // the other kind (an earlier run of the same repair) is not its own.
    enum class Phase { Idle, Downloading, Repairing };

    const QStringList m_repairNames;
    const int m_mode;
    int m_currentIndex = 0;
    Phase m_phase = Phase::Idle;
    QList<QPair<QString, Item>> m_items;
    Ui::zvEnvironmentalRepair* ui;
};

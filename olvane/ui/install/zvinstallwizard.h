#pragma once
// The flow both install wizards share (the platform tools' and OBS's): pick
// an edition, for most editions an install folder, download its installer
// through the download pool, uninstall an installed copy first, run the
// installer silently and follow it to the end. The tasks belong to the logic
// layer and go on when the wizard closes; a wizard opened later resumes on
// the page of a task that still runs.
//
// A subclass builds its form, then calls initWizard with its pages and
// editions; the buttons reach the slots below through the form's
// name-based connections. Pages are switched by hiding four and showing one.
//
// Three changes from the plain flow: the installer of a reinstall waits for
// the uninstall in ZvInstallAfterUninstall, which outlives the wizard; an
// installer that ended without installing the tool (where the monitor can
// tell) is reported as a failure, not as done; and the installer of a failed
// install is removed from the download folder, so that a retry downloads it
// anew.

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class ZvInstallAfterUninstall;

class ZvInstallWizard : public QDialog
{
    Q_OBJECT

public:
    ~ZvInstallWizard() override;

    // The tool name of the edition the wizard works on.
    QString currentTool() const { return m_currentTool; }

public slots:
    void on_button_close_clicked();
    void on_button_close_2_clicked();
    // The download page: its download is cancelled first.
    void on_button_close_3_clicked();
    void on_button_close_4_clicked();
    void on_button_close_5_clicked();
    void on_button_confirmInstall_clicked();
    void on_button_confirmInstall_2_clicked();
    void on_button_chosePath_clicked();
    void on_button_return_clicked();
    void on_button_nextStep_clicked();
    void on_button_confirm_clicked();
    void sltInstallAfterUninstall(QString name, bool started);
    void sltUpdateDownloadProgress(QString name, int progress);
    void sltDownloadFinished(QString name, QString downloadedFile);
    void sltDownloadFailed(QString name);
    void sltLiveToolInstallProgress(QString name, int progress);
    void sltLiveToolInstallFinished(QString name);

protected:
    enum Page { EditionPage, FolderPage, DownloadPage, InstallPage, DonePage };

    // One edition's row on the edition page.
    struct Edition
    {
        QString toolName;
        bool choosesFolder = true; // else the configured folder is used as it is
        bool offered = true;       // else its row stays hidden; its tasks still resume
        QLabel* name = nullptr;
        QPushButton* confirm = nullptr;
        QLabel* reload = nullptr;
        QLabel* installed = nullptr;
        QLabel* uninstalling = nullptr;
    };

    struct Form
    {
        QList<QWidget*> pages; // the five, in Page order
        QList<QWidget*> headers;
        QProgressBar* download = nullptr;
        QProgressBar* installing = nullptr;
        QLineEdit* folder = nullptr;
        QLabel* webLink = nullptr; // opens the OBS web site; may be null
    };

    // What both forms name alike: pages, bars, folder field, and the widgets
    // of the two edition rows (tool names and the rest left to the caller).
    template <typename UiForm> static Form formOf(UiForm* ui)
    {
        Form form;
        form.pages = {ui->page, ui->page_2, ui->page_3, ui->page_4, ui->page_5};
        form.headers = {ui->widget, ui->widget_2, ui->widget_3, ui->widget_4, ui->widget_5};
        form.download = ui->progressBar_download;
        form.installing = ui->progressBar_installing;
        form.folder = ui->ledit_installPath;
        return form;
    }
    template <typename UiForm> static QList<Edition> editionRowsOf(UiForm* ui, QLabel* firstName, QLabel* secondName)
    {
        Edition first;
        first.name = firstName;
        first.confirm = ui->button_confirmInstall;
        first.reload = ui->label_clickReload;
        first.installed = ui->label_testInstalled;
        first.uninstalling = ui->label_uninstalling;
        Edition second;
        second.name = secondName;
        second.confirm = ui->button_confirmInstall_2;
        second.reload = ui->label_clickReload_2;
        second.installed = ui->label_testInstalled_2;
        second.uninstalling = ui->label_uninstalling_2;
        return {first, second};
    }

    explicit ZvInstallWizard(QWidget* parent);
    // After the form and the style sheet: header backgrounds, the listener's
    // events (`connection`; the uninstall's end always arrives queued),
    // the edition page, and the resumption of a task of the first edition
    // that has one. Editions in resumption order; the first two answer the
    // confirm buttons.
    void initWizard(const Form& form, const QList<Edition>& editions, Qt::ConnectionType connection);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const Edition* edition(const QString& toolName) const;
    void showPage(Page page);
    void refreshInstallState();
    bool resumeTask(const QString& toolName);
    // The edition page's choice; the confirm buttons also send click_install.
    void chooseEdition(const Edition& edition, bool sendEvent);
    void downloadInstaller();
    // Where the current tool's installer is downloaded to.
    QString installerFileOfCurrentTool() const;
    // Uninstalls the current tool's installed copy first, if there is one.
    void uninstallThenInstall(const QString& installerFile);
    void installTool(const QString& toolName, const QString& installerFile);
    void setProgress(int percent);
    // False where the monitor can tell the tool is not installed.
    bool isInstalled(const QString& toolName) const;

    Form m_form;
    QList<Edition> m_editions;
    QString m_currentTool;
    // The installer this wizard ran (or waits to run) for the current tool;
    // empty for a task it resumed.
    QString m_installerFile;
    QPointer<ZvInstallAfterUninstall> m_installAfterUninstall;
};

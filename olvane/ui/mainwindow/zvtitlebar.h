#pragma once
// The main window's title bar: logo and name, the login button that shows
// the user's nickname once logged in (and then opens the title menu), the
// round head picture, the "我的直播间" link, the settings, minimise and close
// buttons, and the two page buttons of the main window.
//
// Login state, logout and the avatar download reach it through the logic
// listener (queued connections made in initialize). The close button saves
// the settings, asks through the quit prompt while that is enabled, and then
// hides the window to the tray or quits, as the close mode says.

#include <QMetaType>
#include <QString>
#include <QWidget>

namespace Ui {
class zvTitleBar;
}
class zvTitleMenu;

// The pages of the main window.
enum pageType {
    PAGE_LIVE = 0,
    PAGE_TOOLBOX = 1,
};
Q_DECLARE_METATYPE(pageType)

class zvTitleBar : public QWidget
{
    Q_OBJECT

public:
    explicit zvTitleBar(QWidget* parent = nullptr);
    ~zvTitleBar() override;

    // Once, by the main window's start-up: connects the listener's signals
    // and hands the program version to the login manager.
    void initialize();
    void setHeadImage(QString path);

signals:
    void slg_Openpage(pageType page);

public slots:
    void on_button_min_clicked();
    void on_button_close_clicked();
    void on_button_setting_clicked();
    void on_button_live_clicked();
    void on_button_toolbox_clicked();
    void on_Button_login_clicked();
    void sltLoginSuccess();
    void sltLogout();
    void sltDownloadFinished(QString name, QString file);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadStyleSheet();
    void initUi();
    // The avatar download's task name for the current user.
    QString avatarTaskName() const;
    void runLoginDialog();
    void closeAndQuit();

    Ui::zvTitleBar* ui;
    zvTitleMenu* m_titleMenu = nullptr;
    QString m_userName;
};

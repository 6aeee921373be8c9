#pragma once
// The install folder dialog shown before the main window downloads and
// installs one tool: the user confirms or changes the folder; exec gives 1
// only once the folder has been made and stored as the tool's install path
// (the install folder rule of installdialogs.h). Closing gives 0 and changes
// nothing. Nothing is downloaded here.
//
//   zvInstallWidget dialog(window);
//   dialog.setToolType(INSTALL_OBS_STUDIO);  // before exec
//   if (dialog.exec() == 1) ...              // download and install

#include <QDialog>

namespace Ui {
class zvInstallWidget;
}

// The tool setToolType prepares the dialog for.
enum InstallToolType {
    INSTALL_ZV_TOOL = 0,
    INSTALL_ZV_SHOW = 1,
    INSTALL_OBS_CLASSIC = 2,
    INSTALL_OBS_STUDIO = 3,
};

class zvInstallWidget : public QDialog
{
    Q_OBJECT

public:
    explicit zvInstallWidget(QWidget* parent = nullptr);
    ~zvInstallWidget() override;

    // An InstallToolType: style, titles and the configured folder of that
    // tool. Another value gives no style sheet, keeps the form's own texts
    // and an empty folder, and no folder is accepted.
    void setToolType(int type);

public slots:
    void on_button_close_clicked();
    void on_button_chosePath_clicked();
    void on_button_confirmInstall_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadStyleSheet(int type);
    void initWidget(int type);

    int m_toolType = 0;
    Ui::zvInstallWidget* ui;
};

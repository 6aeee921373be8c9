#pragma once
// The settings dialog of the title bar: which OBS executable is started for
// the live tool selected on the main window (the two OBS editions only), and
// what the main window's close button does. A valid executable picked with
// "找到安装位置" takes effect at once, in memory and in the tools manager; the
// close mode is stored, and all settings saved, by the dialog's own close
// button only (Escape keeps the previous mode). Frameless; dragged by its top
// 36 pixels through the application-wide drag filter. What it takes from
// the main window comes through the main window link.

#include <QDialog>
#include <QString>
#include <QStringList>

namespace Ui {
class zvSystemSettingDlg;
}

class zvSystemSettingDlg : public QDialog
{
    Q_OBJECT

public:
    explicit zvSystemSettingDlg(QWidget* parent = nullptr);
    ~zvSystemSettingDlg() override;

    // Fills the controls from the settings, the current tool and its launch
    // path; without a settings object the controls keep their designed state.
    void initSettings();
    void loadStyleSheet();

public slots:
    void on_button_close_clicked();

protected:
    // A press on the enabled "找到安装位置" link opens the file picker; the
    // event is never consumed.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseLaunchFile();
    void showLaunchPath(const QString& text);

    Ui::zvSystemSettingDlg* ui;
    // The executable file names accepted for the current tool (exact case);
    // empty, so that nothing is accepted, until initSettings finds an OBS
    // edition current.
    QStringList m_acceptedNames;
};

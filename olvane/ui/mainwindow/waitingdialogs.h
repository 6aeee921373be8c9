#pragma once
// Dialogs that the main window and its title bar open but that are not built
// yet. Each is a small stand-in waiting for its real class: it keeps the
// constructor, exec and result accessor its callers use, and tells the user
// that the function is not there yet, so every button does something
// visible. The change that builds a dialog removes its class from here and
// its callers include the real header instead.

#include <QDialog>
#include <QString>

class QLabel;

class WaitingDialog : public QDialog
{
    Q_OBJECT

public:
    // What: the dialog's name as the user knows it.
    WaitingDialog(const QString& what, QWidget* parent);

protected:
    // Replaces the name shown.
    void setWhat(const QString& what);

private:
    QLabel* m_label;
};

// The settings dialog.
class zvSystemSettingDlg : public WaitingDialog
{
    Q_OBJECT

public:
    explicit zvSystemSettingDlg(QWidget* parent = nullptr);
};

// The install-folder dialog of one live tool: exec gives 1 only once a
// folder was confirmed, created and stored, so always 0 here.
class zvInstallWidget : public WaitingDialog
{
    Q_OBJECT

public:
    explicit zvInstallWidget(QWidget* parent = nullptr);
    // Kind 0 "Zavmo直播伴侣", 1 "Zavmo秀场直播伴侣", 2 OBS classic, 3 OBS Studio;
    // between construction and exec.
    void setToolType(int kind);
    int toolType() const { return m_kind; }

private:
    int m_kind = -1;
};

// The toolbox's install and reinstall dialog of the two companion tools;
// callers ignore its result.
class zvZavmoInstallWidget : public WaitingDialog
{
    Q_OBJECT

public:
    explicit zvZavmoInstallWidget(QWidget* parent = nullptr);
};

// The toolbox's install and reinstall dialog of OBS; callers ignore its result.
class zvOBSInstallWidget : public WaitingDialog
{
    Q_OBJECT

public:
    explicit zvOBSInstallWidget(QWidget* parent = nullptr);
};

// The record folders of the installed tools; callers ignore its result.
class zvChooseRecordPath : public WaitingDialog
{
    Q_OBJECT

public:
    explicit zvChooseRecordPath(QWidget* parent = nullptr);
};

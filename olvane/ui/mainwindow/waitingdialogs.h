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

// The record folders of the installed tools; callers ignore its result.
class zvChooseRecordPath : public WaitingDialog
{
    Q_OBJECT

public:
    explicit zvChooseRecordPath(QWidget* parent = nullptr);
};

#pragma once
// Dialogs that the main window and its title bar open but that are not built
// yet. Each is a small stand-in waiting for its real class: it keeps the
// constructor, exec and result accessor its callers use, and tells the user
// that the function is not there yet, so every button does something
// visible. The change that builds a dialog removes its class from here.

#include <QDialog>

class WaitingDialog : public QDialog
{
    Q_OBJECT

public:
    // What: the dialog's name as the user knows it.
    WaitingDialog(const QString& what, QWidget* parent);
};

// The login dialog: exec gives 1 only after a login, so always 0 here.
class ZvLoginWidget : public WaitingDialog
{
    Q_OBJECT

public:
    explicit ZvLoginWidget(QWidget* parent = nullptr);
};

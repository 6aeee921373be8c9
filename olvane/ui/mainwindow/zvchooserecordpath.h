#pragma once
// Where each installed live tool saves its recordings, read from the tools'
// own configuration files when the dialog is built, each with a button that
// opens that folder in the desktop's file manager. Changes nothing. A tool
// that is not installed, or has no record folder, shows an empty field and a
// disabled button; the ZVShow row is never shown. Frameless; dragged by its
// top 36 pixels through the application-wide drag filter.

#include <QDialog>

namespace Ui {
class zvChooseRecordPath;
}
class QLineEdit;
class QPushButton;

class zvChooseRecordPath : public QDialog
{
    Q_OBJECT

public:
    explicit zvChooseRecordPath(QWidget* parent = nullptr);
    ~zvChooseRecordPath() override;

public slots:
    void on_button_close_clicked();
    void on_button_openFolder_1_clicked();
    void on_button_openFolder_2_clicked();
    void on_button_openFolder_3_clicked();
    void on_button_openFolder_4_clicked();

private:
    void loadStyleSheet();
    void initRecordPaths();
    void initRecordPath(const QString& toolName, QString (*recordPath)(), QLineEdit* edit, QPushButton* button);
    // Opens the folder a row shows, when it is an existing folder.
    void openRowFolder(QLineEdit* edit);

    Ui::zvChooseRecordPath* ui;
};

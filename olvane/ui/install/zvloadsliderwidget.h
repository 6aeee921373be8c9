#pragma once
// A small modal progress dialog bound to one named download of the download
// pool: it follows the download's progress and accepts when it finishes,
// rejects when it fails. The caller starts the download under the same name,
// runs exec() and reads the result. Closing rejects and leaves the download
// running.

#include <QDialog>

namespace Ui {
class zvLoadSliderWidget;
}

class zvLoadSliderWidget : public QDialog
{
    Q_OBJECT

public:
    zvLoadSliderWidget(const QString& downloadName, QWidget* parent = nullptr);
    ~zvLoadSliderWidget() override;

    void setProgress(int percent);

public slots:
    void on_button_close_clicked();
    void sltUpdateDownloadProgress(QString name, int progress);
    void sltDownloadFinished(QString name, QString downloadedFile);
    void sltDownloadFailed(QString name);

private:
    const QString m_downloadName;
    Ui::zvLoadSliderWidget* ui;
};

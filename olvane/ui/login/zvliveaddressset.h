#pragma once
// The push-address dialog: the streamer either asks for the address to be
// fetched from the platform (result 2) or types the RTMP address and live
// code, which are written into the push settings of the OBS edition the
// dialog was opened for (result 0). The caller reads getResult after exec:
//   0 written (for a tool other than the two OBS editions: nothing to write)
//   1 closed without a choice, also after a write that failed
//   2 get the address automatically
//   3 skipped, nothing written
//   4 the OBS edition was running and was not ended (the user declined, or
//     ending it failed): nothing written
// Every exec starts from 1, so a run that ends without a button never
// reports the previous run's choice. The dialog ends a running OBS before
// writing (its settings take effect at its next start) but never starts it.

#include <QDialog>
#include <QString>

namespace Ui {
class zvLiveAddressSet;
}

class zvLiveAddressSet : public QDialog
{
    Q_OBJECT

public:
    // cancelText: the skip button's text ("跳过" or "取消").
    zvLiveAddressSet(const QString& toolName, const QString& cancelText, QWidget* parent = nullptr);
    ~zvLiveAddressSet() override;

    int getResult() const { return m_result; }

public slots:
    int exec() override;

    void on_button_close_clicked();
    void on_button_get_clicked();
    void on_button_confirm_clicked();
    void on_button_cancel_clicked();
    void sltTextEditChanged(const QString& text);

protected:
    // Pressing the "how to get the address" label opens the tutorial.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isObsTool() const;
    // True when the tool does not run (any more); false when the user kept it
    // running or it could not be ended (the user has been told).
    bool endRunningTool();
    bool writePushInfo(const QString& address, const QString& key);

    QString m_toolName;
    int m_result = 1;
    Ui::zvLiveAddressSet* ui;
};

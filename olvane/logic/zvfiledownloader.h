#pragma once
// The download pool: every file Olvane fetches (installers, repair packages,
// the companion module's files, the avatar) goes through the twenty reusable
// downloaders of ZvFileDownloaderMgr, each download named by a caller's key.
//
// GUI thread only: the pool, its downloaders and their replies live there.
// Every signal is emitted with no lock held, so a receiver may open a modal
// prompt, cancel, or start again. A key stays taken until the downloader's
// sglFinished, which follows every outcome exactly once (a start that does not
// return 10000 included); a start of that key before then gets -9998.
//
// A file is written to target + ".download" and moved to its name only when
// it arrived whole: a 2xx reply with a Content-Length above 20 bytes, all of
// it received and written. TLS certificates are verified (these files are
// executed); redirects are not followed, so a 3xx is a failure. A write that
// fails ends the transfer at once.

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QSslError>
#include <QString>

#include <atomic>
#include <list>
#include <map>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

// Results of a start.
enum DownloadResult {
    kDownloadStarted = 10000,
    kDownloadTargetExists = 10001, // the target exists and overwriting is off
    kDownloadBusy = 10002,
    kDownloadNoDownloader = -9998, // none idle, or the key is taken
    kDownloadInvalidUrl = -9999,   // also a file name that is no plain name
    kDownloadNoRequest = -10000,   // no manager, no reply, or no temporary file
};

class ZvFileDownloader : public QObject
{
    Q_OBJECT

public:
    explicit ZvFileDownloader(QNetworkAccessManager* manager);
    // Aborts a running transfer and deletes its temporary file.
    ~ZvFileDownloader() override;

    // Starts fetching url into dir + "/" + fileName (the URL text's last
    // segment when fileName is empty, which must then be a plain file name).
    int download(const QString& url, const QString& dir, const QString& fileName);
    // The name a download is saved under: fileName, or when it is empty the
    // URL text's last segment as it stands (a query stays part of it).
    static QString targetFileName(const QString& url, const QString& fileName);
    // Ends the current download (its temporary file deleted, any earlier
    // target kept) and emits sglFinished; the outcome signals never follow.
    void cancel();
    // Percent of the running download; -1 when none runs.
    int getProgress() const { return m_progress.load(); }
    void setName(const QString& name);
    void setOverwrite(bool overwrite);
    void setTransferTimeout(int ms);
    static bool targetExists(const QString& path);

signals:
    void sglUpdateDownloadProgress(QString name, int progress);
    void sglDownloadFinished(QString name, QString downloadedFile);
    void sglDownloadFailed(QString name);
    void sglFinished(QString name);

private slots:
    void sltUpdateDataReadProgress(qint64 bytesRead, qint64 totalBytes);
    void sltDownloadFinished();
    void sltWriteToFile();

private:
    void connectReply();
    // Drops the reply (ending its transfer) and closes the temporary file.
    void cleanup();
    // Appends what the reply has; false on a short write. Caller holds m_mutex.
    bool writeAvailable();

    QString m_name;
    bool m_busy = false;
    std::atomic<int> m_progress{-1};
    bool m_overwrite = false;
    QMutex m_mutex;
    qint64 m_total = 0;
    qint64 m_received = 0;
    qint64 m_written = 0;
    QString m_target;
    QString m_temp;
    QFile* m_file = nullptr;
    bool m_writeFailed = false;
    // The system's reason for the failed write ("No space left on device").
    QString m_writeError;
    QByteArray m_chunk;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    // Changes at every start and cancel: reply signals and finish steps of an
    // earlier one are recognised and dropped.
    quint64 m_generation = 0;
    int m_transferTimeoutMs = 30000;
};

class ZvFileDownloaderMgr : public QObject
{
    Q_OBJECT

public:
    // The pool, created on first use once a Qt application object exists;
    // null before that and after destroyInstance.
    static ZvFileDownloaderMgr* instance();
    // Frees the pool (its downloaders abort). Runs by itself when the
    // application object is destroyed.
    static void destroyInstance();

    int startDownload(const QString& name, const QString& url, const QString& dir, bool overwrite,
                      const QString& fileName);
    void cancelDownload(const QString& name);
    int getDownloadProgress(const QString& name);
    // All twenty: idle ones first in pool order, then active ones in key order.
    QList<ZvFileDownloader*> getAllDownloaders();
    // Time without any data after which a transfer fails (default 30 s).
    void setTransferTimeout(int ms);

private slots:
    void sltFinished(QString name);
    void sltSSLErrorDeal(QNetworkReply* reply, const QList<QSslError>& errors);

private:
    ZvFileDownloaderMgr();
    ~ZvFileDownloaderMgr() override;
    ZvFileDownloader* acquireDownloader(const QString& name);
    ZvFileDownloader* findDownloader(const QString& name);

    std::list<ZvFileDownloader*> m_idle;
    std::map<QString, ZvFileDownloader*> m_active;
    QMutex m_mutex;
    QNetworkAccessManager* m_manager = nullptr;
};

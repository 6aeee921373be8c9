#include "logic/zvfiledownloader.h"

#include "logic/safefilename.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kPoolSize = 20;
// The least usable announced size is 21 bytes.
constexpr qint64 kMinimumTotal = 21;
constexpr int kChunkSize = 256 * 1024;

// Creates the temporary file afresh: a leftover (or a symbolic link planted
// in a shared temporary folder) is removed, never followed or appended to.
QFile* createTempFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    ::unlink(native.constData());
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    auto* file = new QFile(path);
    if (!file->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        delete file;
        return nullptr;
    }
    return file;
}

ZvFileDownloaderMgr* g_pool = nullptr;
bool g_poolGone = false;

} // namespace

ZvFileDownloader::ZvFileDownloader(QNetworkAccessManager* manager) : m_manager(manager) {}

ZvFileDownloader::~ZvFileDownloader()
{
    const bool owned = m_file != nullptr;
    cleanup();
    if (owned)
        QFile::remove(m_temp);
}

bool ZvFileDownloader::targetExists(const QString& path)
{
    return QFileInfo::exists(path);
}

void ZvFileDownloader::setName(const QString& name)
{
    QMutexLocker lock(&m_mutex);
    m_name = name;
}

void ZvFileDownloader::setOverwrite(bool overwrite)
{
    QMutexLocker lock(&m_mutex);
    m_overwrite = overwrite;
}

void ZvFileDownloader::setTransferTimeout(int ms)
{
    QMutexLocker lock(&m_mutex);
    m_transferTimeoutMs = ms;
}

QString ZvFileDownloader::targetFileName(const QString& url, const QString& fileName)
{
    return fileName.isEmpty() ? url.mid(url.lastIndexOf(QLatin1Char('/')) + 1) : fileName;
}

int ZvFileDownloader::download(const QString& url, const QString& dir, const QString& fileName)
{
    if (!m_manager)
        return kDownloadNoRequest;
    QMutexLocker lock(&m_mutex);
    if (m_busy)
        return kDownloadBusy;
    ++m_generation;
    m_total = 0;
    m_received = 0;
    m_written = 0;
    m_writeFailed = false;
    m_writeError.clear();
    // Whatever this start returns, a later cancel must not touch the files of
    // an earlier download: they may belong to another downloader by now.
    m_target.clear();
    m_temp.clear();

    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid()) {
        qWarning().noquote() << "by kx download " + m_name + " failed,source not exist : " + url;
        return kDownloadInvalidUrl;
    }
    const QString name = targetFileName(url, fileName);
    if (!isSafeFileName(name)) {
        qWarning().noquote() << "[Logic] by kx ZvFileDownloader::download {" + m_name +
                                    ": no plain file name to save as: \"" + name + "\"}";
        return kDownloadInvalidUrl;
    }
    const QString path = dir + QLatin1Char('/') + name;
    if (targetExists(path) && !m_overwrite)
        return kDownloadTargetExists;

    QNetworkRequest request(parsed);
    request.setTransferTimeout(m_transferTimeoutMs);
    m_reply = m_manager->get(request);
    if (!m_reply)
        return kDownloadNoRequest;
    connectReply();
    m_file = createTempFile(path + QStringLiteral(".download"));
    if (!m_file) {
        qWarning().noquote() << "[Logic] by kx ZvFileDownloader::download {" + m_name + ": cannot create " + path +
                                    ".download}";
        cleanup();
        return kDownloadNoRequest;
    }
    m_target = path;
    m_temp = path + QStringLiteral(".download");
    m_progress = 0;
    m_busy = true;
    return kDownloadStarted;
}

void ZvFileDownloader::connectReply()
{
    // Queued, as the transfer's events are handled from the event loop in
    // the order the reply emitted them; each is dropped once the reply is no
    // longer this downloader's current one.
    const quint64 generation = m_generation;
    auto current = [this, generation] { return generation == m_generation; };
    connect(
        m_reply, &QNetworkReply::readyRead, this,
        [this, current] {
            if (current())
                sltWriteToFile();
        },
        Qt::QueuedConnection);
    connect(
        m_reply, &QNetworkReply::downloadProgress, this,
        [this, current](qint64 read, qint64 total) {
            if (current())
                sltUpdateDataReadProgress(read, total);
        },
        Qt::QueuedConnection);
    connect(
        m_reply, &QNetworkReply::finished, this,
        [this, current] {
            if (current())
                sltDownloadFinished();
        },
        Qt::QueuedConnection);
}

bool ZvFileDownloader::writeAvailable()
{
    // A reply ended by its time-out is closed: nothing more to read.
    if (!m_file || !m_reply || !m_reply->isOpen() || m_writeFailed)
        return !m_writeFailed;
    // Through one reused block: a readAll of what piled up would allocate
    // (and fault in) a fresh buffer of that size each time.
    if (m_chunk.isEmpty())
        m_chunk.resize(kChunkSize);
    qint64 n;
    while ((n = m_reply->read(m_chunk.data(), m_chunk.size())) > 0) {
        m_written += n;
        if (m_file->write(m_chunk.constData(), n) != n) {
            // QFile's own text is "Unknown error" for a file opened by descriptor.
            m_writeError = QString::fromLocal8Bit(strerror(errno));
            qWarning().noquote() << "[Logic] by kx ZvFileDownloader::sltWriteToFile {" + m_name +
                                        ": write failed: " + m_writeError + "}";
            m_writeFailed = true;
            break;
        }
    }
    return !m_writeFailed;
}

void ZvFileDownloader::sltWriteToFile()
{
    QMutexLocker lock(&m_mutex);
    // A full disk stays full: end the transfer now rather than fetch the
    // rest. The reply's finish is queued, so it runs later, unlocked here.
    if (!writeAvailable() && m_reply && m_reply->isRunning())
        m_reply->abort();
}

void ZvFileDownloader::sltUpdateDataReadProgress(qint64 bytesRead, qint64 totalBytes)
{
    QMutexLocker lock(&m_mutex);
    if (totalBytes < kMinimumTotal) {
        qDebug().noquote() << "by kx download total bytes is : " + QString::number(totalBytes);
    } else {
        if (m_total <= 0)
            m_total = totalBytes;
        m_received = bytesRead;
        m_progress = static_cast<int>(bytesRead * 100 / totalBytes);
    }
    const QString name = m_name;
    const int progress = m_progress;
    lock.unlock();
    emit sglUpdateDownloadProgress(name, progress);
}

void ZvFileDownloader::sltDownloadFinished()
{
    QMutexLocker lock(&m_mutex);
    m_progress = -1;
    const QString name = m_name;
    const quint64 generation = m_generation;
    if (m_busy) {
        const QNetworkReply::NetworkError error = m_reply ? m_reply->error() : QNetworkReply::UnknownNetworkError;
        const int status = m_reply ? m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
        const QString errorText = m_reply ? m_reply->errorString() : QString();
        // Qt reports a size at the end even without Content-Length: only an
        // announced size tells a whole body from a cut one.
        const bool announced = m_reply && m_reply->hasRawHeader("Content-Length");
        // Bytes that arrived after the last readyRead was handled.
        writeAvailable();
        const bool flushed = m_file && m_file->flush();
        if (!flushed && !m_writeFailed)
            m_writeError = m_file ? QString::fromLocal8Bit(strerror(errno)) : QStringLiteral("no file");
        cleanup();
        const QByteArray temp = QFile::encodeName(m_temp);
        const QByteArray target = QFile::encodeName(m_target);
        QString reason;
        if (m_writeFailed || !flushed)
            reason = QStringLiteral("write failed: ") + m_writeError;
        else if (error != QNetworkReply::NoError)
            reason = QStringLiteral("network: ") + errorText;
        else if (status < 200 || status > 299)
            reason = QStringLiteral("HTTP status %1").arg(status);
        else if (!announced)
            reason = QStringLiteral("no Content-Length");
        else if (m_total < 1 || m_received < m_total || m_written != m_total)
            reason = QStringLiteral("%1 of %2 bytes").arg(m_written).arg(m_total);
        else if (std::rename(temp.constData(), target.constData()) != 0)
            reason = QStringLiteral("rename failed: ") + QString::fromLocal8Bit(strerror(errno));
        const QString downloaded = m_target;
        m_busy = false;
        if (!reason.isEmpty())
            ::unlink(temp.constData());
        m_target.clear();
        m_temp.clear();
        lock.unlock();
        if (reason.isEmpty()) {
            qDebug().noquote() << "by kx download " + name + " success";
            emit sglDownloadFinished(name, downloaded);
        } else {
            qWarning().noquote() << "by kx download " + name + " failed";
            qWarning().noquote() << "[Logic] by kx ZvFileDownloader::sltDownloadFinished {" + name + ": " + reason +
                                        "}";
            emit sglDownloadFailed(name);
        }
        lock.relock();
    }
    // A receiver above may have cancelled (which announced the end already)
    // or started this downloader again: then this end is not announced, and
    // the new download's state is left alone.
    const bool announce = generation == m_generation;
    if (announce)
        m_busy = false;
    lock.unlock();
    if (announce)
        emit sglFinished(name);
}

void ZvFileDownloader::cancel()
{
    QMutexLocker lock(&m_mutex);
    ++m_generation;
    m_progress = -1;
    const bool owned = m_file != nullptr;
    cleanup();
    if (owned)
        QFile::remove(m_temp);
    m_target.clear();
    m_temp.clear();
    m_busy = false;
    const QString name = m_name;
    lock.unlock();
    emit sglFinished(name);
}

void ZvFileDownloader::cleanup()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    m_chunk.clear();
    if (m_file) {
        if (m_file->isOpen()) {
            m_file->flush();
            m_file->close();
        }
        delete m_file;
        m_file = nullptr;
    }
}

ZvFileDownloaderMgr* ZvFileDownloaderMgr::instance()
{
    if (!g_pool && !g_poolGone && QCoreApplication::instance()) {
        g_pool = new ZvFileDownloaderMgr;
        // Before the application object goes, while the network stack can
        // still be torn down cleanly.
        qAddPostRoutine(&ZvFileDownloaderMgr::destroyInstance);
    }
    return g_pool;
}

void ZvFileDownloaderMgr::destroyInstance()
{
    delete g_pool;
    g_pool = nullptr;
    g_poolGone = true;
}

ZvFileDownloaderMgr::ZvFileDownloaderMgr() : m_manager(new QNetworkAccessManager)
{
    connect(m_manager, &QNetworkAccessManager::sslErrors, this, &ZvFileDownloaderMgr::sltSSLErrorDeal);
    for (int i = 0; i < kPoolSize; ++i) {
        auto* downloader = new ZvFileDownloader(m_manager);
        connect(downloader, &ZvFileDownloader::sglFinished, this, &ZvFileDownloaderMgr::sltFinished);
        m_idle.push_back(downloader);
    }
}

ZvFileDownloaderMgr::~ZvFileDownloaderMgr()
{
    std::list<ZvFileDownloader*> all;
    {
        QMutexLocker lock(&m_mutex);
        all.swap(m_idle);
        for (auto& entry : m_active)
            all.push_back(entry.second);
        m_active.clear();
    }
    for (ZvFileDownloader* downloader : all) {
        downloader->disconnect(this);
        delete downloader;
    }
    delete m_manager;
}

ZvFileDownloader* ZvFileDownloaderMgr::acquireDownloader(const QString& name)
{
    QMutexLocker lock(&m_mutex);
    if (m_active.count(name))
        return nullptr;
    if (m_idle.empty()) {
        qWarning() << "by kx download cache is empty";
        return nullptr;
    }
    ZvFileDownloader* downloader = m_idle.front();
    m_idle.pop_front();
    downloader->setName(name);
    m_active[name] = downloader;
    return downloader;
}

ZvFileDownloader* ZvFileDownloaderMgr::findDownloader(const QString& name)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_active.find(name);
    return it == m_active.end() ? nullptr : it->second;
}

int ZvFileDownloaderMgr::startDownload(const QString& name, const QString& url, const QString& dir, bool overwrite,
                                       const QString& fileName)
{
    ZvFileDownloader* downloader = acquireDownloader(name);
    if (!downloader)
        return kDownloadNoDownloader;
    downloader->setOverwrite(overwrite);
    const int result = downloader->download(url, dir, fileName);
    if (result != kDownloadStarted)
        downloader->cancel();
    return result;
}

void ZvFileDownloaderMgr::cancelDownload(const QString& name)
{
    // Not under the pool's mutex: the cancel's sglFinished takes it.
    if (ZvFileDownloader* downloader = findDownloader(name))
        downloader->cancel();
}

int ZvFileDownloaderMgr::getDownloadProgress(const QString& name)
{
    ZvFileDownloader* downloader = findDownloader(name);
    return downloader ? downloader->getProgress() : -1;
}

QList<ZvFileDownloader*> ZvFileDownloaderMgr::getAllDownloaders()
{
    QMutexLocker lock(&m_mutex);
    QList<ZvFileDownloader*> all(m_idle.begin(), m_idle.end());
    for (const auto& entry : m_active)
        all.append(entry.second);
    return all;
}

void ZvFileDownloaderMgr::setTransferTimeout(int ms)
{
    for (ZvFileDownloader* downloader : getAllDownloaders())
        downloader->setTransferTimeout(ms);
}

void ZvFileDownloaderMgr::sltFinished(QString name)
{
    auto* downloader = qobject_cast<ZvFileDownloader*>(sender());
    QMutexLocker lock(&m_mutex);
    const auto it = m_active.find(name);
    // Only the downloader that holds the key frees it.
    if (it == m_active.end() || it->second != downloader)
        return;
    m_idle.push_back(downloader);
    m_active.erase(it);
}

void ZvFileDownloaderMgr::sltSSLErrorDeal(QNetworkReply* reply, const QList<QSslError>& errors)
{
    // Never ignored: the reply fails and so does its download.
    Q_UNUSED(reply);
    for (const QSslError& error : errors)
        qWarning().noquote()
            << QStringLiteral("ZvFileDownloaderMgr::sltSSLErrorDeal {error : %1}").arg(error.errorString());
}

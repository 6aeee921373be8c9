#include "app/qtlocalpeer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <unistd.h>

namespace {

// A sender that has not finished its message by then is dropped.
constexpr int kReceiveTimeoutMs = 5000;
// Longer messages are refused: the peer is a copy of the same program.
constexpr quint32 kMaxMessageBytes = 1 << 20;
constexpr char kAck = 1;

QString baseName(const QString& appId)
{
    QString name;
    for (const QChar c : appId)
        name += (c.isLetterOrNumber() && c.unicode() < 128) || c == '_' || c == '-' ? c : QChar('_');
    return QStringLiteral("%1-%2").arg(name).arg(::getuid());
}

QString runtimeDir()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

} // namespace

QString QtLocalPeer::lockFilePath(const QString& appId)
{
    return QDir(runtimeDir()).filePath(baseName(appId) + QStringLiteral(".lock"));
}

QString QtLocalPeer::socketPath(const QString& appId)
{
    return QDir(runtimeDir()).filePath(baseName(appId) + QStringLiteral(".socket"));
}

QtLocalPeer::QtLocalPeer(const QString& appId, QObject* parent)
    : QObject(parent), m_id(appId), m_lock(std::make_unique<QLockFile>(lockFilePath(appId)))
{
    // A live first copy refreshes nothing, so age must not make its lock
    // stale; a dead one is recognised by its process id.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0))
        return;
    m_isServer = true;
    const QString path = socketPath(appId);
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path))
        qWarning("[App] by kx QtLocalPeer {cannot listen on %s: %s}", qPrintable(path),
                 qPrintable(m_server->errorString()));
    connect(m_server, &QLocalServer::newConnection, this, &QtLocalPeer::receiveConnection);
}

QtLocalPeer::~QtLocalPeer()
{
    if (m_server)
        m_server->close();
}

bool QtLocalPeer::sendMessage(const QString& message, int timeoutMs)
{
    if (m_isServer)
        return false;
    const QByteArray body = message.toUtf8();
    QByteArray frame(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(body.size()), frame.data());
    frame += body;

    const QDeadlineTimer deadline(timeoutMs);
    const QString path = socketPath(m_id);
    // The first copy may hold the lock and not listen yet: try again.
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (socket.waitForConnected(qMax(1, int(deadline.remainingTime())))) {
            socket.write(frame);
            while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(qMax(1, int(deadline.remainingTime()))))
                ;
            char ack = 0;
            if (socket.bytesToWrite() == 0 && socket.waitForReadyRead(qMax(1, int(deadline.remainingTime()))) &&
                socket.read(&ack, 1) == 1 && ack == kAck)
                return true;
            return false;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(qMin<qint64>(50, deadline.remainingTime()));
    }
}

void QtLocalPeer::receiveConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kReceiveTimeoutMs, socket, [socket] { socket->abort(); });
        auto take = [this, socket] {
            if (socket->property("done").toBool() || socket->bytesAvailable() < 4)
                return;
            char head[4];
            socket->peek(head, 4);
            const quint32 size = qFromBigEndian<quint32>(head);
            if (size > kMaxMessageBytes) {
                socket->abort();
                return;
            }
            if (socket->bytesAvailable() < 4 + qint64(size))
                return;
            socket->read(head, 4);
            const QString message = QString::fromUtf8(socket->read(size));
            socket->setProperty("done", true);
            emit messageReceived(message);
            socket->write(&kAck, 1);
            socket->flush();
        };
        connect(socket, &QLocalSocket::readyRead, this, take);
        take();
    }
}

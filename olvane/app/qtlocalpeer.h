#pragma once
// One copy of a program per user and identifier. The first copy holds a lock
// file and listens on a local socket; a later copy finds the lock taken and
// hands its message to the first copy over the socket.
//
// The lock is a QLockFile in the user's runtime folder: a copy that was
// killed leaves a file naming a dead process, which the next copy takes over
// as stale. The socket's file is likewise removed before listening, which is
// safe because only the lock holder listens.
//
// Wire format: the message as UTF-8 behind a 32-bit length; the receiver
// answers with one byte once it has emitted messageReceived.

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

class QtLocalPeer : public QObject
{
    Q_OBJECT

public:
    // Takes the lock for appId at once; when that succeeds this copy is the
    // first and listens for messages.
    explicit QtLocalPeer(const QString& appId, QObject* parent = nullptr);
    ~QtLocalPeer() override;

    // True when another copy holds the lock (this one is not the first).
    bool isClient() const { return !m_isServer; }
    // Delivers message to the first copy, trying until timeoutMs has passed.
    // True once the first copy has received it; false when this copy is the
    // first itself, or nobody answered in time.
    bool sendMessage(const QString& message, int timeoutMs);
    QString applicationId() const { return m_id; }

    // The files used for appId: the lock and the socket of this user.
    static QString lockFilePath(const QString& appId);
    static QString socketPath(const QString& appId);

signals:
    void messageReceived(const QString& message);

private:
    void receiveConnection();

    QString m_id;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    bool m_isServer = false;
};

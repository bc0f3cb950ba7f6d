#include "gui/instance_channel.h"

#include "core/paths.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace tarvok {

namespace {

/// True when the process at the other end of the local socket pDescriptor runs as this user:
/// a command line is handed only to this user's own instance and taken only from it.
bool PeerIsThisUser(qintptr pDescriptor)
{
    struct ucred peer { };
    socklen_t size = sizeof peer;
    if (pDescriptor < 0
        || ::getsockopt(static_cast<int>(pDescriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return false;
    return peer.uid == ::getuid();
}

} // namespace

InstanceChannel::InstanceChannel(QString pName, QObject* pParent)
    : QObject(pParent)
    , name_(std::move(pName))
{
}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::DefaultName()
{
    // The socket lies in this user's private runtime folder, where nobody else can plant
    // one first; without such a folder every start is its own instance.
    const std::string folder = PrivateRuntimeFolder();
    if (folder.empty())
        return {};
    return QString::fromStdString(folder) + QStringLiteral("instance");
}

bool InstanceChannel::HandToRunning(const QString& pCommandLine)
{
    if (name_.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(500))
        return false;
    if (!PeerIsThisUser(socket.socketDescriptor())) {
        socket.abort();
        return false;
    }
    if (!pCommandLine.trimmed().isEmpty()) {
        socket.write(pCommandLine.toUtf8());
        socket.flush();
        socket.waitForBytesWritten(1000);
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(1000);
    return true;
}

bool InstanceChannel::Listen()
{
    if (name_.isEmpty())
        return false;
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // A socket left behind by a crashed instance.
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_))
            return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            if (!PeerIsThisUser(socket->socketDescriptor())) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, socket,
                [socket, buffer] { buffer->append(socket->readAll()); });
            connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
                buffer->append(socket->readAll());
                // The last hand-over wins; an empty one clears what was kept.
                received_ = QString::fromUtf8(*buffer);
                const qsizetype nul = received_.indexOf(QChar(0));
                if (nul >= 0)
                    received_.truncate(nul);
                socket->deleteLater();
            });
        }
    });
    return true;
}

QString InstanceChannel::Take()
{
    QString text;
    text.swap(received_);
    return text;
}

} // namespace tarvok

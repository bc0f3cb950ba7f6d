#include "gui/instance_channel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace tarvok {

InstanceChannel::InstanceChannel(QString pName, QObject* pParent)
    : QObject(pParent)
    , name_(std::move(pName))
{
}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::DefaultName()
{
    const QByteArray home = QDir::homePath().toUtf8();
    return QStringLiteral("tarvok2-")
        + QString::fromLatin1(
            QCryptographicHash::hash(home, QCryptographicHash::Sha1).toHex().left(12));
}

bool InstanceChannel::HandToRunning(const QString& pCommandLine)
{
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(500))
        return false;
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

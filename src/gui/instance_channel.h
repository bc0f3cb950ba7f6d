#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace tarvok {

/// The hand-over between two instances of the program over a local socket: the first
/// instance listens; a later one sends its command line (when not empty) and ends. The
/// receiver keeps the last text handed over until the window takes it.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    /// pName: the socket name; one per user by default (DefaultName).
    explicit InstanceChannel(QString pName = DefaultName(), QObject* pParent = nullptr);
    ~InstanceChannel() override;

    /// The socket of this user's instance: "instance" in the user's private runtime folder;
    /// empty (no hand-over, no listening) when there is no such folder.
    static QString DefaultName();

    /// True when another instance listens; the command line was then handed to it (an
    /// empty one is not sent).
    bool HandToRunning(const QString& pCommandLine);
    /// Starts listening; false when the socket cannot be made.
    bool Listen();
    /// The text handed over since the last call, once; empty when none.
    QString Take();

private:
    QString name_;
    QLocalServer* server_ = nullptr;
    QString received_;
};

} // namespace tarvok

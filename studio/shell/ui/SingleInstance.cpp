#include "studio/shell/ui/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace zolvex {
namespace studio {

const char kInstanceName[] = "9250DE00-F3F4-4d9a-BFC2-F738C26D5282";

namespace {

QString RuntimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}

}  // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), name_(name + "-" + QString::number(getuid()))
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Claim()
{
    lock_ = std::make_unique<QLockFile>(RuntimeFolder() + "/zolvex-studio-" + name_ + ".lock");
    // Only a living process holds the lock: a dead one's lock is taken over at once.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return false;
    }
    // The socket of a studio that crashed may still be there; the lock says it is ours.
    QLocalServer::removeServer(name_);
    server_ = new QLocalServer(this);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
    server_->listen(name_);
    return true;
}

bool SingleInstance::AskFirstToShow(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    // Window managers hand the focus only to a window activated with the start's own
    // id or token, so the first instance is given this one's.
    QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (token.isEmpty())
        token = qgetenv("DESKTOP_STARTUP_ID");
    socket.write("show " + token + "\n");
    socket.flush();
    if (!socket.waitForReadyRead(timeoutMs))
        return false;
    return socket.readLine().trimmed() == "ok";
}

void SingleInstance::OnConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine().trimmed();
            if (!line.startsWith("show"))
                return;
            socket->write("ok\n");
            socket->flush();
            emit showRequested(QString::fromUtf8(line.mid(4).trimmed()));
        });
    }
}

}  // namespace studio
}  // namespace zolvex

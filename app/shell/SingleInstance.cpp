#include "SingleInstance.h"

#include "AppDiagnostics.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>

namespace quaymark {

namespace {

constexpr int requestTimeoutMs = 3000;
const QByteArray activateRequest = QByteArrayLiteral("activate\n");

QString socketPathIn(const QString& folder) {
    return folder + QStringLiteral("/instance.socket");
}

// Bounded waits: a hung first instance must not hang the second start too.
void askToActivate(const QString& socketPath) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(requestTimeoutMs)) {
        return;
    }
    socket.write(activateRequest);
    socket.waitForBytesWritten(requestTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(requestTimeoutMs);
    }
}

} // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquireSingleInstance() {
    if (held_) {
        return true;
    }
    const QString folder = AppDiagnostics::directory();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        return false;
    }
    const QByteArray lockPath = QFile::encodeName(folder + QStringLiteral("/instance.lock"));
    lock_.reset(retryOnInterrupt([&] {
        return ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    }));
    if (lock_ && retryOnInterrupt([&] { return ::flock(lock_.get(), LOCK_EX | LOCK_NB); }) == 0) {
        held_ = true;
        listen(socketPathIn(folder));
        return true;
    }
    askToActivate(socketPathIn(folder));
    return false;
}

void SingleInstance::listen(const QString& socketPath) {
    // Only the lock holder gets here, so a socket file left over is a crashed instance's.
    QLocalServer::removeServer(socketPath);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(socketPath)) {
        // Still the only instance; later starts just cannot bring this one to the front.
        AppDiagnostics::log(QStringLiteral("Instance socket unavailable at ") + socketPath +
                            QStringLiteral(": ") + server_.errorString());
    }
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        // Reads one request line; anything longer than the request is not one.
        const auto handle = [this, socket] {
            if (socket->canReadLine()) {
                if (socket->readLine(64) == activateRequest) {
                    emit activationRequested();
                }
                socket->disconnectFromServer();
            } else if (socket->bytesAvailable() > activateRequest.size()) {
                socket->abort();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, handle);
        // The request may arrive together with the peer's close.
        connect(socket, &QLocalSocket::disconnected, this, [socket, handle] {
            handle();
            socket->deleteLater();
        });
        handle();
    }
}

} // namespace quaymark

// SPDX-License-Identifier: GPL-3.0-or-later
#include "SingleInstance.h"

#include "app/core/AppDiagnostics.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>

namespace quaymark {

namespace {

constexpr int requestTimeoutMs = 3000;
// "activate" or "activate TOKEN", one line.
const QByteArray activateRequest = QByteArrayLiteral("activate");
constexpr qsizetype maxRequestLine = 512;

// Launchers set one of these for the process they start; tokens are short printable words.
QByteArray launcherToken() {
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const QByteArray token = qgetenv(name);
        if (!token.isEmpty()) {
            return token;
        }
    }
    return {};
}

bool plausibleToken(const QByteArray& token) {
    if (token.size() > maxRequestLine - activateRequest.size() - 2) {
        return false;
    }
    return std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 127; });
}

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
    QByteArray request = activateRequest;
    if (const QByteArray token = launcherToken(); !token.isEmpty() && plausibleToken(token)) {
        request += QByteArray(' ' + token);
    }
    request += '\n';
    socket.write(request);
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
        // Reads one request line; anything longer than a request is not one.
        const auto handle = [this, socket] {
            if (socket->canReadLine()) {
                QByteArray line = socket->readLine(maxRequestLine + 1);
                // A line cut short by the limit is not a request.
                line.chop(line.endsWith('\n') ? 1 : line.size());
                if (line == activateRequest) {
                    emit activationRequested(QString());
                } else if (line.startsWith(QByteArray(activateRequest + ' '))) {
                    const QByteArray token = line.mid(activateRequest.size() + 1);
                    if (plausibleToken(token)) {
                        emit activationRequested(QString::fromLatin1(token));
                    }
                }
                socket->disconnectFromServer();
            } else if (socket->bytesAvailable() > maxRequestLine) {
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

#pragma once

// A real redis-server for the tests, listening only on a Unix socket in a temporary
// folder (no TCP port, nothing kept on disk), stopped when the object goes. Header only.
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class RedisServer final {
public:
    // `extra`: further redis-server options, e.g. {"--requirepass", "secret"}.
    explicit RedisServer(const QStringList& extra = {})
        : m_extra(extra)
    {
        start();
    }
    ~RedisServer() { stop(); }
    RedisServer(const RedisServer&) = delete;
    RedisServer& operator=(const RedisServer&) = delete;

    static bool installed()
    {
        return !QStandardPaths::findExecutable(QStringLiteral("redis-server")).isEmpty();
    }

    QString socketPath() const { return m_dir.filePath(QStringLiteral("redis.sock")); }
    // The address as whoisd's --store takes it.
    QString storeAddress() const { return QStringLiteral("unix:") + socketPath(); }
    qint64 processId() const { return m_process.processId(); }
    bool isRunning() const
    {
        return m_process.state() == QProcess::Running && QFileInfo::exists(socketPath());
    }

    // Starts (again) on the same socket; true once it accepts connections.
    bool start()
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("redis-server"),
                        QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                                    QStringLiteral("--unixsocket"), socketPath(),
                                    QStringLiteral("--unixsocketperm"), QStringLiteral("700"),
                                    QStringLiteral("--save"), QString(), QStringLiteral("--appendonly"),
                                    QStringLiteral("no"), QStringLiteral("--dir"), m_dir.path()} +
                            m_extra);
        if (!m_process.waitForStarted(5000))
            return false;
        return QTest::qWaitFor(
            [this] {
            QLocalSocket probe;
            probe.connectToServer(socketPath());
            return probe.waitForConnected(100);
            },
            10000);
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        resume();
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

    // A store that stops answering without closing its connections.
    void pause() { ::kill(pid_t(m_process.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(m_process.processId()), SIGCONT); }

    // Runs one command with redis-cli on the socket; its output, trimmed.
    QByteArray command(const QStringList& arguments, const QString& password = {}) const
    {
        QProcess cli;
        QStringList args{QStringLiteral("-s"), socketPath()};
        if (!password.isEmpty())
            args << QStringLiteral("--no-auth-warning") << QStringLiteral("-a") << password;
        cli.start(QStringLiteral("redis-cli"), args + arguments);
        cli.waitForFinished(5000);
        return cli.readAllStandardOutput().trimmed();
    }

    QByteArray output() { return m_process.readAll(); }

private:
    QTemporaryDir m_dir;
    QStringList m_extra;
    QProcess m_process;
};

#pragma once

// The real whoisd binary on a free loopback port with the tests' certificate. Header
// only: the including test defines WHOISD_PATH and WHOIS_TEST_CERT_DIR.
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

struct WhoisdProcess {
    explicit WhoisdProcess(const QStringList& arguments)
    {
        process.setReadChannel(QProcess::StandardError);
        process.start(QStringLiteral(WHOISD_PATH),
                      QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--cert"),
                                  QStringLiteral(WHOIS_TEST_CERT_DIR "/server.crt"), QStringLiteral("--key"),
                                  QStringLiteral(WHOIS_TEST_CERT_DIR "/server.key"),
                                  // Tests never reach the machine's resolvers, and run side by
                                  // side: each takes a free status port.
                                  QStringLiteral("--dns"), QStringLiteral("off"),
                                  QStringLiteral("--metrics-listen"), QStringLiteral("127.0.0.1:0")} +
                          arguments);
        // The start notice names the address, in text and in JSON logs alike.
        static const QRegularExpression listening(QStringLiteral("listening on (https://[^:]+:(\\d+))"));
        QDeadlineTimer deadline(10000);
        QRegularExpressionMatch match;
        while (!(match = listening.match(QString::fromUtf8(log))).hasMatch() &&
               process.waitForReadyRead(int(deadline.remainingTime())))
            log += process.readAllStandardError();
        baseUrl = match.captured(1);
        port = static_cast<quint16>(match.captured(2).toUInt());
        static const QRegularExpression status(QStringLiteral("health and metrics on (http://[^:]+:\\d+)"));
        statusUrl = status.match(QString::fromUtf8(log)).captured(1);
    }
    ~WhoisdProcess()
    {
        process.terminate();
        process.waitForFinished(5000);
    }

    // What the service has logged so far.
    QByteArray readLog()
    {
        process.waitForReadyRead(50);
        return log += process.readAllStandardError();
    }

    QProcess process;
    QByteArray log;
    QString baseUrl;   // empty when the service did not start
    QString statusUrl; // /healthz and /metrics
    quint16 port = 0;
};

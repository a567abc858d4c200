#pragma once

#include "service/bulk/bulk_record.h"
#include "service/engine/clock.h"
#include "service/engine/lookup_caller.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>

class LookupService;
class QNetworkAccessManager;

// Asks about one name and reports its final record; `done` may run before ask() returns.
class NameAsker {
public:
    using Done = std::function<void(BulkRecord)>;
    using WallClock = std::function<QDateTime()>;

    virtual ~NameAsker() = default;
    virtual void ask(const QString& name, Done done) = 0;
    // Nothing more will be asked, and answers still on their way are not waited for.
    virtual void stop() = 0;
    // How many lookups to keep asked at once, per TLD and in all.
    virtual int perTldWindow() const = 0;
    virtual int window() const = 0;
    // The upstream servers that asked us to wait and are being given time.
    virtual QStringList coolingServers() const { return {}; }
};

// The lookup engine in this process. A bulk run's names are never given up for time:
// the engine keeps them queued through a registry's cool-downs, and only a spent
// daily cap answers rate_limited.
class EngineAsker final : public NameAsker {
public:
    EngineAsker(LookupService& lookups, Clock& clock, WallClock wallClock);
    void ask(const QString& name, Done done) override;
    void stop() override;
    int perTldWindow() const override { return 200; }
    int window() const override { return 5000; }
    QStringList coolingServers() const override;

private:
    LookupService& m_lookups;
    Clock& m_clock;
    WallClock m_wallClock;
    LookupCaller m_caller; // one caller for the whole run, so stop() withdraws every name
    QObject m_context;     // ends the engine's signals to this object with it
    std::map<QString, Clock::TimePoint> m_coolingUntil;
};

// A running whoisd, over signed HTTPS requests as the window makes them: many users
// then share its cache and its pace. Its row does not say where a verdict came from.
// A name it answers "rate limited" (its 25 s ran out in a registry's queue) is asked
// again a little later, a few times.
class ServiceAsker final : public QObject, public NameAsker {
    Q_OBJECT
public:
    // `authorities` are trusted for the service's certificate besides the system's.
    ServiceAsker(QNetworkAccessManager& network, QString serviceUrl,
                 const QList<QSslCertificate>& authorities, WallClock wallClock);
    void ask(const QString& name, Done done) override;
    void stop() override;
    int perTldWindow() const override { return 16; }
    int window() const override { return 64; }

private:
    void send(const QString& name, int attempt, const Done& done);

    QNetworkAccessManager& m_network;
    QString m_serviceUrl;
    WallClock m_wallClock;
    QSslConfiguration m_tls;
    bool m_stopped = false;
};

#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>

#include <chrono>
#include <functional>
#include <mutex>

// What whoisd counts about itself, for /metrics in the Prometheus text format. Every
// call is safe from any thread (the HTTPS front's and the engine's).
class Metrics final {
public:
    Metrics();

    void request(const QByteArray& route, int status);
    // verdict: registered, available, invalid, failed, rate_limited; source: rdap,
    // whois, dns or none. `unreachable`: no upstream could be reached or answered in time.
    void lookup(const QByteArray& verdict, const QByteArray& source, bool unreachable);
    void cache(const QByteArray& cache, bool hit); // cache: local or shared
    void upstream(const QByteArray& server, std::chrono::nanoseconds took);
    void limitWait(const QByteArray& server, std::chrono::nanoseconds waited);
    void coolDown(const QByteArray& server);

    // Lookups in a row that found no upstream reachable (0 after any that did).
    int unreachableInARow() const;

    // Gauges read when the text is made (on the caller's thread), e.g. the store's state.
    void addGauges(std::function<QByteArray()> source);

    QByteArray text() const;

private:
    struct Histogram {
        QList<quint64> buckets; // cumulative when written, per bucket here
        quint64 count = 0;
        double sum = 0;
    };
    struct Family {
        QByteArray help;
        QByteArray type;
        QMap<QByteArray, double> counters;      // label text -> value
        QMap<QByteArray, Histogram> histograms; // label text -> histogram
    };
    void add(const QByteArray& family, const QByteArray& labels, double by);

    mutable std::mutex m_mutex;
    QMap<QByteArray, Family> m_families;
    int m_unreachableInARow = 0;
    QList<std::function<QByteArray()>> m_gauges;
};

// A label value escaped as the text format wants it.
QByteArray MetricLabel(const QByteArray& value);

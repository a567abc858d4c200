#include "service/metrics/metrics.h"

namespace {

// Upstream answers take from a few milliseconds to the 15 s time-out.
const QList<double> kSeconds{0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 15};

QByteArray Number(double value)
{
    return QByteArray::number(value, 'g', 12);
}

} // namespace

QByteArray MetricLabel(const QByteArray& value)
{
    QByteArray escaped;
    for (const char c : value) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c == '\n' ? QByteArray("\\n") : QByteArray(1, c);
    }
    return escaped;
}

Metrics::Metrics()
{
    const auto family = [this](const char* name, const char* type, const char* help) {
        m_families.insert(name, Family{help, type, {}, {}});
    };
    family("whoisd_requests_total", "counter", "HTTPS requests answered, by route and status.");
    family("whoisd_lookups_total", "counter", "Lookups answered, by verdict and source.");
    family("whoisd_cache_requests_total", "counter",
           "Cache look-ups, by cache (local or shared) and result.");
    family("whoisd_upstream_request_duration_seconds", "histogram", "Time upstream servers took to answer.");
    family("whoisd_limit_waits_total", "counter", "Requests that waited for an upstream server's limit.");
    family("whoisd_limit_wait_seconds_total", "counter",
           "Time requests waited for upstream servers' limits.");
    family("whoisd_cooldowns_total", "counter", "Times an upstream server asked us to slow down.");
}

void Metrics::add(const QByteArray& family, const QByteArray& labels, double by)
{
    m_families[family].counters[labels] += by;
}

// Labels are made before the lock is taken: every request and lookup counts here, from
// the front's threads and the engine's.
void Metrics::request(const QByteArray& route, int status)
{
    static const QByteArray kFamily = "whoisd_requests_total";
    const QByteArray labels =
        "route=\"" + MetricLabel(route) + "\",status=\"" + QByteArray::number(status) + '"';
    const std::lock_guard lock(m_mutex);
    add(kFamily, labels, 1);
}

void Metrics::lookup(const QByteArray& verdict, const QByteArray& source, bool unreachable)
{
    static const QByteArray kFamily = "whoisd_lookups_total";
    const QByteArray labels = "verdict=\"" + verdict + "\",source=\"" + source + '"';
    const std::lock_guard lock(m_mutex);
    add(kFamily, labels, 1);
    m_unreachableInARow = unreachable ? m_unreachableInARow + 1 : 0;
}

void Metrics::cache(const QByteArray& cache, bool hit)
{
    static const QByteArray kFamily = "whoisd_cache_requests_total";
    const QByteArray labels = "cache=\"" + cache + "\",result=\"" + (hit ? "hit" : "miss") + '"';
    const std::lock_guard lock(m_mutex);
    add(kFamily, labels, 1);
}

void Metrics::upstream(const QByteArray& server, std::chrono::nanoseconds took)
{
    const double seconds = std::chrono::duration<double>(took).count();
    const std::lock_guard lock(m_mutex);
    Histogram& histogram = m_families["whoisd_upstream_request_duration_seconds"]
                               .histograms["server=\"" + MetricLabel(server) + '"'];
    if (histogram.buckets.isEmpty())
        histogram.buckets.fill(0, kSeconds.size());
    for (qsizetype i = 0; i < kSeconds.size(); ++i)
        if (seconds <= kSeconds[i]) {
            ++histogram.buckets[i];
            break;
        }
    ++histogram.count;
    histogram.sum += seconds;
}

void Metrics::limitWait(const QByteArray& server, std::chrono::nanoseconds waited)
{
    const std::lock_guard lock(m_mutex);
    const QByteArray labels = "server=\"" + MetricLabel(server) + '"';
    add("whoisd_limit_waits_total", labels, 1);
    add("whoisd_limit_wait_seconds_total", labels, std::chrono::duration<double>(waited).count());
}

void Metrics::coolDown(const QByteArray& server)
{
    const std::lock_guard lock(m_mutex);
    add("whoisd_cooldowns_total", "server=\"" + MetricLabel(server) + '"', 1);
}

int Metrics::unreachableInARow() const
{
    const std::lock_guard lock(m_mutex);
    return m_unreachableInARow;
}

void Metrics::addGauges(std::function<QByteArray()> source)
{
    const std::lock_guard lock(m_mutex);
    m_gauges.append(std::move(source));
}

QByteArray Metrics::text() const
{
    QList<std::function<QByteArray()>> gauges;
    QByteArray out;
    {
        const std::lock_guard lock(m_mutex);
        gauges = m_gauges;
        for (auto family = m_families.cbegin(); family != m_families.cend(); ++family) {
            const QByteArray& name = family.key();
            out += "# HELP " + name + ' ' + family->help + "\n# TYPE " + name + ' ' + family->type + '\n';
            for (auto it = family->counters.cbegin(); it != family->counters.cend(); ++it)
                out += name + '{' + it.key() + "} " + Number(it.value()) + '\n';
            for (auto it = family->histograms.cbegin(); it != family->histograms.cend(); ++it) {
                quint64 cumulative = 0;
                for (qsizetype i = 0; i < kSeconds.size(); ++i) {
                    cumulative += it->buckets[i];
                    out += name + "_bucket{" + it.key() + ",le=\"" + Number(kSeconds[i]) + "\"} " +
                           QByteArray::number(cumulative) + '\n';
                }
                out += name + "_bucket{" + it.key() + ",le=\"+Inf\"} " + QByteArray::number(it->count) + '\n';
                out += name + "_sum{" + it.key() + "} " + Number(it->sum) + '\n';
                out += name + "_count{" + it.key() + "} " + QByteArray::number(it->count) + '\n';
            }
        }
    }
    for (const auto& gauge : gauges)
        out += gauge();
    return out;
}

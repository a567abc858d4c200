#include "service/bulk/bulk_run.h"

#include "service/bulk/name_asker.h"
#include "service/bulk/record_sink.h"

BulkRun::BulkRun(const QStringList& names, NameAsker& asker, RecordSink& sink, QObject* parent)
    : QObject(parent)
    , m_asker(asker)
    , m_sink(sink)
{
    for (const QString& name : names) {
        const QString tld = name.section(u'.', -1).toLower();
        auto it = m_tlds.find(tld);
        if (it == m_tlds.end()) {
            it = m_tlds.insert(tld, {});
            m_turns.append(tld);
        }
        it->waiting.enqueue(name);
    }
    m_counts.total = names.size();
}

void BulkRun::start()
{
    if (m_counts.total == 0) {
        emit finished();
        return;
    }
    pump();
}

void BulkRun::stop()
{
    m_stopped = true;
    m_asker.stop();
}

void BulkRun::pump()
{
    // Answers that arrive inside ask() come back here; the outer loop carries on.
    if (m_pumping)
        return;
    m_pumping = true;
    qsizetype idle = 0; // TLDs passed over in a row
    while (!m_stopped && m_asked < m_asker.window() && idle < m_turns.size()) {
        const QString tld = m_turns[m_nextTurn];
        m_nextTurn = (m_nextTurn + 1) % m_turns.size();
        Tld& turn = m_tlds[tld];
        if (turn.waiting.isEmpty() || turn.asked >= m_asker.perTldWindow()) {
            ++idle;
            continue;
        }
        idle = 0;
        ++turn.asked;
        ++m_asked;
        m_asker.ask(turn.waiting.dequeue(), [this, tld](BulkRecord record) { take(tld, std::move(record)); });
    }
    m_pumping = false;
}

void BulkRun::take(const QString& tld, BulkRecord record)
{
    if (m_stopped)
        return;
    --m_tlds[tld].asked;
    --m_asked;
    if (!m_sink.write(record)) {
        m_writeFailed = true;
        stop();
        emit finished();
        return;
    }
    ++m_counts.done;
    ++m_counts.verdicts[std::size_t(record.verdict)];
    emit recordWritten();
    if (m_counts.done == m_counts.total) {
        emit finished();
        return;
    }
    pump();
}

int ExitCodeOf(const BulkCounts& counts)
{
    return counts.of(Verdict::Failed) + counts.of(Verdict::RateLimited) > 0 ? 1 : 0;
}

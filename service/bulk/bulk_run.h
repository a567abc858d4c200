#pragma once

#include "service/bulk/bulk_record.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <array>

class NameAsker;
class RecordSink;

// How far a bulk run has come: names done of all, and how many per verdict.
struct BulkCounts {
    qsizetype total = 0;
    qsizetype done = 0;
    std::array<qsizetype, 5> verdicts{}; // indexed by Verdict

    qsizetype of(Verdict verdict) const { return verdicts[std::size_t(verdict)]; }
};

// Asks about every name and writes each record as it arrives. Names are taken from
// their TLDs in turns, a window of them asked at once, so that registries work side
// by side and a slow one never holds up the rest; records come out in answer order.
class BulkRun final : public QObject {
    Q_OBJECT
public:
    BulkRun(const QStringList& names, NameAsker& asker, RecordSink& sink, QObject* parent = nullptr);

    void start();
    // Asks nothing more; answers still on their way are dropped.
    void stop();

    const BulkCounts& counts() const { return m_counts; }
    bool writeFailed() const { return m_writeFailed; }

signals:
    void recordWritten();
    void finished(); // every name has its record, or a record could not be written

private:
    void pump();
    void take(const QString& tld, BulkRecord record);

    struct Tld {
        QQueue<QString> waiting;
        int asked = 0;
    };
    NameAsker& m_asker;
    RecordSink& m_sink;
    QHash<QString, Tld> m_tlds;
    QStringList m_turns; // TLDs in the order they first appear
    qsizetype m_nextTurn = 0;
    int m_asked = 0;
    bool m_pumping = false;
    bool m_stopped = false;
    bool m_writeFailed = false;
    BulkCounts m_counts;
};

// Exit status: 0 when every name has a verdict other than failed or rate_limited, else 1.
int ExitCodeOf(const BulkCounts& counts);

#include "service/bulk/resume_file.h"

#include "service/bulk/bulk_record.h"
#include "service/bulk/name_input.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

ResumeState ReadJsonLinesOutput(const QByteArray& bytes)
{
    ResumeState state;
    qsizetype start = 0;
    for (int line = 1;; ++line) {
        const qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            break; // what follows the last line feed is torn, or nothing
        const QJsonObject record = QJsonDocument::fromJson(bytes.sliced(start, end - start)).object();
        const QString domain = record.value(QStringLiteral("domain")).toString();
        if (domain.isEmpty() || !record.value(QStringLiteral("verdict")).isString()) {
            state.problem = QStringLiteral("line %1 is no whois-bulk record").arg(line);
            return state;
        }
        state.done.insert(NameKey(domain));
        start = end + 1;
        state.wholeBytes = start;
    }
    return state;
}

namespace {

// The cell as written, before CsvField guarded it against formulas.
QString UnguardedCell(const QString& cell)
{
    static const QString kGuarded = QStringLiteral("=+-@\t\r");
    return cell.size() > 1 && cell[0] == u'\'' && kGuarded.contains(cell[1]) ? cell.mid(1) : cell;
}

} // namespace

ResumeState ReadCsvOutput(const QByteArray& bytes)
{
    ResumeState state;
    static const QByteArray kBom = QByteArrayLiteral("\xEF\xBB\xBF");
    const qsizetype size = bytes.size();
    qsizetype i = bytes.startsWith(kBom) ? kBom.size() : 0;
    bool header = true;
    QStringList fields;
    QByteArray field;
    bool quoted = false;
    for (; i < size; ++i) {
        const char c = bytes[i];
        if (quoted) {
            if (c != '"')
                field += c;
            else if (i + 1 < size && bytes[i + 1] == '"')
                field += bytes[++i];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.append(QString::fromUtf8(std::exchange(field, {})));
        } else if (c == '\r' && i + 1 < size && bytes[i + 1] == '\n') {
            fields.append(QString::fromUtf8(std::exchange(field, {})));
            ++i;
            if (header && fields != BulkRecord::captions()) {
                state.problem = QStringLiteral("its first line is not whois-bulk's caption line");
                return state;
            }
            if (!header)
                state.done.insert(NameKey(UnguardedCell(fields.value(0))));
            header = false;
            fields.clear();
            state.wholeBytes = i + 1;
        } else {
            field += c;
        }
    }
    return state;
}

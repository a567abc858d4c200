#include "service/log/request_log.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

bool Plain(char32_t c)
{
    // Spaces separate the text line's fields; other spaces and format characters could
    // pass for one or reorder what a terminal shows.
    return c > 0x20 && c != 0x7f && QChar::isPrint(c) && !QChar::isSpace(c) && (c < 0xd800 || c > 0xdfff);
}

template <typename Escape>
QString Rewrite(QStringView text, Escape escape)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Pairs as one code point; a lone surrogate as itself, to be escaped.
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        escape(out, c);
    }
    return out;
}

QString Hex(char32_t c, int width)
{
    return QString::number(c, 16).rightJustified(width, u'0');
}

QString JsonString(QStringView text)
{
    QString out = Rewrite(text, [](QString& out, char32_t c) {
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += QChar(c);
        } else if (c == u' ' || Plain(c)) {
            out += QStringView(QChar::fromUcs4(c));
        } else if (c > 0xffff) {
            for (const char16_t unit : QChar::fromUcs4(c))
                out += QStringLiteral("\\u") + Hex(unit, 4);
        } else {
            out += QStringLiteral("\\u") + Hex(c, 4);
        }
    });
    return QStringLiteral("\"") + out + u'"';
}

QString OrDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : EscapeForLog(text);
}

} // namespace

QString EscapeForLog(QStringView text)
{
    return Rewrite(text, [](QString& out, char32_t c) {
        switch (c) {
        case u'\\': out += QStringLiteral("\\\\"); return;
        case u'\n': out += QStringLiteral("\\n"); return;
        case u'\r': out += QStringLiteral("\\r"); return;
        case u'\t': out += QStringLiteral("\\t"); return;
        default: break;
        }
        if (Plain(c))
            out += QStringView(QChar::fromUcs4(c));
        else if (c < 0x80)
            out += QStringLiteral("\\x") + Hex(c, 2);
        else
            out += QStringLiteral("\\u{") + Hex(c, 1) + u'}';
    });
}

QByteArray FormatLogLine(LogFormat format, const LogEntry& entry)
{
    const QString ms = QString::number(entry.milliseconds, 'f', 1);
    QString line;
    if (format == LogFormat::Json) {
        line = QStringLiteral("{\"time\":") + JsonString(entry.time) + QStringLiteral(",\"client\":") +
               JsonString(entry.client) + QStringLiteral(",\"name\":") + JsonString(entry.name) +
               QStringLiteral(",\"outcome\":") + JsonString(entry.outcome) +
               QStringLiteral(",\"upstream\":") + JsonString(entry.upstream) + QStringLiteral(",\"ms\":") +
               ms + QStringLiteral("}\n");
    } else {
        line = entry.time + u' ' + OrDash(entry.client) + u' ' + OrDash(entry.name) + u' ' + entry.outcome +
               QStringLiteral(" upstream=") + OrDash(entry.upstream) + u' ' + ms + QStringLiteral("ms\n");
    }
    return line.toUtf8();
}

QByteArray FormatNotice(LogFormat format, const QString& time, const QString& text)
{
    if (format == LogFormat::Json)
        return (QStringLiteral("{\"time\":") + JsonString(time) + QStringLiteral(",\"notice\":") +
                JsonString(text) + QStringLiteral("}\n"))
            .toUtf8();
    // A notice is the program's own text, but may carry a configured path: no control
    // character may start a line of its own. Named after the program, whoisd or
    // whois-bulk, which share the engine that notices.
    const QString program = QCoreApplication::applicationName();
    QString line = (program.isEmpty() ? QStringLiteral("whoisd") : program) + QStringLiteral(": ") + text;
    for (QChar& c : line)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    return (line + u'\n').toUtf8();
}

QString UtcNow()
{
    // Without QDateTime's time-zone work on every request.
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, int(millis));
    return QString::fromLatin1(text);
}

void WriteLogLine(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

void LogNotice(LogFormat format, const QString& text)
{
    WriteLogLine(FormatNotice(format, UtcNow(), text));
}

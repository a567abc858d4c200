#include "request_log.h"


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
               QStringLiteral(",\"outcome\":") + JsonString(entry.outcome) + QStringLiteral(",\"upstream\":") +
               JsonString(entry.upstream) + QStringLiteral(",\"ms\":") + ms + QStringLiteral("}\n");
    } else {
        line = entry.time + u' ' + OrDash(entry.client) + u' ' + OrDash(entry.name) + u' ' + entry.outcome +
               QStringLiteral(" upstream=") + OrDash(entry.upstream) + u' ' + ms + QStringLiteral("ms\n");
    }
    return line.toUtf8();
}

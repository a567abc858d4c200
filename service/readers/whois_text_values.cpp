#include "service/readers/whois_text_values.h"

#include "service/record/whois_record.h"

#include <QRegularExpression>

QString NormalKey(QStringView raw)
{
    QString key = raw.trimmed().toString().toLower();
    if (key.endsWith(u')')) {
        if (const qsizetype open = key.lastIndexOf(u'('); open > 0)
            key.truncate(open);
    }
    if (const qsizetype slash = key.lastIndexOf(QStringLiteral(" / ")); slash >= 0)
        key.remove(0, slash + 3);
    // "5a. primary ns": a form's item number.
    static const QRegularExpression kItem(QStringLiteral("^\\d+[a-z]?\\.\\s+"));
    key.remove(kItem);
    // Numbered keys ("ns_name_01") are one key.
    while (key.endsWith(u'.') || key.endsWith(u' ') || key.endsWith(u':') ||
           (key.size() > 3 && (key.back().isDigit() || key.back() == u'_')))
        key.chop(1);
    return key.simplified();
}

bool SplitKey(QString line, QString& key, QString& value)
{
    constexpr qsizetype kLongestKey = 48;
    // "p. [Name Server] ns1.example.jp", "c [Record Created] 13-MAY-2009"
    if (line.size() > 4 && line[0].isLetter() && line[1] == u'.' && line[2] == u' ' && line[3] == u'[')
        line.remove(0, 3);
    else if (line.size() > 3 && line[0].isLetter() && line[1] == u' ' && line[2] == u'[')
        line.remove(0, 2);
    if (line.startsWith(u'[')) {
        const qsizetype close = line.indexOf(u']');
        if (close < 2 || close > kLongestKey)
            return false;
        key = NormalKey(QStringView(line).mid(1, close - 1));
        value = line.mid(close + 1).trimmed();
        return true;
    }
    qsizetype colon = line.indexOf(u':');
    const qsizetype tab = line.indexOf(u'\t');
    // "Registrar<TAB>Name": a key set off by a tab instead of a colon.
    if (tab > 0 && (colon < 0 || tab < colon))
        colon = tab;
    // "Registrar#. . . . . cerist": a key set off by a hash and dot leaders.
    if (const qsizetype hash = line.indexOf(QStringLiteral("#.")); colon < 0 && hash > 0)
        colon = hash;
    // "Valid-date          2011-07-23": a one-word key with a hyphen or underscore,
    // set off by spaces.
    static const QRegularExpression kSpacedKey(
        QStringLiteral("^[A-Za-z]+[-_][A-Za-z_.-]*[A-Za-z](?=\\s{2,}\\S)"));
    if (const QRegularExpressionMatch spaced = kSpacedKey.match(line); colon < 0 && spaced.hasMatch())
        colon = spaced.capturedEnd();
    if (colon <= 0 || colon > kLongestKey || QStringView(line).mid(colon + 1).startsWith(u"//"))
        return false;
    key = NormalKey(QStringView(line).left(colon));
    value = line.mid(colon + 1).trimmed();
    while (value.startsWith(u':')) // "Registry WHOIS Server:: whois.example"
        value = value.mid(1).trimmed();
    // "Registrar:..........Name": dot leaders after the colon.
    // created: "2011-01-13T15:45:18+01:00" (answers written as YAML)
    if (value.size() > 1 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.mid(1, value.size() - 2);
    if (value.startsWith(QStringLiteral("..")) || value.startsWith(QStringLiteral(". ."))) {
        qsizetype dots = 0;
        while (dots < value.size() && (value[dots] == u'.' || value[dots] == u' '))
            ++dots;
        value = value.mid(dots).trimmed();
    }
    return !key.isEmpty();
}

bool LooksLikeEmail(const QString& value)
{
    const qsizetype at = value.indexOf(u'@');
    return at > 0 && value.indexOf(u'.', at) > at + 1 && !value.contains(u' ') &&
           !value.contains(QStringLiteral("://"));
}

QString EmailValue(const QString& value)
{
    const QString email = UnlessRedacted(value);
    return LooksLikeEmail(email) ? email : QString();
}

QString PhoneValue(const QString& value)
{
    const QString phone = PlainPhone(value);
    int digits = 0;
    for (const QChar c : phone) {
        if (c.isLetter())
            return {};
        digits += c.isDigit() ? 1 : 0;
    }
    return digits >= 6 ? phone : QString();
}

QString HostValue(const QString& value)
{
    static const QRegularExpression kSeparators(QStringLiteral("[\\s,]+"));
    const QStringList words = value.split(kSeparators, Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    // "google.pt NS ns1.google.com": the server follows the record type; "- ns1..." is a
    // list item.
    QString host = words.first() == u"-" && words.size() > 1 ? words[1] : words.first();
    for (qsizetype i = 0; i + 1 < words.size(); ++i) {
        if (words[i].compare(QStringLiteral("ns"), Qt::CaseInsensitive) == 0)
            host = words[i + 1];
    }
    host = host.toLower();
    while (host.endsWith(u'.'))
        host.chop(1);
    // "not.defined" stands in for an empty slot (.uz).
    return host.contains(u'.') && !host.contains(u'@') && !host.contains(u'/') && host != u"not.defined"
               ? host
               : QString();
}

QString DateValue(const QString& value, bool monthFirst)
{
    QString date = NormalizeDate(value, monthFirst);
    if (date.isEmpty()) {
        const qsizetype space = value.trimmed().lastIndexOf(u' ');
        if (space > 0)
            date = NormalizeDate(value.trimmed().mid(space + 1), monthFirst);
    }
    return date;
}

QStringList StatusValues(const QString& value)
{
    QStringList codes;
    // A remark after the code: "(paid and in zone)", a link, or a gloss ("ok - Normal state.").
    static const QRegularExpression kRemark(QStringLiteral("\\(|https?:|\\s+-(\\s|$)"));
    static const QRegularExpression kReplyCode(QStringLiteral("^\\d{3} +(?=[A-Za-z])")); // "200 Active"
    for (const QString& part : value.split(u',', Qt::SkipEmptyParts)) {
        QString item = part.trimmed().remove(kReplyCode);
        const qsizetype cut = item.indexOf(kRemark);
        if (cut >= 0)
            item = item.left(cut).trimmed();
        const QStringList words = item.split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        bool phrase = words.size() <= 4 && !item.endsWith(u'.');
        for (const QString& word : words)
            phrase = phrase && !word.front().isDigit();
        const QString code = EppStatus(phrase ? item : words.first());
        if (!code.isEmpty())
            codes.append(code);
    }
    return codes;
}

qsizetype Indent(const QString& line)
{
    qsizetype indent = 0;
    while (indent < line.size() && (line[indent] == u' ' || line[indent] == u'\t'))
        ++indent;
    return indent;
}

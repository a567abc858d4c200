#include "service/config/option_table.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

void OptionValue::refuse(const QString& text, const QString& why) const
{
    *m_complaints += QStringLiteral("--%1 %2: %3\n").arg(m_name, text, why);
}

namespace option {

bool IsHost(const QString& text)
{
    if (!QHostAddress(text).isNull())
        return true;
    static const QRegularExpression kName(
        QStringLiteral("^(?=.{1,253}$)([A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?\\.)*"
                       "[A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?\\.?$"));
    return kName.match(QString::fromLatin1(QUrl::toAce(text))).hasMatch();
}

bool IsWebUrl(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"https" || url.scheme() == u"http") && IsHost(url.host());
}

QString HostAndPort(const QString& text)
{
    // The port follows the last colon.
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return {};
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port < 1 || port > 65535 || !IsHost(host))
        return {};
    return host + u':' + QString::number(port);
}

namespace {

Option Row(const char* name, const char* valueName, const char* help, const QString& defaultText = {})
{
    return Option{QString::fromLatin1(name),
                  {},
                  QString::fromLatin1(valueName),
                  QString::fromLatin1(help),
                  {},
                  defaultText,
                  false,
                  {}};
}

// A text row whose value, when given and not empty, must pass `valid`.
Option Checked(const char* name, const char* valueName, const char* help, QString* field,
               std::function<bool(const QString&)> valid, const char* why)
{
    Option row = Row(name, valueName, help, *field);
    row.set = [field, valid = std::move(valid), why](const OptionValue& value) {
        const QString text = value.text();
        if (text.isEmpty())
            return;
        *field = text;
        if (!valid(text))
            value.refuse(text, QString::fromLatin1(why));
    };
    return row;
}

} // namespace

Option Whole(const char* name, const char* valueName, const char* help, qint64 low, qint64 high,
             std::optional<qint64> current, std::function<void(qint64)> store)
{
    Option row = Row(name, valueName, help, current ? QString::number(*current) : QString());
    row.range = QStringLiteral("%1 to %2").arg(low).arg(high);
    row.set = [low, high, store = std::move(store)](const OptionValue& value) {
        const QString text = value.text();
        if (text.isEmpty()) {
            if (value.given())
                value.refuse(text, QStringLiteral("no value"));
            return;
        }
        bool valid = false;
        const qint64 parsed = text.toLongLong(&valid);
        if (!valid)
            value.refuse(text, QStringLiteral("not a whole number"));
        else if (parsed < low || parsed > high)
            value.refuse(text, QStringLiteral("out of range (%1 to %2)").arg(low).arg(high));
        else
            store(parsed);
    };
    return row;
}

Option Text(const char* name, const char* valueName, const char* help, QString* field)
{
    return Checked(
        name, valueName, help, field, [](const QString&) { return true; }, "");
}

Option ReadableFile(const char* name, const char* help, QString* field)
{
    const auto readable = [](const QString& path) {
        return QFileInfo(path).isFile() && QFileInfo(path).isReadable();
    };
    return Checked(name, "file", help, field, readable, "not a readable file");
}

Option Folder(const char* name, const char* help, QString* field)
{
    return Checked(
        name, "dir", help, field, [](const QString& path) { return QFileInfo(path).isDir(); },
        "not a folder");
}

Option Host(const char* name, const char* help, QString* field)
{
    return Checked(name, "host", help, field, IsHost, "not a host name or address");
}

Option Address(const char* name, const char* help, QHostAddress* field)
{
    Option row = Row(name, "address", help, field->toString());
    row.set = [field](const OptionValue& value) {
        if (value.text().isEmpty())
            return;
        *field = QHostAddress(value.text());
        if (field->isNull())
            value.refuse(value.text(), QStringLiteral("not an IP address"));
    };
    return row;
}

Option WebUrl(const char* name, const char* help, QString* field)
{
    Option row = Row(name, "url", help, *field);
    row.set = [field](const OptionValue& value) {
        if (!value.given())
            return;
        *field = value.text();
        if (!field->isEmpty() && !IsWebUrl(*field))
            value.refuse(*field, QStringLiteral("not an http(s) URL"));
    };
    return row;
}

Option Pairs(const char* name, const char* valueName, const char* help, const char* form,
             std::function<QString(const QString&)> check, QHash<QString, QString>* field)
{
    Option row = Row(name, valueName, help);
    row.repeatable = true;
    row.set = [form, check = std::move(check), field](const OptionValue& value) {
        for (const QString& text : value.texts()) {
            const qsizetype equals = text.indexOf(u'=');
            const QString key = text.left(equals).trimmed().toLower();
            const QString checked =
                equals > 0 && IsHost(key) ? check(text.mid(equals + 1).trimmed()) : QString();
            if (checked.isEmpty())
                value.refuse(text, QStringLiteral("not of the form %1").arg(QLatin1StringView(form)));
            else
                field->insert(key, checked);
        }
    };
    return row;
}

Option Switch(const char* name, const char* shortName, const char* help, bool* field)
{
    Option row = Row(name, "", help);
    row.shortName = QString::fromLatin1(shortName);
    // In the settings file, "false" or "0" leaves it off.
    row.set = [field](const OptionValue& value) {
        if (value.given() && value.text() != u"false" && value.text() != u"0")
            *field = true;
    };
    return row;
}

} // namespace option

#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>

// What one option was given, from the command line or the settings file, and where a
// complaint about it goes. Every row's setter sees one, given or not.
class OptionValue final {
public:
    OptionValue(QString name, bool given, bool fromFile, QStringList texts, QString* complaints)
        : m_name(std::move(name))
        , m_given(given)
        , m_fromFile(fromFile)
        , m_texts(std::move(texts))
        , m_complaints(complaints)
    {
    }
    bool given() const { return m_given; }
    // Given in the settings file only, where a value is split at its commas.
    bool fromFile() const { return m_fromFile; }
    // The last value given (empty when none); texts() has each one, for repeatable rows.
    QString text() const { return m_texts.isEmpty() ? QString() : m_texts.last(); }
    const QStringList& texts() const { return m_texts; }
    // Any one complaint refuses the whole command line; every one is shown.
    void refuse(const QString& text, const QString& why) const;

private:
    QString m_name;
    bool m_given;
    bool m_fromFile;
    QStringList m_texts;
    QString* m_complaints;
};

// One option: its spelling, its help, the range it takes, its default and its setter,
// which checks the value and stores it. The default is read from the field the row
// sets when the row is made, so it is written once: where the field is declared.
struct Option {
    QString name;        // without dashes; the settings file's key too
    QString shortName;   // a one-letter alias, or empty
    QString valueName;   // empty: a switch, given or not
    QString help;        // one sentence, ending with a full stop
    QString range;       // e.g. "1 to 600000"; empty when any value of its form goes
    QString defaultText; // empty: none shown
    bool repeatable = false;
    std::function<void(const OptionValue&)> set;
};

// Rows of one kind (the lookups, the HTTPS front, the log, a program's own), which
// each program picks from; the manual shows them under their title.
struct OptionGroup {
    QString title;
    QList<Option> options;
};

// Row makers: each binds its row to the field it sets.
namespace option {

// A host to connect to as configured: an IP address or a name of letters, digits,
// hyphens and dots ("localhost" included).
bool IsHost(const QString& text);
bool IsWebUrl(const QString& text);
// "host:port" or "[v6]:port" as "host:port"; empty when it is neither.
QString HostAndPort(const QString& text);

// A whole number from `low` to `high`; `current` is the default (none: not set unless
// given), `store` takes the value.
Option Whole(const char* name, const char* valueName, const char* help, qint64 low, qint64 high,
             std::optional<qint64> current, std::function<void(qint64)> store);

template <typename Integer>
Option Number(const char* name, const char* valueName, const char* help, qint64 low, qint64 high,
              Integer* field)
{
    return Whole(name, valueName, help, low, high, qint64(*field),
                 [field](qint64 value) { *field = Integer(value); });
}

template <typename Integer>
Option Number(const char* name, const char* valueName, const char* help, qint64 low, qint64 high,
              std::optional<Integer>* field)
{
    return Whole(name, valueName, help, low, high, std::nullopt,
                 [field](qint64 value) { *field = Integer(value); });
}

template <typename Rep, typename Period>
Option Duration(const char* name, const char* valueName, const char* help, qint64 low, qint64 high,
                std::chrono::duration<Rep, Period>* field)
{
    return Whole(name, valueName, help, low, high, qint64(field->count()),
                 [field](qint64 value) { *field = std::chrono::duration<Rep, Period>(value); });
}

template <typename Rep, typename Period>
Option Duration(const char* name, const char* valueName, const char* help, qint64 low, qint64 high,
                std::optional<std::chrono::duration<Rep, Period>>* field)
{
    return Whole(name, valueName, help, low, high, std::nullopt,
                 [field](qint64 value) { *field = std::chrono::duration<Rep, Period>(value); });
}

// Text kept as given; an empty value keeps the default.
Option Text(const char* name, const char* valueName, const char* help, QString* field);
Option ReadableFile(const char* name, const char* help, QString* field);
// A folder that must exist: whoever starts the program makes it.
Option Folder(const char* name, const char* help, QString* field);
Option Host(const char* name, const char* help, QString* field);
Option Address(const char* name, const char* help, QHostAddress* field);
// An http(s) URL; given empty, it stores the empty text (the option turned off).
Option WebUrl(const char* name, const char* help, QString* field);
// Repeatable "key=value" rows; `check` returns the value to keep, or empty to refuse it.
Option Pairs(const char* name, const char* valueName, const char* help, const char* form,
             std::function<QString(const QString&)> check, QHash<QString, QString>* field);
Option Switch(const char* name, const char* shortName, const char* help, bool* field);

// One of a few words, each standing for a value.
template <typename Value>
Option Choice(const char* name, const char* help,
              std::initializer_list<std::pair<const char*, Value>> choices, Value* field)
{
    QStringList words;
    QString defaultText;
    for (const auto& [word, value] : choices) {
        words.append(QString::fromLatin1(word));
        if (value == *field)
            defaultText = words.last();
    }
    Option row{QString::fromLatin1(name),
               {},
               QStringLiteral("word"),
               QString::fromLatin1(help),
               QStringLiteral("\"%1\"").arg(words.join(QStringLiteral("\", \""))),
               defaultText,
               false,
               {}};
    const QList<std::pair<const char*, Value>> table(choices);
    row.set = [table, words, field](const OptionValue& given) {
        if (given.text().isEmpty())
            return;
        for (const auto& [word, value] : table) {
            if (given.text() == QLatin1StringView(word)) {
                *field = value;
                return;
            }
        }
        given.refuse(given.text(), words.size() == 2
                                       ? QStringLiteral("neither \"%1\" nor \"%2\"").arg(words[0], words[1])
                                       : QStringLiteral("not one of \"%1\"").arg(words.join(u"\", \"")));
    };
    return row;
}

} // namespace option

#include "service/config/option_parser.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QHash>
#include <QSettings>

#include <utility>

namespace {

const QString kConfig = QStringLiteral("config");
const QString kManual = QStringLiteral("help-scdoc");
const QString kSettingsFile = QStringLiteral("help-ini");

// The help sentence with what the row takes: "HTTPS port (0 to 65535; default 8443)."
QString Describe(const Option& row, bool withDefault = true)
{
    QStringList notes;
    if (!row.range.isEmpty())
        notes.append(row.range);
    if (withDefault && !row.defaultText.isEmpty())
        notes.append(QStringLiteral("default %1").arg(row.defaultText));
    if (row.repeatable)
        notes.append(QStringLiteral("repeatable"));
    return notes.isEmpty() ? row.help + u'.' : QStringLiteral("%1 (%2).").arg(row.help, notes.join(u"; "));
}

QString ScdocText(QString text)
{
    return text.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'*', QStringLiteral("\\*"))
        .replace(u'_', QStringLiteral("\\_"));
}

// What the settings file says: each key's last value, and its values as a list.
struct FileValues {
    QHash<QString, QString> text;
    QHash<QString, QStringList> list;
};

// Reads `path`; complaints go to `message`, about an unreadable file or an unknown key.
FileValues ReadSettingsFile(const QString& path, const QStringList& known, QString* message)
{
    FileValues values;
    if (!QFileInfo(path).isReadable()) {
        *message += QStringLiteral("cannot read the settings file %1\n").arg(path);
        return values;
    }
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        *message += QStringLiteral("the settings file %1 is not an INI file\n").arg(path);
        return values;
    }
    for (const QString& name : file.allKeys()) {
        // A misspelt setting would otherwise be ignored without a word.
        if (!known.contains(name)) {
            *message += QStringLiteral("unknown setting in %1: %2\n").arg(path, name);
            continue;
        }
        const QVariant value = file.value(name);
        values.text.insert(name, value.toString());
        values.list.insert(name, value.toStringList());
    }
    return values;
}

// `text` as comment lines of a settings file, at most 88 columns wide.
QString IniComment(const QString& text)
{
    QString lines;
    QString line = QStringLiteral(";");
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (line.size() > 1 && line.size() + 1 + word.size() > 88) {
            lines += line + u'\n';
            line = QStringLiteral(";");
        }
        line += u' ' + word;
    }
    return lines + line + u'\n';
}

} // namespace

OptionParser::OptionParser(QString program, QString description, QList<OptionGroup> groups)
    : m_program(std::move(program))
    , m_description(std::move(description))
    , m_groups(std::move(groups))
{
}

void OptionParser::takePositional(const QString& name, const QString& description, const QString& syntax)
{
    m_positionalName = name;
    m_positionalDescription = description;
    m_positionalSyntax = syntax;
}

OptionParser::Outcome OptionParser::parse(const QStringList& arguments, QString* message)
{
    message->clear();
    QCommandLineParser parser;
    parser.setApplicationDescription(m_description);
    parser.addHelpOption();
    parser.addOption(
        {kConfig, QStringLiteral("Settings file (INI); options given here win."), QStringLiteral("file")});
    for (const QString& hidden : {kManual, kSettingsFile}) {
        QCommandLineOption option(hidden);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    QStringList known;
    for (const OptionGroup& group : std::as_const(m_groups)) {
        for (const Option& row : group.options) {
            known.append(row.name);
            const QStringList names =
                row.shortName.isEmpty() ? QStringList{row.name} : QStringList{row.shortName, row.name};
            parser.addOption(QCommandLineOption(names, Describe(row), row.valueName));
        }
    }
    if (!m_positionalName.isEmpty())
        parser.addPositionalArgument(m_positionalName, m_positionalDescription, m_positionalSyntax);

    if (!parser.parse(arguments)) {
        *message = parser.errorText() + QStringLiteral("\n\"%1 --help\" lists the options.\n").arg(m_program);
        return Outcome::Refused;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(kManual) || parser.isSet(kSettingsFile)) {
        *message = parser.isSet(kManual)         ? manualList()
                   : parser.isSet(kSettingsFile) ? settingsFile()
                                                 : parser.helpText();
        return Outcome::Help;
    }

    // Values from the settings file first; the command line overrides them.
    const FileValues file =
        parser.isSet(kConfig) ? ReadSettingsFile(parser.value(kConfig), known, message) : FileValues();
    for (const OptionGroup& group : std::as_const(m_groups)) {
        for (const Option& row : group.options) {
            const bool onCommandLine = parser.isSet(row.name);
            const bool inFile = file.text.contains(row.name);
            QStringList texts = onCommandLine    ? parser.values(row.name)
                                : !inFile        ? QStringList()
                                : row.repeatable ? file.list.value(row.name)
                                                 : QStringList{file.text.value(row.name)};
            row.set(OptionValue(row.name, onCommandLine || inFile, !onCommandLine && inFile, std::move(texts),
                                message));
        }
    }
    m_positional = parser.positionalArguments();
    if (m_positionalName.isEmpty() && !m_positional.isEmpty())
        *message += QStringLiteral("unexpected arguments: %1\n").arg(m_positional.join(u' '));
    if (message->isEmpty())
        return Outcome::Run;
    *message += QStringLiteral("\"%1 --help\" lists the options.\n").arg(m_program);
    return Outcome::Refused;
}

QString OptionParser::manualList() const
{
    QString text =
        QStringLiteral("*--config* _file_\n\tRead settings from _file_ (INI, one _name_=_value_ a line, "
                       "the names below without the dashes); options given on the command line win.\n\n"
                       "*--help*\n\tList the options and stop.\n");
    for (const OptionGroup& group : m_groups) {
        text += QStringLiteral("\n## %1\n").arg(ScdocText(group.title));
        for (const Option& row : group.options) {
            text += u'\n';
            if (!row.shortName.isEmpty())
                text += QStringLiteral("*-%1*, ").arg(row.shortName);
            text += QStringLiteral("*--%1*").arg(row.name);
            if (!row.valueName.isEmpty())
                text += QStringLiteral(" _%1_").arg(row.valueName);
            text += QStringLiteral("\n\t%1\n").arg(ScdocText(Describe(row)));
        }
    }
    return text;
}

QString OptionParser::settingsFile() const
{
    QString text;
    for (const OptionGroup& group : m_groups) {
        text += QStringLiteral("\n; %1\n").arg(group.title);
        for (const Option& row : group.options) {
            text += u'\n' + IniComment(Describe(row, false));
            text += row.defaultText.isEmpty() ? QStringLiteral(";%1=\n").arg(row.name)
                                              : QStringLiteral("%1=%2\n").arg(row.name, row.defaultText);
        }
    }
    return text;
}

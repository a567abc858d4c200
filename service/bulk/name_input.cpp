#include "service/bulk/name_input.h"

#include "core/domain_list/import_text.h"
#include "service/engine/domain_name.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

QStringList NamesOfText(const QByteArray& bytes)
{
    // Lists copied from spreadsheets carry spaces and tabs around the names.
    QStringList lines = SplitLines(DecodeImportFile(bytes));
    for (QString& line : lines)
        line = line.trimmed();
    QStringList names = CleanImportedLines(std::move(lines));
    names.removeAll(QString());
    return names;
}

std::optional<QString> TextProblem(const QByteArray& bytes)
{
    if (bytes.contains('\0'))
        return QStringLiteral("not a text file (it holds NUL bytes)");
    return std::nullopt;
}

NameInput NameInput::read(const QStringList& sources, const std::function<QByteArray()>& readStdin)
{
    NameInput input;
    QSet<QString> seen;
    bool stdinRead = false;
    for (const QString& source : sources) {
        QByteArray bytes;
        if (source == u"-") {
            if (stdinRead)
                continue;
            stdinRead = true;
            bytes = readStdin();
        } else {
            QFile file(source);
            if (QFileInfo(source).isDir() || !file.open(QIODevice::ReadOnly)) {
                input.problem =
                    QStringLiteral("cannot read %1: %2")
                        .arg(source, QFileInfo::exists(source) ? QStringLiteral("not a readable file")
                                                               : QStringLiteral("no such file"));
                return input;
            }
            bytes = file.readAll();
        }
        if (const std::optional<QString> problem = TextProblem(bytes)) {
            input.problem = (source == u"-" ? QStringLiteral("standard input") : source) +
                            QStringLiteral(": ") + *problem;
            return input;
        }
        for (const QString& name : NamesOfText(bytes)) {
            const QString key = NameKey(name);
            if (!seen.contains(key)) {
                seen.insert(key);
                input.names.append(name);
            }
        }
    }
    if (input.names.isEmpty())
        input.problem = QStringLiteral("no domain names in the input");
    return input;
}

QString NameKey(const QString& name)
{
    const std::optional<DomainName> domain = DomainName::parse(name);
    return (domain ? domain->unicode : name).toLower();
}

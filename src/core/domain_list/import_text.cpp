#include "core/domain_list/import_text.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>

QString DecodeImportFile(const QByteArray& bytes)
{
    static constexpr char kBom[] = "\xEF\xBB\xBF";
    if (bytes.startsWith(kBom))
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gbk("GBK", QStringConverter::Flag::Stateless);
    return gbk.decode(bytes);
}

QStringList SplitLines(QStringView text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar ch = text[i];
        if (ch != u'\r' && ch != u'\n')
            continue;
        lines.append(text.sliced(start, i - start).toString());
        if (ch == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.sliced(start).toString());
    return lines;
}

QStringList ReadImportFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return SplitLines(DecodeImportFile(file.readAll()));
}

QString CleanImportedName(QString name)
{
    static const QString kScheme = QStringLiteral("http://");
    static const QString kWww = QStringLiteral("www.");
    if (name.contains(kScheme))
        name.remove(kScheme);
    if (name.startsWith(kWww))
        name.remove(0, kWww.size());
    return name;
}

QStringList CleanImportedLines(QStringList lines)
{
    lines.erase(
        std::remove_if(lines.begin(), lines.end(), [](const QString& line) { return line.isEmpty(); }),
        lines.end());
    for (QString& line : lines)
        line = CleanImportedName(std::move(line));
    return lines;
}

QString ImportedCountText(qsizetype count)
{
    return QStringLiteral("列表加载成功!共%1个域名").arg(count);
}

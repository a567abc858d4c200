#include "core/batch/result_columns.h"

const std::array<QString, ResultRow::kFieldCount>& ColumnCaptions()
{
    static const std::array<QString, ResultRow::kFieldCount> kCaptions{
        QStringLiteral("域名"),   QStringLiteral("注册商"),   QStringLiteral("邮件"),
        QStringLiteral("电话"),   QStringLiteral("注册时间"), QStringLiteral("到期时间"),
        QStringLiteral("服务器"), QStringLiteral("DNS"),      QStringLiteral("状态")};
    return kCaptions;
}

bool IsDateColumn(int column)
{
    return column == 4 || column == 5;
}

std::optional<QDate> CellDate(QStringView text)
{
    text = text.trimmed();
    if (text.size() > 10) {
        const QChar next = text[10];
        if (next != u'T' && next != u' ')
            return std::nullopt;
        text = text.first(10);
    }
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    const QDate date = QDate::fromString(text.toString(), Qt::ISODate);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

CellKey MakeCellKey(int column, const QString& cell)
{
    CellKey key{std::nullopt, cell};
    if (IsDateColumn(column)) {
        if (const std::optional<QDate> date = CellDate(cell))
            key.day = date->toJulianDay();
    }
    return key;
}

int CompareKeys(const CellKey& a, const CellKey& b)
{
    if (a.day && b.day)
        return a.day == b.day ? 0 : (*a.day < *b.day ? -1 : 1);
    if (a.day || b.day)
        return a.day ? -1 : 1;
    return a.text.compare(b.text, Qt::CaseInsensitive);
}

int CompareCells(int column, const QString& a, const QString& b)
{
    return CompareKeys(MakeCellKey(column, a), MakeCellKey(column, b));
}

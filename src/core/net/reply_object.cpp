#include "core/net/reply_object.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QVariant>

#include <cmath>

ResponseObject::ResponseObject(QJsonObject root)
    : m_root(std::move(root))
    , m_isObject(true)
{
}

std::optional<QString> ResponseObject::text(std::initializer_list<QStringView> chain) const
{
    if (!m_isObject || chain.size() == 0)
        return std::nullopt;
    QJsonObject current = m_root;
    QJsonValue value;
    auto name = chain.begin();
    while (true) {
        const auto it = current.constFind(*name);
        if (it == current.constEnd())
            return std::nullopt;
        value = it.value();
        if (++name == chain.end())
            break;
        if (!value.isObject())
            return std::nullopt;
        current = value.toObject();
    }
    if (value.isObject())
        return std::nullopt;
    return LeafText(value);
}

namespace {

QString NumberText(double number)
{
    // Whole numbers as plain decimal digits, as a script engine prints them up to
    // 1e21; past that, and for fractions, the shortest form that reads back exactly.
    if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) < 1e21) {
        if (number == 0)
            return QStringLiteral("0");
        return QString::number(number, 'f', 0);
    }
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

} // namespace

QString LeafText(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String: return value.toString();
    case QJsonValue::Double: {
        // Whole numbers that the parser kept as integers keep every digit.
        const QVariant number = value.toVariant();
        if (number.typeId() == QMetaType::LongLong)
            return QString::number(number.toLongLong());
        return NumberText(value.toDouble());
    }
    case QJsonValue::Bool: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Array: {
        QStringList parts;
        for (const QJsonValue& element : value.toArray())
            parts.append(element.isObject() ? QStringLiteral("[object Object]") : LeafText(element));
        return parts.join(u',');
    }
    case QJsonValue::Object: return QStringLiteral("[object Object]");
    case QJsonValue::Null:
    case QJsonValue::Undefined: break;
    }
    return {};
}

ResponseObject ParseReplyObject(const QString& reply)
{
    QStringView text(reply);
    if (text.startsWith(QChar(0xFEFF)))
        text = text.mid(1);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.trimmed().toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    return ResponseObject(document.object());
}

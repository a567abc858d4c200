#pragma once

#include <QJsonObject>
#include <QString>

#include <initializer_list>
#include <optional>

// A reply of one of the services, parsed as JSON (never run as script). Members are
// read by exact name, nested objects by a chain of names; leaves read as text.
class ResponseObject final {
public:
    ResponseObject() = default;
    explicit ResponseObject(QJsonObject root);

    // False when the reply was not a JSON object at all.
    bool isObject() const { return m_isObject; }

    // The text of the leaf at the end of the chain; nothing when a member on the way
    // is missing or not an object, or when the last one is itself an object.
    std::optional<QString> text(std::initializer_list<QStringView> chain) const;

private:
    QJsonObject m_root;
    bool m_isObject = false;
};

// The reply parsed as JSON, a byte-order mark and surrounding white space ignored; an
// empty ResponseObject when it is not a JSON object.
ResponseObject ParseReplyObject(const QString& reply);

// How a leaf reads as text: strings as they are, whole numbers in plain decimal, other
// numbers in their shortest round-trip form, booleans as "true"/"false", null as the
// empty text, arrays as their elements' texts joined by ",".
QString LeafText(const QJsonValue& value);

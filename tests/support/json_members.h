#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QStringView>

#include <initializer_list>
#include <utility>

// A JSON object from members named by the protocol's constants, for replies the service
// would never send; members with an undefined value are left out.
inline QJsonObject JsonObject(std::initializer_list<std::pair<QStringView, QJsonValue>> members)
{
    QJsonObject object;
    for (const auto& [name, value] : members) {
        if (!value.isUndefined())
            object.insert(name, value);
    }
    return object;
}

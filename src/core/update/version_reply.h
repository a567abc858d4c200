#pragma once

#include <QString>

#include <variant>

// No readable answer from the update service: no reply, or one that is not its answer.
struct VersionNoAnswer {};

// The service refused; its message is shown before the program ends.
struct VersionRefused {
    QString message;
};

// The running version is the current one.
struct VersionCurrent {};

// Another version is offered; a compulsory one ends the program when declined.
struct VersionOffer {
    QString version;
    QString sid;
    bool compulsory = false;
};

using VersionDecision = std::variant<VersionNoAnswer, VersionRefused, VersionCurrent, VersionOffer>;

// The version that the check compares the service's answer with, as text.
inline constexpr QStringView kCheckedVersion = u"1.0.0";

// What the update service's reply means for the start-up check.
VersionDecision DecideVersion(const QString& reply);

// The question that offers another version.
QString UpdateOfferText(const QString& version);

// The works-detail page of the product on the maker's site.
QString WorksDetailUrl(const QString& makerUrl, const QString& sid);

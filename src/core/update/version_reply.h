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

// What the update service's reply means for the start-up check. The version read is
// compared exactly, as text, with wire::kCheckedVersion.
VersionDecision DecideVersion(const QString& reply);

// The question that offers another version.
QString UpdateOfferText(const QString& version);

// The works-detail page of the product on the maker's site.
QString WorksDetailUrl(const QString& makerUrl, const QString& sid);

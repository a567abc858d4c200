#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringView>

#include <array>

// What the program and its service say to each other: the two endpoints, how a lookup
// is signed, the members of the JSON replies and the texts the service answers with.
// The program, the service and the tests all take them from here, so neither side can
// drift from the other alone.
namespace wire {

// Endpoint paths, as a request's target starts: the lookup is a GET with the name and
// its token in the query, the version check a POST of a form naming the product.
inline constexpr char kLookupPath[] = "/index.php/Index/web_whois";
inline constexpr char kVersionPath[] = "/index.php/Index/soft_version";

// The lookup's query items.
inline constexpr QStringView kNameItem = u"url";
inline constexpr QStringView kTokenItem = u"token";

// What the token is signed with; the service refuses a lookup whose token is not
// LookupToken(name).
inline constexpr QStringView kTokenSalt = u"tamlo";
QString LookupToken(const QString& name);

// The lookup's target, path and query: the name percent-encoded as UTF-8, so that no
// character of it can change the request; the token as given.
QString LookupTarget(const QString& name, const QString& token);
// The same, signed over the name as given.
QString LookupTarget(const QString& name);

// What a lookup's target names, decoded.
struct LookupQuery {
    QString name;
    QString token;

    bool isSigned() const { return !token.isEmpty() && token == LookupToken(name); }
};
LookupQuery ReadLookupTarget(const QByteArray& target);

// The version check's form body, and whether a posted form names this product.
inline constexpr QStringView kProductItem = u"sn";
inline constexpr QStringView kProduct = u"whois";
QString VersionForm();
bool FormNamesProduct(const QByteArray& form);

// Reply members. Every reply has "result"; "0" (number or text) is a refusal whose
// "message" is shown to the user, anything else an answer with its data in "info".
inline constexpr QStringView kResult = u"result";
inline constexpr QStringView kMessage = u"message";
inline constexpr QStringView kInfo = u"info";
inline constexpr QStringView kRefusedResult = u"0";

// A lookup's answer: info.web holds one row, these members in the program's column order.
inline constexpr QStringView kWeb = u"web";
inline constexpr std::array<QStringView, 9> kRowMembers{u"domain",         u"personal",   u"email",
                                                        u"phone",          u"creat_time", u"delete_time",
                                                        u"domain_service", u"dns",        u"do_status"};
using RowFields = std::array<QString, kRowMembers.size()>;

// The version check's answer: the current version, the product's id on the maker's
// site, and whether the update is compulsory (anything but "0").
inline constexpr QStringView kVersion = u"version";
inline constexpr QStringView kSid = u"sid";
inline constexpr QStringView kMust = u"must";
inline constexpr QStringView kOptionalUpdate = u"0";
// The version the program's check holds for current, and the service reports unless
// told otherwise. A fixed text of the check, compared exactly: it does not follow the
// build's version numbers, which only the version label shows.
inline constexpr QStringView kCheckedVersion = u"1.0.0";

// The replies as the service writes them.
QJsonObject Refusal(const QString& message);
QJsonObject RowAnswer(const RowFields& fields);
QJsonObject VersionAnswer(const QString& version, const QString& sid, const QString& must);
QByteArray ReplyBody(const QJsonObject& reply); // compact JSON, members sorted

// The service's texts: a refusal of an unsigned lookup or of a form naming another
// product; otherwise the status column of a row that is no found record.
inline constexpr QStringView kBadToken = u"请求校验失败..";
inline constexpr QStringView kUnknownProduct = u"未知的软件..";
inline constexpr QStringView kNotRegistered = u"未注册";
// A name the registry did not confirm but DNS shows delegated.
inline constexpr QStringView kRegistered = u"已注册";
inline constexpr QStringView kInvalidName = u"域名格式不正确或暂不支持该后缀";
inline constexpr QStringView kRateLimited = u"查询过于频繁,请稍后重试";
// "查询失败:" and why the upstream gave nothing usable.
inline constexpr QStringView kTimedOut = u"超时";
inline constexpr QStringView kCannotConnect = u"无法连接";
inline constexpr QStringView kRegistryRefused = u"注册局拒绝";
inline constexpr QStringView kUnreadableAnswer = u"应答无法识别";
QString UpstreamFailedText(QStringView reason);

} // namespace wire

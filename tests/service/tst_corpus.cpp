#include "corpus_answers.h"
#include "service/readers/rdap_parse.h"
#include "service/readers/whois_text_parse.h"

#include <QMap>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// What the parsers make of one answer, in the corpus's field names.
QMap<QString, QString> Parsed(const CorpusAnswer& answer)
{
    if (answer.kind == u"rdap") {
        const std::optional<RdapDomain> domain = ParseRdapDomain(answer.bytes);
        if (!domain)
            return {};
        const WhoisRecord& r = domain->record;
        return {{u"registrar"_s, r.registrar},     {u"email"_s, r.email},
                {u"phone"_s, r.phone},             {u"created"_s, r.created},
                {u"expires"_s, r.expires},         {u"whois_server"_s, r.whoisServer},
                {u"name_servers"_s, r.nameServers}, {u"statuses"_s, r.statuses},
                {u"not_registered"_s, u"false"_s}, {u"rate_limited"_s, u"false"_s}};
    }
    const WhoisText text =
        ParseWhoisText(DecodeWhoisAnswer(answer.bytes, WhoisLegacyCodePage(answer.tld)), answer.tld);
    const WhoisRecord& r = text.record;
    return {{u"registrar"_s, r.registrar},     {u"email"_s, r.email},
            {u"phone"_s, r.phone},             {u"created"_s, r.created},
            {u"expires"_s, r.expires},         {u"whois_server"_s, text.referral},
            {u"name_servers"_s, r.nameServers}, {u"statuses"_s, r.statuses},
            {u"not_registered"_s, text.notRegistered ? u"true"_s : u"false"_s},
            {u"rate_limited"_s, text.rateLimited ? u"true"_s : u"false"_s}};
}

// Both sides in the form in which a difference is a real error, not spelling: phone
// numbers by their digits, lists as sets, statuses without case or separators.
QString Comparable(const QString& field, const QString& value)
{
    static const QRegularExpression kNonDigit(u"\\D"_s);
    static const QRegularExpression kNonWord(u"[^a-z0-9]"_s);
    if (field == u"phone")
        return QString(value).remove(kNonDigit);
    if (field == u"name_servers" || field == u"statuses") {
        QStringList items = value.toLower().split(u',', Qt::SkipEmptyParts);
        for (QString& item : items) {
            item = item.trimmed();
            if (field == u"statuses") {
                item.remove(kNonWord);
                if (item == u"active")
                    item = u"ok"_s;
            }
        }
        items.sort();
        items.removeDuplicates();
        return items.join(u',');
    }
    return value.simplified().toLower();
}

struct Score {
    int right = 0;
    int total = 0;
    double share() const { return total == 0 ? 1.0 : double(right) / total; }
};

} // namespace

class TestCorpus final : public QObject {
    Q_OBJECT
private slots:
    void fieldAccuracy();
};

void TestCorpus::fieldAccuracy()
{
    const QList<CorpusAnswer> corpus = LoadCorpus(QStringLiteral(WHOIS_CORPUS));
    QVERIFY(corpus.size() >= 150);
    QMap<QString, Score> scores;
    Score overall;
    QStringList misses;
    for (const CorpusAnswer& answer : corpus) {
        const QMap<QString, QString> parsed = Parsed(answer);
        // A not-found or rate-limit answer is judged on that alone.
        const bool onlyOutcome = answer.expect.value(u"not_registered"_s).toBool() ||
                                 answer.expect.value(u"rate_limited"_s).toBool();
        for (auto it = answer.expect.begin(); it != answer.expect.end(); ++it) {
            const QString field = it.key();
            if (onlyOutcome && field != u"not_registered" && field != u"rate_limited")
                continue;
            const QString expected = it->isBool() ? (it->toBool() ? u"true"_s : u"false"_s)
                                                  : it->toString();
            const bool right =
                Comparable(field, parsed.value(field)) == Comparable(field, expected);
            Score& score = scores[field];
            ++score.total;
            ++overall.total;
            if (right) {
                ++score.right;
                ++overall.right;
            } else {
                misses.append(u"%1 %2: want \"%3\", got \"%4\""_s.arg(
                    answer.file, field, expected, parsed.value(field)));
            }
        }
    }
    for (const QString& miss : std::as_const(misses))
        qInfo("miss %s", qPrintable(miss));
    qInfo("%-16s %6s %6s %8s", "field", "right", "total", "accuracy");
    for (auto it = scores.cbegin(); it != scores.cend(); ++it)
        qInfo("%-16s %6d %6d %7.1f%%", qPrintable(it.key()), it->right, it->total,
              100 * it->share());
    qInfo("%-16s %6d %6d %7.1f%%", "overall", overall.right, overall.total,
          100 * overall.share());

    QVERIFY2(overall.share() >= 0.98, "overall field accuracy under 98 %");
    for (auto it = scores.cbegin(); it != scores.cend(); ++it)
        QVERIFY2(it->share() >= 0.95, qPrintable(it.key() + u" accuracy under 95 %"_s));
}

QTEST_APPLESS_MAIN(TestCorpus)
#include "tst_corpus.moc"

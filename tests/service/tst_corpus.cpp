#include "corpus_answers.h"
#include "service/readers/rdap_parse.h"
#include "service/readers/whois_text_parse.h"

#include <QMap>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// A record's fields under the corpus's names, with the answer's verdicts.
QMap<QString, QString> Fields(const WhoisRecord& r, const QString& whoisServer, const QString& notRegistered,
                              bool rateLimited)
{
    return {{u"registrar"_s, r.registrar},
            {u"email"_s, r.email},
            {u"phone"_s, r.phone},
            {u"created"_s, r.created},
            {u"expires"_s, r.expires},
            {u"whois_server"_s, whoisServer},
            {u"name_servers"_s, r.nameServers},
            {u"statuses"_s, r.statuses},
            {u"not_registered"_s, notRegistered},
            {u"rate_limited"_s, rateLimited ? u"true"_s : u"false"_s}};
}

// What the parsers make of one answer, in the corpus's field names.
QMap<QString, QString> Parsed(const CorpusAnswer& answer)
{
    if (answer.kind == u"rdap") {
        const std::optional<RdapDomain> domain = ParseRdapDomain(answer.bytes);
        if (!domain)
            return {};
        return Fields(domain->record, domain->record.whoisServer, u"false"_s, false);
    }
    const WhoisText text =
        ParseWhoisText(DecodeWhoisAnswer(answer.bytes, WhoisLegacyCodePage(answer.tld)), answer.tld);
    const QString notRegistered = text.notRegistered  ? u"true"_s
                                  : text.rateLimited  ? u"rate limited"_s
                                  : ShowsRecord(text) ? u"false"_s
                                                      : u"unreadable"_s;
    return Fields(text.record, text.referral, notRegistered, text.rateLimited);
}

// Both sides in the form in which a difference is a real error, not spelling: phone
// numbers by their digits, registrars without a registry's number for them, lists as sets, statuses without
// case, separators, a reply code before them ("200 Active") or a gloss after them ("ok - normal state").
QString Comparable(const QString& field, const QString& value)
{
    static const QRegularExpression kNonDigit(u"\\D"_s);
    static const QRegularExpression kNonWord(u"[^a-z0-9]"_s);
    static const QRegularExpression kCodeOrGloss(u"^\\d+ +| +- .*$"_s);
    // A registry's number for the registrar or its web address after the name:
    // "MarkMonitor, Inc. (R22-LRCC)", "Tuonome IT (380)", "... (http://www.markmonitor.com)".
    static const QRegularExpression kRegistrarTag(u" *\\((?=\\S*\\d|https?:)\\S+\\)$"_s);
    if (field == u"phone")
        return QString(value).remove(kNonDigit);
    if (field == u"registrar")
        return QString(value).remove(kRegistrarTag).simplified().toLower();
    if (field == u"name_servers" || field == u"statuses") {
        QStringList items = value.toLower().split(u',', Qt::SkipEmptyParts);
        for (QString& item : items) {
            item = item.trimmed();
            if (field == u"statuses") {
                item.remove(kCodeOrGloss);
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
    QVERIFY(corpus.size() >= 1200);
    QMap<QString, Score> scores;
    Score overall, notRegistered;
    QStringList misses;
    for (const CorpusAnswer& answer : corpus) {
        const QMap<QString, QString> parsed = Parsed(answer);
        const bool statedFree = answer.expect.value(u"not_registered"_s).toBool();
        // A not-found or rate-limit answer is judged on that alone.
        const bool onlyOutcome = statedFree || answer.expect.value(u"rate_limited"_s).toBool();
        for (auto it = answer.expect.begin(); it != answer.expect.end(); ++it) {
            const QString field = it.key();
            if (onlyOutcome && field != u"not_registered" && field != u"rate_limited")
                continue;
            const QString expected = it->isBool() ? (it->toBool() ? u"true"_s : u"false"_s) : it->toString();
            const bool right = Comparable(field, parsed.value(field)) == Comparable(field, expected);
            for (Score* score : {&scores[field], &overall}) {
                ++score->total;
                score->right += right ? 1 : 0;
            }
            if (statedFree && field == u"not_registered") {
                ++notRegistered.total;
                notRegistered.right += right ? 1 : 0;
            }
            if (!right)
                misses.append(u"%1 %2: want \"%3\", got \"%4\""_s.arg(answer.file, field, expected,
                                                                      parsed.value(field)));
        }
    }
    for (const QString& miss : std::as_const(misses))
        qInfo("miss %s", qPrintable(miss));
    qInfo("%-16s %6s %6s %8s", "field", "right", "total", "accuracy");
    scores.insert(u"(not registered)"_s, notRegistered);
    scores.insert(u"(overall)"_s, overall);
    for (auto it = scores.cbegin(); it != scores.cend(); ++it)
        qInfo("%-16s %6d %6d %7.1f%%", qPrintable(it.key()), it->right, it->total, 100 * it->share());

    for (auto it = scores.cbegin(); it != scores.cend(); ++it) {
        const double target = it.key().startsWith(u'(') ? 0.99 : 0.97;
        QVERIFY2(it->share() >= target, qPrintable(u"%1 under %2 %"_s.arg(it.key()).arg(100 * target)));
    }
}

QTEST_APPLESS_MAIN(TestCorpus)
#include "tst_corpus.moc"

// Parsing speed: every captured answer of the corpus (port-43 text decoded and read,
// RDAP JSON read) on one thread, repeated until a few seconds of CPU have passed.
// Upstream answers take tens of milliseconds, so parsing should stay far below that.
#include "bench_util.h"
#include "service/readers/rdap_parse.h"
#include "service/corpus_answers.h"
#include "service/readers/whois_text_parse.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QList<CorpusAnswer> corpus = LoadCorpus(QStringLiteral(WHOIS_CORPUS));
    qsizetype bytes = 0;
    for (const CorpusAnswer& answer : corpus)
        bytes += answer.bytes.size();

    long parsed = 0;
    int keep = 0; // keeps the results observable so nothing is optimised away
    const double start = bench::ThreadCpuMs();
    double elapsed = 0;
    while (elapsed < 3000) {
        for (const CorpusAnswer& answer : corpus) {
            if (answer.kind == u"rdap") {
                keep += ParseRdapDomain(answer.bytes).has_value() ? 1 : 0;
            } else {
                const WhoisText text = ParseWhoisText(
                    DecodeWhoisAnswer(answer.bytes, WhoisLegacyCodePage(answer.tld)), answer.tld);
                keep += text.record.nameServers.size() > 0 ? 1 : 0;
            }
        }
        parsed += corpus.size();
        elapsed = bench::ThreadCpuMs() - start;
    }
    std::printf("%lld answers (%.1f KB), %ld parsed in %.0f ms CPU: %.0f answers/s, %.1f us each "
                "(target >= 20000/s) [%d]\n",
                static_cast<long long>(corpus.size()), bytes / 1024.0, parsed, elapsed,
                parsed / (elapsed / 1000), elapsed * 1000 / parsed, keep > 0 ? 1 : 0);
    return 0;
}

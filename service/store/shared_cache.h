#pragma once

#include "service/engine/shared_answers.h"

#include <QByteArray>

#include <optional>

class StoreClient;

// Found and not-registered answers in the shared store, one key per name under the
// prefix, expiring with the answer's time to live; beside each, while an instance asks
// about the name, a claim naming that instance that expires on its own.
class SharedCache final : public SharedAnswers {
public:
    // `instance`: this instance's name in its claims, unique among those sharing the store.
    SharedCache(StoreClient& store, QByteArray prefix, QByteArray instance);

    void look(const QString& ace, std::chrono::milliseconds hold, std::function<void(Look)> done) override;
    void keep(const QString& ace, const LookupResult& result, std::chrono::seconds ttl) override;

private:
    // The answer kept for the name, if any; `answered`: the store said so in time.
    void read(const QString& ace, std::function<void(std::optional<Hit>, bool answered)> done);
    void release(const QString& ace);
    QByteArray answerKey(const QString& ace) const;
    QByteArray claimKey(const QString& ace) const;

    StoreClient& m_store;
    const QByteArray m_prefix;
    const QByteArray m_instance;
};

// A result as the store keeps it, and back; nothing for a value this code did not
// write (another layout, cut short, damaged).
QByteArray StoredAnswer(const LookupResult& result);
std::optional<LookupResult> AnswerFromStore(const QByteArray& value);

#include "service/dns/ns_answer.h"

#include <ares.h>

#include <algorithm>
#include <optional>

namespace {

constexpr int kHeaderBytes = 12;
constexpr quint16 kTypeNs = 2;
constexpr quint16 kTypeSoa = 6;
constexpr quint16 kClassIn = 1;
constexpr int kNoError = 0;
constexpr int kNameError = 3;

// A reader over the reply that fails (returns nothing) rather than read past its end.
class Reader final {
public:
    explicit Reader(const QByteArray& reply)
        : m_data(reinterpret_cast<const unsigned char*>(reply.constData()))
        , m_size(static_cast<int>(reply.size()))
    {
    }

    std::optional<quint32> number(int bytes)
    {
        if (m_at + bytes > m_size)
            return std::nullopt;
        quint32 value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | m_data[m_at++];
        return value;
    }

    // A possibly compressed name, lower case and without the final dot.
    std::optional<QString> name()
    {
        if (m_at >= m_size)
            return std::nullopt;
        char* text = nullptr;
        long length = 0;
        if (ares_expand_name(m_data + m_at, m_data, m_size, &text, &length) != ARES_SUCCESS)
            return std::nullopt;
        QString expanded = QString::fromLatin1(text).toLower();
        ares_free_string(text);
        m_at += static_cast<int>(length);
        if (expanded.endsWith(u'.'))
            expanded.chop(1);
        return expanded;
    }

    bool skip(int bytes)
    {
        if (m_at + bytes > m_size)
            return false;
        m_at += bytes;
        return true;
    }

    int at() const { return m_at; }
    void moveTo(int at) { m_at = at; }

private:
    const unsigned char* m_data;
    int m_size;
    int m_at = 0;
};

struct Record {
    QString owner;
    quint16 type = 0;
    quint16 klass = 0;
    quint32 ttl = 0;
    int dataStart = 0;
    int dataLength = 0;
};

std::optional<Record> ReadRecord(Reader& reader)
{
    Record record;
    const auto owner = reader.name();
    const auto type = reader.number(2);
    const auto klass = reader.number(2);
    const auto ttl = reader.number(4);
    const auto length = reader.number(2);
    if (!owner || !type || !klass || !ttl || !length)
        return std::nullopt;
    record = {*owner, quint16(*type), quint16(*klass), *ttl, reader.at(), int(*length)};
    if (!reader.skip(record.dataLength))
        return std::nullopt;
    return record;
}

// RFC 2308: a negative answer holds for the SOA's TTL or its MINIMUM, whichever is less.
std::optional<quint32> NegativeTtl(Reader& reader, const Record& soa)
{
    const int after = reader.at();
    reader.moveTo(soa.dataStart);
    std::optional<quint32> ttl;
    if (reader.name() && reader.name() && reader.skip(16))
        if (const auto minimum = reader.number(4))
            ttl = std::min(soa.ttl, *minimum);
    reader.moveTo(after);
    return ttl;
}

} // namespace

DnsVerdict ReadNsAnswer(const QByteArray& reply, const QString& name)
{
    Reader reader(reply);
    const auto id = reader.number(2);
    const auto flags = reader.number(2);
    const auto questions = reader.number(2);
    const auto answers = reader.number(2);
    const auto authorities = reader.number(2);
    if (!id || !flags || !questions || !answers || !authorities || !reader.number(2) || !(*flags & 0x8000))
        return {};
    const int rcode = int(*flags & 0xF);
    if (rcode != kNoError && rcode != kNameError)
        return {};
    for (quint32 i = 0; i < *questions; ++i)
        if (!reader.name() || !reader.skip(4))
            return {};

    const QString wanted = name.toLower().chopped(name.endsWith(u'.') ? 1 : 0);
    DnsVerdict verdict;
    std::optional<quint32> nsTtl;
    std::optional<quint32> negativeTtl;
    for (quint32 i = 0; i < *answers + *authorities; ++i) {
        const std::optional<Record> record = ReadRecord(reader);
        if (!record)
            return {};
        if (record->klass != kClassIn)
            continue;
        if (record->type == kTypeSoa && i >= *answers) {
            negativeTtl = NegativeTtl(reader, *record);
        } else if (record->type == kTypeNs && record->owner == wanted) {
            const int after = reader.at();
            reader.moveTo(record->dataStart);
            const std::optional<QString> target = reader.name();
            reader.moveTo(after);
            if (!target || target->isEmpty())
                return {};
            if (!verdict.nameServers.contains(*target))
                verdict.nameServers.append(*target);
            nsTtl = std::min(nsTtl.value_or(record->ttl), record->ttl);
        }
    }
    // A name error says nothing has this name; NS records beside it would contradict it.
    if (rcode == kNoError && !verdict.nameServers.isEmpty()) {
        verdict.delegation = Delegation::Delegated;
        verdict.nameServers.sort(); // resolvers rotate them; rows and tests want one order
        verdict.ttl = std::chrono::seconds(*nsTtl);
        return verdict;
    }
    return {Delegation::NotDelegated, {}, std::chrono::seconds(negativeTtl.value_or(0))};
}

#include "support/zip_entries.h"

#include <zlib.h>

namespace {

quint32 Le(const QByteArray& data, qsizetype at, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | static_cast<quint8>(data[at + i]);
    return value;
}

std::optional<QByteArray> Inflate(const QByteArray& packed, qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (result != Z_STREAM_END || stream.total_out != static_cast<uLong>(size))
        return std::nullopt;
    return out;
}

} // namespace

std::optional<QByteArray> ZipEntry(const QByteArray& archive, const QString& name)
{
    const qsizetype end = archive.lastIndexOf(QByteArrayLiteral("PK\x05\x06"));
    if (end < 0 || end + 22 > archive.size())
        return std::nullopt;
    const qsizetype count = Le(archive, end + 10, 2);
    qsizetype entry = Le(archive, end + 16, 4);
    const QByteArray wanted = name.toUtf8();
    for (qsizetype i = 0; i < count; ++i) {
        if (entry + 46 > archive.size() || Le(archive, entry, 4) != 0x02014b50)
            return std::nullopt;
        const int method = static_cast<int>(Le(archive, entry + 10, 2));
        const qsizetype packedSize = Le(archive, entry + 20, 4);
        const qsizetype size = Le(archive, entry + 24, 4);
        const qsizetype nameLength = Le(archive, entry + 28, 2);
        const qsizetype extraLength = Le(archive, entry + 30, 2);
        const qsizetype commentLength = Le(archive, entry + 32, 2);
        const qsizetype local = Le(archive, entry + 42, 4);
        if (archive.mid(entry + 46, nameLength) == wanted) {
            if (local + 30 > archive.size())
                return std::nullopt;
            const qsizetype data = local + 30 + Le(archive, local + 26, 2) + Le(archive, local + 28, 2);
            const QByteArray packed = archive.mid(data, packedSize);
            if (packed.size() != packedSize)
                return std::nullopt;
            if (method == 0)
                return packed;
            return method == 8 ? Inflate(packed, size) : std::nullopt;
        }
        entry += 46 + nameLength + extraLength + commentLength;
    }
    return std::nullopt;
}

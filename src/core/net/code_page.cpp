#include "core/net/code_page.h"

CodePage936::CodePage936()
    : m_encoder("GBK", QStringConverter::Flag::Stateless)
{
}

std::optional<CodePage936::DoubleByte> CodePage936::doubleByte(char16_t unit)
{
    // ASCII is single-byte in the code page, and a lone surrogate half never has a
    // double-byte form; skipping the converter for both also keeps it free of any
    // half-character state.
    if (unit < 0x80 || QChar::isSurrogate(unit))
        return std::nullopt;
    const QByteArray bytes = m_encoder.encode(QStringView(&unit, 1));
    if (bytes.size() != 2)
        return std::nullopt;
    return DoubleByte{static_cast<unsigned char>(bytes[0]), static_cast<unsigned char>(bytes[1])};
}

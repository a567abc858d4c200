#pragma once

#include <QStringEncoder>

#include <optional>

// Code page 936 as the program's users have it (the Windows GBK table), asked one
// UTF-16 code unit at a time, which is how the digest and the form encoder see text.
class CodePage936 final {
public:
    struct DoubleByte {
        unsigned char lead;
        unsigned char trail;
    };

    CodePage936();

    // The two bytes of a code unit that the code page writes as a double-byte
    // character; nothing for every other code unit.
    std::optional<DoubleByte> doubleByte(char16_t unit);

private:
    QStringEncoder m_encoder;
};

#include "core/net/url_encode.h"

#include "core/net/code_page.h"

QString UrlEncode(QStringView text)
{
    CodePage936 codePage;
    QString result;
    result.reserve(text.size());
    for (const QChar ch : text) {
        const auto pair = codePage.doubleByte(ch.unicode());
        if (!pair) {
            // Single-byte characters, and those the code page lacks, pass unchanged.
            result.append(ch);
            continue;
        }
        result.append(u'%');
        result.append(QString::number(pair->lead, 16).toUpper());
        result.append(u'%');
        result.append(QString::number(pair->trail, 16).toUpper());
    }
    return result;
}

#include "host/data/utf8.h"

namespace aph {

std::size_t Utf8Sequence(const unsigned char* p, std::size_t left)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    std::size_t n;
    char32_t cp;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (left < n)
        return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((n == 2 && cp < 0x80) || (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool CutUtf8(std::string_view text, int units, std::string_view& cut)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    int count = 0;
    while (i < n) {
        const std::size_t len = Utf8Sequence(p + i, n - i);
        if (len == 0)
            return false;
        // A character beyond the basic plane is two UTF-16 units.
        const int width = len == 4 ? 2 : 1;
        if (count + width > units) {
            if (count < units)
                return false;
            break;
        }
        count += width;
        i += len;
    }
    cut = text.substr(0, i);
    return true;
}

QString CutChars(const QString& text, qsizetype chars)
{
    qsizetype i = 0;
    for (qsizetype taken = 0; i < text.size() && taken < chars; ++taken) {
        const bool pair =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        i += pair ? 2 : 1;
    }
    return text.left(i);
}

} // namespace aph

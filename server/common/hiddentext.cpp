#include "server/common/hiddentext.h"

#include <QChar>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Calls each(code point, its text) over text; a lone surrogate is a code
// point of its own.
template <class F> void ForEachCodePoint(QStringView text, F each)
{
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            each(QChar::surrogateToUcs4(c, text[i + 1]), text.sliced(i, 2));
            i += 2;
        } else {
            each(char32_t(c.unicode()), text.sliced(i, 1));
            ++i;
        }
    }
}

// The smallest code point written as \u rather than \x.
constexpr char32_t kFirstNonAscii = 0x80;

} // namespace

bool IsHiddenCharacter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

bool HasHiddenCharacters(QStringView text)
{
    bool hidden = false;
    ForEachCodePoint(
        text, [&hidden](char32_t c, QStringView) { hidden = hidden || IsHiddenCharacter(c); });
    return hidden;
}

bool HasControlCharacters(QStringView text)
{
    bool control = false;
    ForEachCodePoint(text, [&control](char32_t c, QStringView) {
        const QChar::Category category = QChar::category(c);
        control = control || category == QChar::Other_Control ||
                  category == QChar::Other_Surrogate || category == QChar::Separator_Line ||
                  category == QChar::Separator_Paragraph;
    });
    return control;
}

bool IsBidiControl(char32_t c)
{
    // ALM; LRM and RLM; LRE, RLE, PDF, LRO, RLO; LRI, RLI, FSI, PDI.
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool HasBidiControls(QStringView text)
{
    bool bidi = false;
    ForEachCodePoint(text, [&bidi](char32_t c, QStringView) { bidi = bidi || IsBidiControl(c); });
    return bidi;
}

QString WithoutInvisible(QStringView text)
{
    QString seen;
    seen.reserve(text.size());
    ForEachCodePoint(text, [&seen](char32_t c, QStringView original) {
        if (QChar::category(c) != QChar::Other_Format)
            seen += original;
    });
    return seen;
}

QString EscapeHidden(QStringView text, bool keepLineBreaks)
{
    QString shown;
    shown.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t c, QStringView original) {
        if (!IsHiddenCharacter(c) || (keepLineBreaks && c == u'\n'))
            shown += original;
        else if (c < kFirstNonAscii)
            shown += u"\\x%1"_s.arg(uint(c), 2, 16, QLatin1Char('0'));
        else
            shown += u"\\u%1"_s.arg(uint(c), 4, 16, QLatin1Char('0'));
    });
    return shown;
}

} // namespace aph

// The one UTF-8 reader: the packets' cut of UTF-8 text and the database's
// cut of a QString, each held against what Qt's own decoder makes of the
// same text.
#include "host/data/utf8.h"

#include <QList>
#include <QStringDecoder>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

// Valid text of one to four bytes a character, and text a strict reader
// refuses: overlongs, surrogates, above U+10FFFF, cut short, stray bytes.
const std::vector<std::string> kTexts = {
    "",
    "abc",
    "a\xC3\xA7\xC3\xA3o",                 // ação
    "\xE2\x82\xAC 10",                    // € 10
    "x\xF0\x9F\x98\x80y\xF0\x9F\x98\x80", // two characters beyond the basic plane
    "\xC0\xAF",                           // overlong "/"
    "\xE0\x80\xAF",                       // overlong "/", three bytes
    "ok\xED\xA0\x80",                     // a high surrogate written as UTF-8
    "\xF4\x90\x80\x80",                   // above U+10FFFF
    "\xF8\x88\x80\x80\x80",               // a five-byte form
    "ab\xC3",                             // cut short
    "\x80z",                              // a stray continuation byte
};

bool IsStrictUtf8(const std::string& text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(QByteArrayView(text.data(), qsizetype(text.size())));
    return !decoder.hasError() && decoded.toUtf8().toStdString() == text;
}

TEST(Utf8, CutsLikeQStringLeftAndRefusesWhatIsNotStrictUtf8)
{
    for (const std::string& text : kTexts) {
        const bool valid = IsStrictUtf8(text);
        const QString whole = QString::fromStdString(text);
        for (int units = 0; units <= static_cast<int>(whole.size()) + 1; ++units) {
            std::string_view cut;
            const bool ok = CutUtf8(text, units, cut);
            const bool splitsPair =
                units > 0 && units <= whole.size() && whole.at(units - 1).isHighSurrogate();
            // Text past the cut may be anything: only what is kept is read.
            if (valid && !splitsPair) {
                EXPECT_TRUE(ok) << text << " units " << units;
            }
            if (splitsPair) {
                EXPECT_FALSE(ok) << text << " units " << units;
            }
            if (ok) {
                EXPECT_TRUE(IsStrictUtf8(std::string(cut))) << text << " units " << units;
                EXPECT_EQ(QString::fromUtf8(cut.data(), qsizetype(cut.size())), whole.left(units))
                    << text << " units " << units;
            }
        }
    }
}

TEST(Utf8, CutsCharsAsTheDatabaseCountsThemAndNeverHalfAPair)
{
    const QString smile = QString::fromUcs4(U"\U0001F600");
    const QList<QString> texts = {u""_s, u"ação"_s, smile + u"a"_s + smile + smile,
                                  u"a"_s + smile.at(0) + u"b"_s}; // the last with a lone half
    for (const QString& text : texts) {
        const QList<uint> chars = text.toUcs4();
        for (qsizetype n = 0; n <= chars.size() + 1; ++n) {
            const QString cut = CutChars(text, n);
            EXPECT_EQ(cut.toUcs4(), chars.mid(0, n)) << text.toStdString() << " " << n;
            EXPECT_TRUE(text.startsWith(cut));
        }
    }
}

} // namespace

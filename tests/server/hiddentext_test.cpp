// Text a reader cannot see as itself: every control, format and separator
// character is found and written out, in a log line and on a terminal,
// while accents, other scripts and characters outside the first plane
// stand as they are.
#include "server/common/hiddentext.h"

#include <QList>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

TEST(HiddenText, EveryHiddenCharacterIsFoundAndWrittenOut)
{
    struct Case
    {
        QString text;
        QString inLog;      // line breaks escaped too
        QString onTerminal; // line breaks kept
    };
    const QString loneSurrogate = QString(QChar(0xd800)) + u"x"_s;
    const QList<Case> cases{
        {u"Ação Ltda. 東京 😀"_s, u"Ação Ltda. 東京 😀"_s, u"Ação Ltda. 東京 😀"_s},
        {u"a\u001b[2Jb"_s, u"a\\x1b[2Jb"_s, u"a\\x1b[2Jb"_s},
        {u"a\r\nb"_s, u"a\\x0d\\x0ab"_s, u"a\\x0d\nb"_s},
        {QString(u"a\u0000b\u0007\u007f"_s), u"a\\x00b\\x07\\x7f"_s, u"a\\x00b\\x07\\x7f"_s},
        {u"\u009b31m"_s, u"\\u009b31m"_s, u"\\u009b31m"_s},
        {u"x\u202eyz\u2066"_s, u"x\\u202eyz\\u2066"_s, u"x\\u202eyz\\u2066"_s},
        {u"nf\u200b\u200d\ufeff"_s, u"nf\\u200b\\u200d\\ufeff"_s, u"nf\\u200b\\u200d\\ufeff"_s},
        {u"a\u2028b\u2029"_s, u"a\\u2028b\\u2029"_s, u"a\\u2028b\\u2029"_s},
        {u"tag\U000E0041"_s, u"tag\\ue0041"_s, u"tag\\ue0041"_s},
        {loneSurrogate, u"\\ud800x"_s, u"\\ud800x"_s},
        {u"a\tb"_s, u"a\\x09b"_s, u"a\\x09b"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inLog.toStdString());
        EXPECT_EQ(EscapeHidden(c.text, false), c.inLog);
        EXPECT_EQ(EscapeHidden(c.text, true), c.onTerminal);
        EXPECT_EQ(HasHiddenCharacters(c.text), c.inLog != c.text);
    }
}

#include "host/data/exceptions.h"
#include "host/data/selection.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

TEST(Selection, AnySetOfKeysRoundTripsAndIsNeverAllOrNothing)
{
    const QList<QStringList> sets = {
        {u"000123"_s},
        {u"000123"_s, u"000124"_s},
        {u"A|B|01"_s, u"aspas \" e \\ barra"_s, u"T"_s, u""_s, u"ção ´ \n"_s},
    };
    for (const QStringList& keys : sets) {
        const QString text = EncodeSelection(keys);
        EXPECT_NE(text, u"T"_s);
        EXPECT_FALSE(text.isEmpty());
        const TSelection back = DecodeSelection(text);
        EXPECT_EQ(back.Scope, TSelection::Kind::List);
        EXPECT_EQ(back.Keys, keys);
    }
}

TEST(Selection, TMeansAllAndEmptyMeansNothingPicked)
{
    EXPECT_TRUE(DecodeSelection(u"T"_s).IsAll());
    EXPECT_TRUE(DecodeSelection(QString()).IsNone());
    EXPECT_TRUE(EncodeSelection({}).isEmpty());
    // A key "T" is a picked key, not "all".
    EXPECT_EQ(DecodeSelection(EncodeSelection({u"T"_s})).Keys, QStringList{u"T"_s});
}

TEST(Selection, TextThatIsNoSelectionIsRefusedNamingTheList)
{
    for (const char* bad : {"000123|000124", "[]", "[1,2]", "{\"a\":1}", "[\"a\"", "t", "[\"a\"] x",
                            "null", "[null]"}) {
        try {
            DecodeSelection(QString::fromUtf8(bad), u"clientes"_s);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(u"clientes"_s)) << e.what();
        }
    }
}

#include "host/data/exceptions.h"
#include "host/data/selection.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace aph;
using aph::test::S;

TEST(Selection, AnySetOfKeysRoundTripsAndIsNeverAllOrNothing)
{
    const QList<QStringList> sets = {
        {S("000123")},
        {S("000123"), S("000124")},
        {S("A|B|01"), S("aspas \" e \\ barra"), S("T"), S(""), S("ção ´ \n")},
    };
    for (const QStringList& keys : sets) {
        const QString text = EncodeSelection(keys);
        EXPECT_NE(text, S("T"));
        EXPECT_FALSE(text.isEmpty());
        const TSelection back = DecodeSelection(text);
        EXPECT_EQ(back.Scope, TSelection::Kind::List);
        EXPECT_EQ(back.Keys, keys);
    }
}

TEST(Selection, TMeansAllAndEmptyMeansNothingPicked)
{
    EXPECT_TRUE(DecodeSelection(S("T")).IsAll());
    EXPECT_TRUE(DecodeSelection(QString()).IsNone());
    EXPECT_TRUE(EncodeSelection({}).isEmpty());
    // A key "T" is a picked key, not "all".
    EXPECT_EQ(DecodeSelection(EncodeSelection({S("T")})).Keys, QStringList{S("T")});
}

TEST(Selection, TextThatIsNoSelectionIsRefusedNamingTheList)
{
    for (const char* bad : {"000123|000124", "[]", "[1,2]", "{\"a\":1}", "[\"a\"", "t", "[\"a\"] x",
                            "null", "[null]"}) {
        try {
            DecodeSelection(S(bad), S("clientes"));
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(S("clientes"))) << e.what();
        }
    }
}

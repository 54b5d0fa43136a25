// What the pickers list and how their search box finds rows.
#include "host/qt/rowtable.h"
#include "tests/qt/gui_fixture.h"

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct RowTable : ::testing::Test
{
    TClientDataSet ds{u"qryCliente"_s};
    void SetUp() override
    {
        ds.AddField(u"CDCLIENTE"_s, TFieldType::ftString, 6)->SetVisible(false);
        ds.AddField(u"NMFANTCLIE"_s, TFieldType::ftString, 40)->SetDisplayLabel(u"Nome"_s);
        ds.AddField(u"CIDADE"_s, TFieldType::ftString, 40)->SetDisplayLabel(u"Cidade"_s);
        ds.CreateDataSet();
        const char* rows[][3] = {{"000101", "Metalúrgica Aurora", "Joinville"},
                                 {"000102", "Banco Horizonte", "São Paulo"},
                                 {"000103", "Dr. Paulo Mendes", "Curitiba"}};
        for (const auto& r : rows) {
            ds.Append();
            ds.FieldByName(u"CDCLIENTE"_s)->SetAsString(QString::fromUtf8(r[0]));
            ds.FieldByName(u"NMFANTCLIE"_s)->SetAsString(QString::fromUtf8(r[1]));
            ds.FieldByName(u"CIDADE"_s)->SetAsString(QString::fromUtf8(r[2]));
            ds.Post();
        }
        ds.SetRecNo(2);
    }
};

} // namespace

TEST_F(RowTable, ListsTheVisibleFieldsWithEachRowsKeyWithoutMovingTheDataSet)
{
    const TRowTable table(ds, u"CDCLIENTE"_s);
    EXPECT_EQ(table.Headers(), (QStringList{u"Nome"_s, u"Cidade"_s}));
    ASSERT_EQ(table.RowCount(), 3);
    EXPECT_EQ(table.Texts(0), (QStringList{u"Metalúrgica Aurora"_s, u"Joinville"_s}));
    EXPECT_EQ(table.Key(2), u"000103"_s);
    EXPECT_EQ(ds.RecNo(), 2);
}

TEST_F(RowTable, SearchMatchesEveryWordInAnyShownFieldRegardlessOfCaseAndAccents)
{
    const TRowTable table(ds, u"CDCLIENTE"_s);
    EXPECT_EQ(table.Matching(u""_s), (QList<int>{0, 1, 2}));
    EXPECT_EQ(table.Matching(u"metalurgica"_s), QList<int>{0});
    EXPECT_EQ(table.Matching(u"SAO paulo"_s), QList<int>{1}) << "the city of the bank";
    EXPECT_EQ(table.Matching(u"paulo"_s), (QList<int>{1, 2}));
    EXPECT_EQ(table.Matching(u"paulo curitiba"_s), QList<int>{2});
    EXPECT_TRUE(table.Matching(u"000101"_s).isEmpty()) << "the hidden key is not searched";
}

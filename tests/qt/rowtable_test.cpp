// What the pickers list and how their search box finds rows.
#include "host/qt/rowtable.h"
#include "tests/qt/gui_fixture.h"

using namespace aph;
using namespace aph::test;

namespace {

struct RowTable : ::testing::Test
{
    TClientDataSet ds{S("qryCliente")};
    void SetUp() override
    {
        ds.AddField(S("CDCLIENTE"), TFieldType::ftString, 6)->SetVisible(false);
        ds.AddField(S("NMFANTCLIE"), TFieldType::ftString, 40)->SetDisplayLabel(S("Nome"));
        ds.AddField(S("CIDADE"), TFieldType::ftString, 40)->SetDisplayLabel(S("Cidade"));
        ds.CreateDataSet();
        const char* rows[][3] = {{"000101", "Metalúrgica Aurora", "Joinville"},
                                 {"000102", "Banco Horizonte", "São Paulo"},
                                 {"000103", "Dr. Paulo Mendes", "Curitiba"}};
        for (const auto& r : rows) {
            ds.Append();
            ds.FieldByName(S("CDCLIENTE"))->SetAsString(S(r[0]));
            ds.FieldByName(S("NMFANTCLIE"))->SetAsString(S(r[1]));
            ds.FieldByName(S("CIDADE"))->SetAsString(S(r[2]));
            ds.Post();
        }
        ds.SetRecNo(2);
    }
};

} // namespace

TEST_F(RowTable, ListsTheVisibleFieldsWithEachRowsKeyWithoutMovingTheDataSet)
{
    const TRowTable table(ds, S("CDCLIENTE"));
    EXPECT_EQ(table.Headers(), (QStringList{S("Nome"), S("Cidade")}));
    ASSERT_EQ(table.RowCount(), 3);
    EXPECT_EQ(table.Texts(0), (QStringList{S("Metalúrgica Aurora"), S("Joinville")}));
    EXPECT_EQ(table.Key(2), S("000103"));
    EXPECT_EQ(ds.RecNo(), 2);
}

TEST_F(RowTable, SearchMatchesEveryWordInAnyShownFieldRegardlessOfCaseAndAccents)
{
    const TRowTable table(ds, S("CDCLIENTE"));
    EXPECT_EQ(table.Matching(S("")), (QList<int>{0, 1, 2}));
    EXPECT_EQ(table.Matching(S("metalurgica")), QList<int>{0});
    EXPECT_EQ(table.Matching(S("SAO paulo")), QList<int>{1}) << "the city of the bank";
    EXPECT_EQ(table.Matching(S("paulo")), (QList<int>{1, 2}));
    EXPECT_EQ(table.Matching(S("paulo curitiba")), QList<int>{2});
    EXPECT_TRUE(table.Matching(S("000101")).isEmpty()) << "the hidden key is not searched";
}

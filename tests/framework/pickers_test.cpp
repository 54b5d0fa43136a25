#include "host/data/selection.h"
#include "host/framework/pickers.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace aph;
using namespace aph::test;

namespace {

struct Clients : ::testing::Test
{
    ScriptedDesktop desktop;
    TClientDataSet qryCliente{S("qryCliente")};
    TDataSource dtsCliente{S("dtsCliente")};
    void SetUp() override
    {
        qryCliente.AddField(S("CDCLIENTE"), TFieldType::ftString, 21);
        qryCliente.AddField(S("NMFANTCLIE"), TFieldType::ftString, 50);
        qryCliente.CreateDataSet();
        for (const char* key : {"000123", "a|b", "com \"aspas\"", "T"}) {
            qryCliente.Append();
            qryCliente.FieldByName(S("CDCLIENTE"))->SetAsString(S(key));
            qryCliente.Post();
        }
        dtsCliente.SetDataSet(&qryCliente);
    }
};

} // namespace

TEST_F(Clients, AnySetOfKeysRoundTripsThroughTheSelectionString)
{
    QString selection = S("T");
    const QStringList picked{S("a|b"), S("com \"aspas\""), S("T")};
    desktop.listPicks = {picked};
    ASSERT_TRUE(PesquisaLista(&dtsCliente, S("CDCLIENTE"), S("Cliente|Não há cliente cadastrado"),
                              false, selection));
    EXPECT_NE(selection, S("T")) << "a pick of the key T is not 'all'";
    EXPECT_FALSE(selection.isEmpty());
    EXPECT_EQ(DecodeSelection(selection).Keys, picked);
    ASSERT_EQ(desktop.pickLists.size(), 1);
    EXPECT_EQ(desktop.pickLists[0].Title, S("Cliente"));
    EXPECT_TRUE(desktop.pickLists[0].SelectedKeys.isEmpty()) << "'T' ticks nothing";
    // Opening again shows the current choice ticked.
    desktop.listPicks = {QStringList{}};
    ASSERT_TRUE(PesquisaLista(&dtsCliente, S("CDCLIENTE"), S("Cliente|x"), false, selection));
    EXPECT_EQ(desktop.pickLists[1].SelectedKeys, picked);
    EXPECT_EQ(selection, QString()) << "nothing ticked: empty";
}

TEST_F(Clients, LeavingWithoutChoosingOrAnEmptyListKeepsTheSelection)
{
    QString selection = S("[\"000123\"]");
    EXPECT_FALSE(PesquisaLista(&dtsCliente, S("CDCLIENTE"), S("Cliente|x"), false, selection));
    EXPECT_EQ(selection, S("[\"000123\"]"));
    qryCliente.Close();
    qryCliente.CreateDataSet();
    EXPECT_FALSE(PesquisaLista(&dtsCliente, S("CDCLIENTE"), S("Cliente|Não há cliente cadastrado"),
                               false, selection));
    EXPECT_EQ(desktop.questions, QStringList{S("Não há cliente cadastrado")});
    EXPECT_EQ(desktop.pickLists.size(), 1) << "an empty list never opens the picker";
}

TEST_F(Clients, SingleRowPickAndSearchPositionTheDataSet)
{
    desktop.rowPicks = {2, -1};
    EXPECT_TRUE(Pesquisar(&dtsCliente, S("Ocorrência"), false, true));
    EXPECT_EQ(qryCliente.RecNo(), 3);
    EXPECT_FALSE(Pesquisar(&dtsCliente, S("Ocorrência"), false, true));
    EXPECT_EQ(qryCliente.RecNo(), 3);
    EXPECT_EQ(desktop.pickRowTitles, (QStringList{S("Ocorrência"), S("Ocorrência")}));
    desktop.searchPicks = {{S("CDCLIENTE"), S("a|")}};
    EXPECT_TRUE(Procura(&qryCliente));
    EXPECT_EQ(qryCliente.RecNo(), 2);
    EXPECT_EQ(desktop.searches, QStringList{S("qryCliente")});
}

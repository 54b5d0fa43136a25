#include "host/data/selection.h"
#include "host/framework/pickers.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct Clients : ::testing::Test
{
    ScriptedDesktop desktop;
    TClientDataSet qryCliente{u"qryCliente"_s};
    TDataSource dtsCliente{u"dtsCliente"_s};
    void SetUp() override
    {
        qryCliente.AddField(u"CDCLIENTE"_s, TFieldType::ftString, 21);
        qryCliente.AddField(u"NMFANTCLIE"_s, TFieldType::ftString, 50);
        qryCliente.CreateDataSet();
        for (const char* key : {"000123", "a|b", "com \"aspas\"", "T"}) {
            qryCliente.Append();
            qryCliente.FieldByName(u"CDCLIENTE"_s)->SetAsString(QString::fromUtf8(key));
            qryCliente.Post();
        }
        dtsCliente.SetDataSet(&qryCliente);
    }
};

} // namespace

TEST_F(Clients, AnySetOfKeysRoundTripsThroughTheSelectionString)
{
    QString selection = u"T"_s;
    const QStringList picked{u"a|b"_s, u"com \"aspas\""_s, u"T"_s};
    desktop.listPicks = {picked};
    ASSERT_TRUE(PesquisaLista(&dtsCliente, u"CDCLIENTE"_s, u"Cliente|Não há cliente cadastrado"_s,
                              false, selection));
    EXPECT_NE(selection, u"T"_s) << "a pick of the key T is not 'all'";
    EXPECT_FALSE(selection.isEmpty());
    EXPECT_EQ(DecodeSelection(selection).Keys, picked);
    ASSERT_EQ(desktop.pickLists.size(), 1);
    EXPECT_EQ(desktop.pickLists[0].Title, u"Cliente"_s);
    EXPECT_TRUE(desktop.pickLists[0].SelectedKeys.isEmpty()) << "'T' ticks nothing";
    // Opening again shows the current choice ticked.
    desktop.listPicks = {QStringList{}};
    ASSERT_TRUE(PesquisaLista(&dtsCliente, u"CDCLIENTE"_s, u"Cliente|x"_s, false, selection));
    EXPECT_EQ(desktop.pickLists[1].SelectedKeys, picked);
    EXPECT_EQ(selection, QString()) << "nothing ticked: empty";
}

TEST_F(Clients, LeavingWithoutChoosingOrAnEmptyListKeepsTheSelection)
{
    QString selection = u"[\"000123\"]"_s;
    EXPECT_FALSE(PesquisaLista(&dtsCliente, u"CDCLIENTE"_s, u"Cliente|x"_s, false, selection));
    EXPECT_EQ(selection, u"[\"000123\"]"_s);
    qryCliente.Close();
    qryCliente.CreateDataSet();
    EXPECT_FALSE(PesquisaLista(&dtsCliente, u"CDCLIENTE"_s, u"Cliente|Não há cliente cadastrado"_s,
                               false, selection));
    EXPECT_EQ(desktop.questions, QStringList{u"Não há cliente cadastrado"_s});
    EXPECT_EQ(desktop.pickLists.size(), 1) << "an empty list never opens the picker";
}

TEST_F(Clients, SingleRowPickAndSearchPositionTheDataSet)
{
    desktop.rowPicks = {2, -1};
    EXPECT_TRUE(Pesquisar(&dtsCliente, u"Ocorrência"_s, false, true));
    EXPECT_EQ(qryCliente.RecNo(), 3);
    EXPECT_FALSE(Pesquisar(&dtsCliente, u"Ocorrência"_s, false, true));
    EXPECT_EQ(qryCliente.RecNo(), 3);
    EXPECT_EQ(desktop.pickRowTitles, (QStringList{u"Ocorrência"_s, u"Ocorrência"_s}));
    desktop.searchPicks = {{u"CDCLIENTE"_s, u"a|"_s}};
    EXPECT_TRUE(Procura(&qryCliente));
    EXPECT_EQ(qryCliente.RecNo(), 2);
    EXPECT_EQ(desktop.searches, QStringList{u"qryCliente"_s});
}

// The filter dialog as the user meets it, against a real server.
#include "host/data/selection.h"
#include "tests/screens/screen_fixture.h"

#include <gtest/gtest.h>

using namespace aph;
using namespace aph::test;

namespace {

double Ole(int y, int m, int d)
{
    return DateToOle(QDate(y, m, d));
}

class FilterDialog : public ScreenTest
{};

} // namespace

TEST_F(FilterDialog, FirstShowHasTheDefaultsAndConfirmingFillsTheServices)
{
    bool seen = false;
    OnFilter([&](TfrmFiltroCsa& d) {
        seen = true;
        EXPECT_EQ(d.Caption(), S("Filtro Apuração CHT"));
        EXPECT_EQ(d.lblCodTela->Caption(), S("APH31501"));
        for (TRadioButton* todos : {d.rbtTodosCli, d.rbtTodosFunc, d.rbtTodosProp})
            EXPECT_TRUE(todos->Checked()) << todos->Name().toStdString();
        for (TBtnPesquisa* picker : {d.btnPesqCli, d.btnPesqFunc, d.btnPesqProp})
            EXPECT_FALSE(picker->Enabled()) << picker->Name().toStdString();
        EXPECT_TRUE(d.chbSemCHTGerada->Checked());
        EXPECT_FALSE(d.chbComCHTGerada->Checked());
        for (TCheckBox* box :
             {d.chbCHT_Pendente, d.chbCHT_Aprovado, d.chbCHT_Faturado, d.chbCHT_Nao_Faturar}) {
            EXPECT_FALSE(box->Enabled()) << box->Name().toStdString();
            EXPECT_FALSE(box->Checked()) << box->Name().toStdString();
        }
        EXPECT_EQ(d.depDtInicial->Text(), S("21/06/2008"));
        EXPECT_EQ(d.depDtFinal->GetDate(), Today());
        EXPECT_EQ(d.ActiveControl(), d.rbtTodosCli);
        EXPECT_EQ(d.rbtTodosProp->Caption(), S("Todas"));
        UserClick(d.sbtConfirma);
    });
    IniProc();
    ASSERT_TRUE(seen);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(frmFiltroCsa->stSituacaoCSA, S("S"));
    EXPECT_EQ(frmFiltroCsa->stSituacaoCHT, QString());
    EXPECT_FALSE(frmFiltroCsa->Visible()) << "confirming closes the dialog";
    const QList<TRecordedCall> services = CallsOf("GetServPrest");
    ASSERT_EQ(services.size(), 1);
    EXPECT_EQ(services[0].Params, (QJsonArray{Ole(2008, 6, 21), Today(), S("T"), S("T"), S("T"),
                                              S("S"), S("ANA"), QString()}));
    EXPECT_GT(frmAprovaHoras->cdsServPrest.RecordCount(), 0)
        << "the demo data has CSAs without CHT";
    EXPECT_EQ(Filtro.Cliente.Lista, S("T"));
    EXPECT_TRUE(Filtro.Cliente.Todos);
    EXPECT_EQ(Filtro.DtInicial, Ole(2008, 6, 21));
}

TEST_F(FilterDialog, EachRefusalShowsItsMessageAndMovesTheFocus)
{
    OnFilter([&](TfrmFiltroCsa& d) {
        // A list chosen but nothing picked, with the dates wrong too: the
        // client comes first.
        UserClick(d.rbtListaCli);
        EXPECT_TRUE(d.btnPesqCli->Enabled());
        d.depDtInicial->SetDate(Today() + 1);
        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), S("Cliente deve ser informado"));
        EXPECT_EQ(d.ActiveControl(), d.rbtListaCli);
        UserClick(d.rbtTodosCli);

        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), S("Data Final deve ser maior ou igual à Data Inicial."));
        EXPECT_EQ(d.ActiveControl(), d.depDtInicial);

        d.depDtInicial->SetText(QString());
        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), S("Data Inicial deve ser informada."));
        d.depDtInicial->SetDate(Today());
        d.depDtFinal->SetText(QString());
        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), S("Data Final deve ser informada."));
        EXPECT_EQ(d.ActiveControl(), d.depDtFinal);
        d.depDtFinal->SetText(S("31/02/2026"));
        UserClick(d.sbtConfirma);
        EXPECT_TRUE(desktop->errors.last().contains(S("31/02/2026")))
            << "the date edit's own check";
        d.depDtFinal->SetDate(Today()); // equal dates pass

        UserClick(d.chbSemCHTGerada);
        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), S("Situação do CHT deve ser informada."));
        EXPECT_EQ(d.ActiveControl(), d.chbSemCHTGerada);

        UserClick(d.chbComCHTGerada);
        EXPECT_TRUE(d.chbCHT_Pendente->Enabled());
        UserFocus(d.depDtFinal);
        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), S("Situação do CHT deve ser informada."));
        EXPECT_EQ(d.ActiveControl(), d.depDtFinal) << "this refusal leaves the focus alone";
        EXPECT_EQ(d.stSituacaoCSA, S("C")) << "the codes were rebuilt before the refusal";
        EXPECT_EQ(d.stSituacaoCHT, QString());
        EXPECT_EQ(d.stCliente, S("T")) << "groups on Todos became T";
        EXPECT_EQ(desktop->errors.size(), 7);
    });
    IniProc();
    EXPECT_TRUE(CallsOf("GetServPrest").isEmpty()) << "nothing refused reaches the server";
    EXPECT_TRUE(Filtro.SemCHTGerada) << "Filtro keeps its creation values";
    EXPECT_FALSE(Filtro.ComCHTGerada);
    EXPECT_TRUE(frmAprovaHoras->cdsServPrest.IsEmpty());
}

TEST_F(FilterDialog, SituationCodesForEachCombination)
{
    struct Case
    {
        bool sem, com, pendente, aprovado, faturado, naoFaturar;
        const char* csa;
        const char* cht;
    };
    const Case cases[] = {
        {true, false, true, false, true, false, "S", ""},
        {false, true, true, true, false, false, "C", "_P_A"},
        {false, true, false, false, true, false, "C", "_R"},
        {false, true, false, true, true, true, "C", "_R_A_N"},
        {true, true, true, true, true, true, "T", "T"},
    };
    ConfirmFilter();
    IniProc();
    for (const Case& c : cases) {
        OnFilter([&](TfrmFiltroCsa& d) {
            // The CHT boxes can only be set while "com CHT" is ticked; the
            // marks stay when it is unticked again.
            d.chbComCHTGerada->SetChecked(true);
            d.chbCHT_Pendente->SetChecked(c.pendente);
            d.chbCHT_Aprovado->SetChecked(c.aprovado);
            d.chbCHT_Faturado->SetChecked(c.faturado);
            d.chbCHT_Nao_Faturar->SetChecked(c.naoFaturar);
            d.chbComCHTGerada->SetChecked(c.com);
            d.chbSemCHTGerada->SetChecked(c.sem);
            UserClick(d.sbtConfirma);
        });
        UserClick(frmAprovaHoras->sbtFiltrar);
        SCOPED_TRACE(c.csa + std::string("/") + c.cht);
        EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
        EXPECT_EQ(frmFiltroCsa->stSituacaoCSA, S(c.csa));
        EXPECT_EQ(frmFiltroCsa->stSituacaoCHT, S(c.cht));
        const TRecordedCall last = CallsOf("GetServPrest").last();
        EXPECT_EQ(last.Params[5].toString(), S(c.csa));
        EXPECT_EQ(last.Params[7].toString(), S(c.cht));
        EXPECT_EQ(Filtro.CHT_Pendente, c.pendente) << "marks are stored even when disabled";
        EXPECT_EQ(Filtro.CHT_Faturado, c.faturado);
    }
}

TEST_F(FilterDialog, RefreshReloadsWithTheLastConfirmedFilterAndNeverShowsTheDialog)
{
    // Before any confirmation the refresh sends the creation values.
    IniProc(); // the dialog is left without confirming
    const int shown = static_cast<int>(desktop->shownForms.count(S("frmFiltroCsa")));
    UserClick(frmAprovaHoras->sbtVerificar);
    ASSERT_EQ(CallsOf("GetServPrest").size(), 1);
    EXPECT_EQ(CallsOf("GetServPrest")[0].Params,
              (QJsonArray{Ole(2008, 6, 21), Today(), QString(), QString(), QString(), QString(),
                          S("ANA"), QString()}));

    OnFilter([&](TfrmFiltroCsa& d) {
        d.depDtInicial->SetDate(Ole(2025, 1, 1));
        d.chbComCHTGerada->SetChecked(true);
        d.chbCHT_Aprovado->SetChecked(true);
        UserClick(d.sbtConfirma);
    });
    UserClick(frmAprovaHoras->sbtFiltrar);
    const QJsonArray confirmed = CallsOf("GetServPrest").last().Params;
    EXPECT_EQ(confirmed[5].toString(), S("T"));
    // The earlier refresh put the CHT boxes back from Filtro (Pendente at
    // creation), and activation leaves them as they were.
    EXPECT_EQ(confirmed[7].toString(), S("_P_A"));
    const int shownAfter = static_cast<int>(desktop->shownForms.count(S("frmFiltroCsa")));
    EXPECT_EQ(shownAfter, shown + 1);

    // The user changes the dialog and cancels: the refresh still uses what
    // was confirmed.
    OnFilter([](TfrmFiltroCsa& d) {
        d.depDtInicial->SetDate(Ole(2020, 1, 1));
        UserClick(d.sbtCancela);
    });
    UserClick(frmAprovaHoras->sbtFiltrar);
    UserClick(frmAprovaHoras->sbtVerificar);
    EXPECT_EQ(CallsOf("GetServPrest").last().Params, confirmed);
    EXPECT_EQ(desktop->shownForms.count(S("frmFiltroCsa")), shownAfter + 1)
        << "no dialog for the refresh";
    EXPECT_EQ(frmFiltroCsa->depDtInicial->GetDate(), Ole(2025, 1, 1)) << "restored from Filtro";
}

TEST_F(FilterDialog, PickersFillTheSelectionsAndTheProposalRequestFollowsTheClients)
{
    OnFilter([&](TfrmFiltroCsa& d) {
        // Clients on Todos: proposals of every client.
        UserClick(d.rbtListaProp);
        desktop->listPicks = {std::nullopt};
        UserClick(d.btnPesqProp);
        ASSERT_EQ(CallsOf("GetProp").size(), 1);
        EXPECT_EQ(CallsOf("GetProp")[0].Params, (QJsonArray{S("0001"), QString(), S("T")}));
        EXPECT_EQ(desktop->pickLists.last().Title, S("Proposta"));
        EXPECT_EQ(desktop->pickLists.last().KeyField, S("CDCHAVE"));
        const int allProposals = d.cdsProposta.RecordCount();
        EXPECT_GT(allProposals, 1);

        // Clients on a list with nothing picked yet: the working string goes.
        UserClick(d.rbtListaCli);
        desktop->listPicks = {std::nullopt};
        UserClick(d.btnPesqProp);
        EXPECT_EQ(CallsOf("GetProp")[1].Params, (QJsonArray{S("0001"), QString(), QString()}));

        // A client picked but not confirmed already counts.
        desktop->listPicks = {QStringList{S("000101")}};
        UserClick(d.btnPesqCli);
        EXPECT_EQ(desktop->pickLists.last().Title, S("Cliente"));
        EXPECT_EQ(DecodeSelection(d.stCliente).Keys, QStringList{S("000101")});
        desktop->listPicks = {QStringList{S("2024-0101|01")}};
        UserClick(d.btnPesqProp);
        EXPECT_EQ(CallsOf("GetProp")[2].Params, (QJsonArray{S("0001"), d.stCliente, QString()}));
        EXPECT_LT(d.cdsProposta.RecordCount(), allProposals);
        for (d.cdsProposta.First(); !d.cdsProposta.Eof(); d.cdsProposta.Next())
            EXPECT_EQ(d.cdsProposta.FieldByName(S("CDCLIENTE"))->AsString(), S("000101"));
        EXPECT_EQ(DecodeSelection(d.stProposta).Keys, QStringList{S("2024-0101|01")});

        // Employees come from the active operators.
        UserClick(d.rbtListaFunc);
        desktop->listPicks = {QStringList{S("F0001")}};
        UserClick(d.btnPesqFunc);
        EXPECT_EQ(desktop->pickLists.last().Title, S("Funcionário"));
        UserClick(d.sbtConfirma);
    });
    IniProc();
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_FALSE(Filtro.Cliente.Todos);
    EXPECT_EQ(DecodeSelection(Filtro.Cliente.Lista).Keys, QStringList{S("000101")});
    const QJsonArray args = CallsOf("GetServPrest").last().Params;
    EXPECT_EQ(args[2].toString(), Filtro.Cliente.Lista);
    EXPECT_EQ(args[4].toString(), Filtro.Proposta.Lista);
    for (frmAprovaHoras->cdsServPrest.First(); !frmAprovaHoras->cdsServPrest.Eof();
         frmAprovaHoras->cdsServPrest.Next())
        EXPECT_EQ(frmAprovaHoras->cdsServPrest.FieldByName(S("CDCLIENTE"))->AsString(),
                  S("000101"));
}

TEST_F(FilterDialog, RegistrationNumbersShowThroughTheMaskOfTheirOwnType)
{
    OnFilter([&](TfrmFiltroCsa& d) {
        UserClick(d.rbtListaCli);
        desktop->listPicks = {std::nullopt};
        UserClick(d.btnPesqCli);
        QStringList shown;
        for (d.qryCliente.First(); !d.qryCliente.Eof(); d.qryCliente.Next())
            shown << d.qryCliente.FieldByName(S("NRINSJURCLIE"))->DisplayText();
        EXPECT_TRUE(shown.contains(S("12.345.678/0001-90"))) << shown.join(u' ').toStdString();
        EXPECT_TRUE(shown.contains(S("123.456.789-09"))) << shown.join(u' ').toStdString();
    });
    IniProc();
}

TEST_F(FilterDialog, CancellingBringsBackTheLastConfirmedChoiceAtTheNextShow)
{
    OnFilter([&](TfrmFiltroCsa& d) {
        UserClick(d.rbtListaCli);
        desktop->listPicks = {QStringList{S("000102")}};
        UserClick(d.btnPesqCli);
        UserClick(d.sbtConfirma);
    });
    IniProc();
    const QString confirmed = Filtro.Cliente.Lista;
    OnFilter([&](TfrmFiltroCsa& d) {
        EXPECT_TRUE(d.rbtListaCli->Checked());
        EXPECT_EQ(d.stCliente, confirmed);
        EXPECT_EQ(d.ActiveControl(), d.rbtListaCli);
        desktop->listPicks = {QStringList{S("000103")}};
        UserClick(d.btnPesqCli);
        UserClick(d.rbtTodosCli);
        UserClick(d.sbtCancela);
    });
    UserClick(frmAprovaHoras->sbtFiltrar);
    OnFilter([&](TfrmFiltroCsa& d) {
        EXPECT_TRUE(d.rbtListaCli->Checked());
        EXPECT_EQ(d.stCliente, confirmed);
    });
    UserClick(frmAprovaHoras->sbtFiltrar);
    EXPECT_EQ(Filtro.Cliente.Lista, confirmed);
}

TEST_F(FilterDialog, AServiceErrorKeepsTheDialogOpenWithTheLowerGridsEmpty)
{
    ConfirmFilter();
    IniProc();
    ASSERT_GT(frmAprovaHoras->cdsServPrest.RecordCount(), 0);
    bool stillOpen = false;
    OnFilter([&](TfrmFiltroCsa& d) {
        failing = S("GetServPrest");
        UserClick(d.sbtConfirma);
        stillOpen = d.Visible();
    });
    UserClick(frmAprovaHoras->sbtFiltrar);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(desktop->errors, QStringList{S("Falha de comunicação com o servidor de aplicação.")});
    EXPECT_GT(frmAprovaHoras->cdsServPrest.RecordCount(), 0) << "the services keep what they had";
    EXPECT_FALSE(frmAprovaHoras->cdsFunc.Active());
    EXPECT_FALSE(frmAprovaHoras->cdsAuxCSA.Active());
    EXPECT_EQ(frmAprovaHoras->lblTotHoraFat->Caption(), QString());
    EXPECT_EQ(Application()->BusyDepth(), 0) << "the animation ends with the failure";
}

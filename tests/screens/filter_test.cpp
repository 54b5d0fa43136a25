// The filter dialog as the user meets it, against a real server.
#include "host/data/selection.h"
#include "tests/screens/screen_fixture.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

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
        EXPECT_EQ(d.Caption(), u"Filtro Apuração CHT"_s);
        EXPECT_EQ(d.lblCodTela->Caption(), u"APH31501"_s);
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
        EXPECT_EQ(d.depDtInicial->Text(), u"21/06/2008"_s);
        EXPECT_EQ(d.depDtFinal->GetDate(), Today());
        EXPECT_EQ(d.ActiveControl(), d.rbtTodosCli);
        EXPECT_EQ(d.rbtTodosProp->Caption(), u"Todas"_s);
        UserClick(d.sbtConfirma);
    });
    IniProc();
    ASSERT_TRUE(seen);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(frmFiltroCsa->stSituacaoCSA, u"S"_s);
    EXPECT_EQ(frmFiltroCsa->stSituacaoCHT, QString());
    EXPECT_FALSE(frmFiltroCsa->Visible()) << "confirming closes the dialog";
    const QList<TRecordedCall> services = CallsOf("GetServPrest");
    ASSERT_EQ(services.size(), 1);
    EXPECT_EQ(services[0].Params, (QJsonArray{Ole(2008, 6, 21), Today(), u"T"_s, u"T"_s, u"T"_s,
                                              u"S"_s, u"ANA"_s, QString()}));
    EXPECT_GT(frmAprovaHoras->cdsServPrest.RecordCount(), 0)
        << "the demo data has CSAs without CHT";
    EXPECT_EQ(Filtro.Cliente.Lista, u"T"_s);
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
        EXPECT_EQ(desktop->errors.last(), u"Cliente deve ser informado"_s);
        EXPECT_EQ(d.ActiveControl(), d.rbtListaCli);
        UserClick(d.rbtTodosCli);

        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), u"Data Final deve ser maior ou igual à Data Inicial."_s);
        EXPECT_EQ(d.ActiveControl(), d.depDtInicial);

        d.depDtInicial->SetText(QString());
        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), u"Data Inicial deve ser informada."_s);
        d.depDtInicial->SetDate(Today());
        d.depDtFinal->SetText(QString());
        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), u"Data Final deve ser informada."_s);
        EXPECT_EQ(d.ActiveControl(), d.depDtFinal);
        d.depDtFinal->SetText(u"31/02/2026"_s);
        UserClick(d.sbtConfirma);
        EXPECT_TRUE(desktop->errors.last().contains(u"31/02/2026"_s))
            << "the date edit's own check";
        d.depDtFinal->SetDate(Today()); // equal dates pass

        UserClick(d.chbSemCHTGerada);
        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), u"Situação do CHT deve ser informada."_s);
        EXPECT_EQ(d.ActiveControl(), d.chbSemCHTGerada);

        UserClick(d.chbComCHTGerada);
        EXPECT_TRUE(d.chbCHT_Pendente->Enabled());
        UserFocus(d.depDtFinal);
        UserClick(d.sbtConfirma);
        EXPECT_EQ(desktop->errors.last(), u"Situação do CHT deve ser informada."_s);
        EXPECT_EQ(d.ActiveControl(), d.depDtFinal) << "this refusal leaves the focus alone";
        EXPECT_EQ(d.stSituacaoCSA, u"C"_s) << "the codes were rebuilt before the refusal";
        EXPECT_EQ(d.stSituacaoCHT, QString());
        EXPECT_EQ(d.stCliente, u"T"_s) << "groups on Todos became T";
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
        EXPECT_EQ(frmFiltroCsa->stSituacaoCSA, QString::fromUtf8(c.csa));
        EXPECT_EQ(frmFiltroCsa->stSituacaoCHT, QString::fromUtf8(c.cht));
        const TRecordedCall last = CallsOf("GetServPrest").last();
        EXPECT_EQ(last.Params[5].toString(), QString::fromUtf8(c.csa));
        EXPECT_EQ(last.Params[7].toString(), QString::fromUtf8(c.cht));
        EXPECT_EQ(Filtro.CHT_Pendente, c.pendente) << "marks are stored even when disabled";
        EXPECT_EQ(Filtro.CHT_Faturado, c.faturado);
    }
}

TEST_F(FilterDialog, RefreshReloadsWithTheLastConfirmedFilterAndNeverShowsTheDialog)
{
    // Before any confirmation the refresh sends the creation values.
    IniProc(); // the dialog is left without confirming
    const int shown = static_cast<int>(desktop->shownForms.count(u"frmFiltroCsa"_s));
    UserClick(frmAprovaHoras->sbtVerificar);
    ASSERT_EQ(CallsOf("GetServPrest").size(), 1);
    EXPECT_EQ(CallsOf("GetServPrest")[0].Params,
              (QJsonArray{Ole(2008, 6, 21), Today(), QString(), QString(), QString(), QString(),
                          u"ANA"_s, QString()}));

    OnFilter([&](TfrmFiltroCsa& d) {
        d.depDtInicial->SetDate(Ole(2025, 1, 1));
        d.chbComCHTGerada->SetChecked(true);
        d.chbCHT_Aprovado->SetChecked(true);
        UserClick(d.sbtConfirma);
    });
    UserClick(frmAprovaHoras->sbtFiltrar);
    const QJsonArray confirmed = CallsOf("GetServPrest").last().Params;
    EXPECT_EQ(confirmed[5].toString(), u"T"_s);
    // The earlier refresh put the CHT boxes back from Filtro (Pendente at
    // creation), and activation leaves them as they were.
    EXPECT_EQ(confirmed[7].toString(), u"_P_A"_s);
    const int shownAfter = static_cast<int>(desktop->shownForms.count(u"frmFiltroCsa"_s));
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
    EXPECT_EQ(desktop->shownForms.count(u"frmFiltroCsa"_s), shownAfter + 1)
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
        EXPECT_EQ(CallsOf("GetProp")[0].Params, (QJsonArray{u"0001"_s, QString(), u"T"_s}));
        EXPECT_EQ(desktop->pickLists.last().Title, u"Proposta"_s);
        EXPECT_EQ(desktop->pickLists.last().KeyField, u"CDCHAVE"_s);
        const int allProposals = d.cdsProposta.RecordCount();
        EXPECT_GT(allProposals, 1);

        // Clients on a list with nothing picked yet: the working string goes.
        UserClick(d.rbtListaCli);
        desktop->listPicks = {std::nullopt};
        UserClick(d.btnPesqProp);
        EXPECT_EQ(CallsOf("GetProp")[1].Params, (QJsonArray{u"0001"_s, QString(), QString()}));

        // A client picked but not confirmed already counts.
        desktop->listPicks = {QStringList{u"000101"_s}};
        UserClick(d.btnPesqCli);
        EXPECT_EQ(desktop->pickLists.last().Title, u"Cliente"_s);
        EXPECT_EQ(DecodeSelection(d.stCliente).Keys, QStringList{u"000101"_s});
        desktop->listPicks = {QStringList{u"2024-0101|01"_s}};
        UserClick(d.btnPesqProp);
        EXPECT_EQ(CallsOf("GetProp")[2].Params, (QJsonArray{u"0001"_s, d.stCliente, QString()}));
        EXPECT_LT(d.cdsProposta.RecordCount(), allProposals);
        for (d.cdsProposta.First(); !d.cdsProposta.Eof(); d.cdsProposta.Next())
            EXPECT_EQ(d.cdsProposta.FieldByName(u"CDCLIENTE"_s)->AsString(), u"000101"_s);
        EXPECT_EQ(DecodeSelection(d.stProposta).Keys, QStringList{u"2024-0101|01"_s});

        // Employees come from the active operators.
        UserClick(d.rbtListaFunc);
        desktop->listPicks = {QStringList{u"F0001"_s}};
        UserClick(d.btnPesqFunc);
        EXPECT_EQ(desktop->pickLists.last().Title, u"Funcionário"_s);
        UserClick(d.sbtConfirma);
    });
    IniProc();
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_FALSE(Filtro.Cliente.Todos);
    EXPECT_EQ(DecodeSelection(Filtro.Cliente.Lista).Keys, QStringList{u"000101"_s});
    const QJsonArray args = CallsOf("GetServPrest").last().Params;
    EXPECT_EQ(args[2].toString(), Filtro.Cliente.Lista);
    EXPECT_EQ(args[4].toString(), Filtro.Proposta.Lista);
    for (frmAprovaHoras->cdsServPrest.First(); !frmAprovaHoras->cdsServPrest.Eof();
         frmAprovaHoras->cdsServPrest.Next())
        EXPECT_EQ(frmAprovaHoras->cdsServPrest.FieldByName(u"CDCLIENTE"_s)->AsString(),
                  u"000101"_s);
}

TEST_F(FilterDialog, RegistrationNumbersShowThroughTheMaskOfTheirOwnType)
{
    OnFilter([&](TfrmFiltroCsa& d) {
        UserClick(d.rbtListaCli);
        desktop->listPicks = {std::nullopt};
        UserClick(d.btnPesqCli);
        QStringList shown;
        for (d.qryCliente.First(); !d.qryCliente.Eof(); d.qryCliente.Next())
            shown << d.qryCliente.FieldByName(u"NRINSJURCLIE"_s)->DisplayText();
        EXPECT_TRUE(shown.contains(u"12.345.678/0001-95"_s)) << shown.join(u' ').toStdString();
        EXPECT_TRUE(shown.contains(u"123.456.789-09"_s)) << shown.join(u' ').toStdString();
    });
    IniProc();
}

TEST_F(FilterDialog, CancellingBringsBackTheLastConfirmedChoiceAtTheNextShow)
{
    OnFilter([&](TfrmFiltroCsa& d) {
        UserClick(d.rbtListaCli);
        desktop->listPicks = {QStringList{u"000102"_s}};
        UserClick(d.btnPesqCli);
        UserClick(d.sbtConfirma);
    });
    IniProc();
    const QString confirmed = Filtro.Cliente.Lista;
    OnFilter([&](TfrmFiltroCsa& d) {
        EXPECT_TRUE(d.rbtListaCli->Checked());
        EXPECT_EQ(d.stCliente, confirmed);
        EXPECT_EQ(d.ActiveControl(), d.rbtListaCli);
        desktop->listPicks = {QStringList{u"000103"_s}};
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
        failing = u"GetServPrest"_s;
        UserClick(d.sbtConfirma);
        stillOpen = d.Visible();
    });
    UserClick(frmAprovaHoras->sbtFiltrar);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(desktop->errors, QStringList{u"Falha de comunicação com o servidor de aplicação."_s});
    EXPECT_GT(frmAprovaHoras->cdsServPrest.RecordCount(), 0) << "the services keep what they had";
    EXPECT_FALSE(frmAprovaHoras->cdsFunc.Active());
    EXPECT_FALSE(frmAprovaHoras->cdsAuxCSA.Active());
    EXPECT_EQ(frmAprovaHoras->lblTotHoraFat->Caption(), QString());
    EXPECT_EQ(Application()->BusyDepth(), 0) << "the animation ends with the failure";
}

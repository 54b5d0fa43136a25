// The module's entry and the approval screen's make-up.
#include "tests/screens/screen_fixture.h"

#include <gtest/gtest.h>

using namespace aph;
using namespace aph::test;

namespace {

class Module : public ScreenTest
{};

int Screens()
{
    return frmAprovaHoras && Application()->Owns(frmAprovaHoras) ? 1 : 0;
}

} // namespace

TEST_F(Module, TwoEntriesGiveOneScreenShownTwiceAndTwoDialogs)
{
    IniProc();
    TfrmAprovaHoras* first = frmAprovaHoras;
    IniProc();
    EXPECT_EQ(frmAprovaHoras, first);
    EXPECT_TRUE(boIdCriado);
    EXPECT_EQ(desktop->shownForms.count(S("frmAprovaHoras")), 2);
    EXPECT_EQ(desktop->shownForms.count(S("frmFiltroCsa")), 2);
    EXPECT_EQ(opens.size(), 1) << "one connection";
    EXPECT_EQ(desktop->cursor, TCursor::crDefault);
}

TEST_F(Module, OpeningLoadsNothingUntilTheFilterIsConfirmed)
{
    IniProc(); // the dialog is left without confirming
    EXPECT_TRUE(calls.isEmpty());
    TfrmAprovaHoras& f = *frmAprovaHoras;
    EXPECT_FALSE(f.cdsServPrest.Active());
    EXPECT_EQ(f.dbgPadrao->RowCount(), 0);
    // The toolbar follows the closed working copy.
    EXPECT_TRUE(f.sbtFiltrar->Enabled());
    EXPECT_TRUE(f.sbtVerificar->Enabled());
    EXPECT_TRUE(f.sbtGerarCHT->Enabled());
    EXPECT_FALSE(f.sbtAlterar->Enabled());
    EXPECT_FALSE(f.sbtCancelar->Enabled());
    EXPECT_FALSE(f.mnuConfirmar->Enabled());
    EXPECT_TRUE(f.mnuGerarCHT->Enabled());
    EXPECT_FALSE(f.sbtProcurar->Enabled());
    EXPECT_FALSE(f.sbtImprimir->Enabled());
}

TEST_F(Module, ClosingAndOpeningAgainGivesANewScreenAndConnection)
{
    IniProc();
    UserClick(frmAprovaHoras->sbtFechar);
    EXPECT_FALSE(boIdCriado);
    EXPECT_EQ(frmAprovaHoras, nullptr) << "the closed screen is gone";
    IniProc();
    EXPECT_TRUE(boIdCriado);
    EXPECT_EQ(Screens(), 1);
    EXPECT_EQ(opens.size(), 2);
}

TEST_F(Module, APortChangedBetweenOpeningsIsUsedAtTheNextConnect)
{
    IniProc();
    UserClick(frmAprovaHoras->sbtFechar);
    TServerProcess second(m_db->Spec(), {QStringLiteral("--no-auth")});
    THostEnvironment env = HostEnvironment();
    env.WebPort = second.Port();
    env.Token.clear();
    SetHostEnvironment(env);
    IniProc();
    ASSERT_EQ(opens.size(), 2);
    EXPECT_EQ(opens[0], m_server->Port());
    EXPECT_EQ(opens[1], second.Port());
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
}

TEST_F(Module, AFailedConnectionLeavesNoScreenAndShowsTheErrorOnce)
{
    THostEnvironment env = HostEnvironment();
    env.WebPort = 1; // nobody listens there
    SetHostEnvironment(env);
    Perform([] { IniProc(); });
    EXPECT_EQ(desktop->errors.size(), 1);
    EXPECT_FALSE(boIdCriado);
    EXPECT_EQ(frmAprovaHoras, nullptr);
    EXPECT_EQ(desktop->cursor, TCursor::crDefault);
    EXPECT_EQ(Application()->BusyDepth(), 0);
    EXPECT_TRUE(desktop->shownForms.isEmpty()) << "no dialog without a screen";
    env.WebPort = m_server->Port();
    SetHostEnvironment(env);
    IniProc();
    EXPECT_TRUE(boIdCriado) << "the next entry tries again";
}

TEST_F(Module, TheScreenIsMadeAsDesigned)
{
    IniProc();
    TfrmAprovaHoras& f = *frmAprovaHoras;
    EXPECT_EQ(f.Caption(), S("Apuração de CHT"));
    EXPECT_EQ(f.lblCodTela->Caption(), S("APH31500"));
    EXPECT_EQ(f.FormStyle(), TFormStyle::fsMDIChild);
    EXPECT_EQ(f.ClientWidth(), 965);
    EXPECT_EQ(f.ClientHeight(), 570);
    EXPECT_EQ(f.panDbgPadrao->BoundsRect().height(), 194);
    EXPECT_EQ(f.splDetalhe->BoundsRect().height(), 5);
    EXPECT_EQ(f.panSubDetalhe->BoundsRect().width(), 430);
    EXPECT_EQ(f.scbFuncionario->BoundsRect().height(), 153);
    EXPECT_EQ(f.splSubDetalhe->BoundsRect().height(), 4);
    EXPECT_EQ(f.panTotalizadorCSA->BoundsRect().height(), 93);
    EXPECT_EQ(f.panTotalizadorCSA->BoundsRect().bottom(), f.scbCSA->BoundsRect().height() - 1);
    EXPECT_EQ(f.dbgCSA->BoundsRect().bottom() + 1, f.panTotalizadorCSA->BoundsRect().top());
    EXPECT_EQ(f.lblValorHoraAtual->BoundsRect(), QRect(443, 50, 66, 15));
    EXPECT_EQ(f.nedVrFaturar->BoundsRect(), QRect(409, 72, 100, 19));

    // Toolbar.
    const std::pair<TSpeedButton*, int> placed[] = {{f.sbtFiltrar, 182},
                                                    {f.sbtGerarCHT, 204},
                                                    {f.sbtImprimir, 239},
                                                    {f.sbtAjuda, 275},
                                                    {f.sbtFechar, 311}};
    for (const auto& [button, left] : placed)
        EXPECT_EQ(button->Left(), left) << button->Name().toStdString();
    EXPECT_EQ(f.sbtFiltrar->Hint(), S("Filtrar"));
    EXPECT_EQ(f.sbtGerarCHT->Hint(), S("Gerar CHT"));
    EXPECT_TRUE(f.sbtGerarCHT->Flat());
    EXPECT_EQ(f.sbtGerarCHT->Width(), 21);

    // Menu.
    EXPECT_EQ(f.mnuFiltrar->Caption(), S("&Filtrar"));
    EXPECT_EQ(f.mnuFiltrar->ShortCut(), ShortCut('L', ssCtrl));
    EXPECT_EQ(f.mnuGerarCHT->Caption(), S("&Gerar CHT"));
    EXPECT_EQ(f.mnuGerarCHT->ShortCut(), ShortCut('G', ssCtrl));
    EXPECT_TRUE(f.N1->IsSeparator());

    // Grids: columns, titles (the field's label when none), widths.
    const auto titles = [](TDBGrid* g) {
        QStringList t;
        for (int i = 0; i < g->ColumnCount(); ++i)
            t << g->Column(i)->TitleCaption() + u'/' + QString::number(g->Column(i)->Width());
        return t;
    };
    EXPECT_EQ(titles(f.dbgPadrao).first(), S("Cliente/169"));
    EXPECT_EQ(titles(f.dbgPadrao)[5], S("Cobrança/57")) << "a hidden field still shows as a column";
    EXPECT_EQ(titles(f.dbgCHT)[1], S("Nr. CHT/45"));
    // A column without a width is as wide as its field, and no narrower
    // than its title.
    EXPECT_GE(f.dbgCHT->Column(0)->Width(), 60) << "Situação CHT over a one-letter field";
    EXPECT_EQ(f.dbgFuncionario->Column(0)->Width(), 64) << "a ten-character code";
    EXPECT_EQ(titles(f.dbgCSA)[0], S("Data/81"));
    EXPECT_EQ(titles(f.dbgCSA)[5].section(u'/', 0, 0), S("Inclusão"));
    EXPECT_EQ(f.dbgCSA->Column(4)->ButtonStyle(), TColumnButtonStyle::cbsEllipsis);
    EXPECT_TRUE(f.dbgFuncionario->HasOption(dgRowSelect));
    EXPECT_FALSE(f.dbgPadrao->HasOption(dgEditing));
    EXPECT_FALSE(f.dbgCHT->HasOption(dgIndicator));
    EXPECT_EQ(f.dbgCHT->Color(), clInfoBk);

    // Fields and messages.
    EXPECT_EQ(f.cdsAuxCSA.IndexFieldNames(), S("DTSERVPREST"));
    EXPECT_EQ(f.cdsAuxCSA.FieldByName(S("QTHRAPROFATU"))->EditMask(), S("!90:00;1; "));
    EXPECT_TRUE(f.cdsAuxCSA.FieldByName(S("QTHRTRAB"))->ReadOnly());
    EXPECT_EQ(f.cdsServPrest.FieldByName(S("VRHORACLIE"))->DisplayFormat(), S("#,###,##0.00"));
    EXPECT_EQ(f.cdsCSA.FieldCount(), 18);
    EXPECT_EQ(f.msgPadrao->Msg(S("CONF_GERAR_CHT")),
              S("Confirma a geração da CHT para todas as CSA´s mostradas na tela?"));
    EXPECT_EQ(
        f.qryOcorr.SQL.join(u'|'),
        S("SELECT|  CDGRPOCOR, CDOCORR, DSOCORR|FROM|  OCORRENCIA|ORDER BY|  CDGRPOCOR, CDOCORR"));
    EXPECT_EQ(dbvtf, 0);
    ASSERT_NE(stlMarcado, nullptr);
    EXPECT_TRUE(stlMarcado->isEmpty());
}

// The module's entry and the approval screen's make-up.
#include "tests/screens/screen_fixture.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

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
    EXPECT_EQ(desktop->shownForms.count(u"frmAprovaHoras"_s), 2);
    EXPECT_EQ(desktop->shownForms.count(u"frmFiltroCsa"_s), 2);
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
    TServerProcess second(m_db->Spec(), {u"--no-auth"_s});
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
    EXPECT_EQ(f.Caption(), u"Apuração de CHT"_s);
    EXPECT_EQ(f.lblCodTela->Caption(), u"APH31500"_s);
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
    EXPECT_EQ(f.sbtFiltrar->Hint(), u"Filtrar"_s);
    EXPECT_EQ(f.sbtGerarCHT->Hint(), u"Gerar CHT"_s);
    EXPECT_TRUE(f.sbtGerarCHT->Flat());
    EXPECT_EQ(f.sbtGerarCHT->Width(), 21);

    // Menu.
    EXPECT_EQ(f.mnuFiltrar->Caption(), u"&Filtrar"_s);
    EXPECT_EQ(f.mnuFiltrar->ShortCut(), ShortCut('L', ssCtrl));
    EXPECT_EQ(f.mnuGerarCHT->Caption(), u"&Gerar CHT"_s);
    EXPECT_EQ(f.mnuGerarCHT->ShortCut(), ShortCut('G', ssCtrl));
    EXPECT_TRUE(f.N1->IsSeparator());

    // Grids: columns, titles (the field's label when none), widths.
    const auto titles = [](TDBGrid* g) {
        QStringList t;
        for (int i = 0; i < g->ColumnCount(); ++i)
            t << g->Column(i)->TitleCaption() + u'/' + QString::number(g->Column(i)->Width());
        return t;
    };
    EXPECT_EQ(titles(f.dbgPadrao).first(), u"Cliente/169"_s);
    EXPECT_EQ(titles(f.dbgPadrao)[5], u"Cobrança/57"_s) << "a hidden field still shows as a column";
    EXPECT_EQ(titles(f.dbgCHT)[1], u"Nr. CHT/45"_s);
    // A column without a width is as wide as its field, and no narrower
    // than its title.
    EXPECT_GE(f.dbgCHT->Column(0)->Width(), 60) << "Situação CHT over a one-letter field";
    EXPECT_EQ(f.dbgFuncionario->Column(0)->Width(), 64) << "a ten-character code";
    EXPECT_EQ(titles(f.dbgCSA)[0], u"Data/81"_s);
    EXPECT_EQ(titles(f.dbgCSA)[5].section(u'/', 0, 0), u"Inclusão"_s);
    EXPECT_EQ(f.dbgCSA->Column(4)->ButtonStyle(), TColumnButtonStyle::cbsEllipsis);
    EXPECT_TRUE(f.dbgFuncionario->HasOption(dgRowSelect));
    EXPECT_FALSE(f.dbgPadrao->HasOption(dgEditing));
    EXPECT_FALSE(f.dbgCHT->HasOption(dgIndicator));
    EXPECT_EQ(f.dbgCHT->Color(), clInfoBk);

    // Fields and messages.
    EXPECT_EQ(f.cdsAuxCSA.IndexFieldNames(), u"DTSERVPREST"_s);
    EXPECT_EQ(f.cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->EditMask(), u"!90:00;1; "_s);
    EXPECT_TRUE(f.cdsAuxCSA.FieldByName(u"QTHRTRAB"_s)->ReadOnly());
    EXPECT_EQ(f.cdsServPrest.FieldByName(u"VRHORACLIE"_s)->DisplayFormat(), u"#,###,##0.00"_s);
    EXPECT_EQ(f.cdsCSA.FieldCount(), 18);
    EXPECT_EQ(f.msgPadrao->Msg(u"CONF_GERAR_CHT"_s),
              u"Confirma a geração da CHT para todas as CSA´s mostradas na tela?"_s);
    EXPECT_EQ(
        f.qryOcorr.SQL.join(u'|'),
        u"SELECT|  CDGRPOCOR, CDOCORR, DSOCORR|FROM|  OCORRENCIA|ORDER BY|  CDGRPOCOR, CDOCORR"_s);
    EXPECT_EQ(dbvtf, 0);
    ASSERT_NE(stlMarcado, nullptr);
    EXPECT_TRUE(stlMarcado->isEmpty());
}

TEST_F(Module, TheScreenGoesOverTlsAndARefusedCertificateIsShownWithItsReason)
{
    const QString fixtures = QStringLiteral(APH_TLS_FIXTURES);
    TServerProcess tls(m_db->Spec(), {u"--tls-cert"_s, fixtures + u"/server.pem"_s, u"--tls-key"_s,
                                      fixtures + u"/server.key"_s});
    THostEnvironment env = HostEnvironment();
    env.WebPort = tls.Port();
    env.Tls = true;
    env.CaFile = fixtures + u"/other-ca.pem"_s;
    SetHostEnvironment(env);
    Perform([] { IniProc(); });
    ASSERT_EQ(desktop->errors.size(), 1);
    EXPECT_TRUE(desktop->errors[0].startsWith(u"O certificado do servidor 127.0.0.1:%1 não foi "
                                              "emitido pela autoridade certificadora "
                                              "configurada"_s.arg(tls.Port())))
        << desktop->errors[0].toStdString();
    EXPECT_EQ(frmAprovaHoras, nullptr);
    env.CaFile = fixtures + u"/ca.pem"_s;
    SetHostEnvironment(env);
    IniProc();
    EXPECT_TRUE(boIdCriado);
    EXPECT_EQ(desktop->errors.size(), 1) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(opens, QList<int>{tls.Port()});
}

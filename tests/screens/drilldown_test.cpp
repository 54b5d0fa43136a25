// From a contracted service down to the days of one CHT.
#include "tests/screens/world.h"

using namespace aph;
using namespace aph::test;

namespace {

using DrillDown = MarchScreen;

const double kStart = Day(2030, 3, 1);
const double kEnd = Day(2030, 3, 31);

} // namespace

TEST_F(DrillDown, ConfirmingTheFilterFillsTheFourLevels)
{
    OpenMarch();
    EXPECT_EQ(f->cdsServPrest.RecordCount(), 2);
    OpenTf1();
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(CallsOf("GetFunc").last().Params,
              (QJsonArray{kStart, kEnd, S("TC1"), S("DES"), S("TP1"), S("01"), S("001"), S("T"),
                          QString(), S("T"), S("T")}));
    EXPECT_EQ(CallsOf("GetCHT").last().Params,
              (QJsonArray{S("DES"), S("TP1"), S("01"), kStart, kEnd, S("TF1"), S("01"), S("T")}));
    // The row for the CSAs without CHT comes first and is current.
    ASSERT_EQ(f->cdsCHT.RecordCount(), 2);
    f->cdsCHT.First();
    EXPECT_EQ(f->cdsCHT.FieldByName(S("DSREFECHT"))->AsString(), S("CSA´s sem CHT Gerada"));
    EXPECT_EQ(CallsOf("GetCSA").last().Params,
              (QJsonArray{S("TC1"), S("TF1"), kStart, kEnd, S("DES"), S("TP1"), S("01"), QString(),
                          S("N"), S("01")}));
    EXPECT_EQ(Days(), (QStringList{S("11/03"), S("12/03"), S("13/03"), S("14/03")}))
        << "no gap days here";
    EXPECT_EQ(f->lblTotHoraTrab->Caption(), S("28:00"));
}

TEST_F(DrillDown, AGeneratedChtShowsItsCalendarGapsOnlyInTheWorkingCopy)
{
    OpenMarch();
    OpenTf1("T0001");
    EXPECT_EQ(CallsOf("GetCSA").last().Params[7].toString(), S("T0001"));
    EXPECT_EQ(CallsOf("GetCSA").last().Params[8].toString(), S("S"));
    EXPECT_EQ(Days(), (QStringList{S("01/03"), S("02/03-"), S("03/03-"), S("04/03")}));
    EXPECT_EQ(f->cdsCSA.RecordCount(), 2) << "the server copy keeps its two days";
    EXPECT_EQ(f->cdsAuxCSA.RecNo(), 1);
    EXPECT_EQ(f->cdsCSA.ChangeCount(), 0) << "gap days are nothing to save";
    EXPECT_EQ(f->lblTotHoraTrab->Caption(), S("15:30"));
    EXPECT_EQ(f->lblTotHoraFat->Caption(), S("00:00")) << "empty approvals add nothing";
    EXPECT_EQ(f->sbtAlterar->Enabled(), false) << "the focus is not in the days";
}

TEST_F(DrillDown, MovingInTheServicesReloadsEverythingBelow)
{
    OpenMarch();
    OpenTf1("T0001");
    const int loads = static_cast<int>(CallsOf("GetCSA").size());
    GoTo(f->dbgPadrao, "NRSERVCONT", "002");
    EXPECT_EQ(CallsOf("GetFunc").last().Params[6].toString(), S("002"));
    EXPECT_EQ(CallsOf("GetFunc").last().Params[3].toString(), S("SUP"));
    EXPECT_GT(CallsOf("GetCSA").size(), loads);
    // The package service has no CHT: only the row for the CSAs without one.
    ASSERT_EQ(f->cdsCHT.RecordCount(), 1);
    EXPECT_EQ(f->cdsCHT.FieldByName(S("DSREFECHT"))->AsString(), S("CSA´s sem CHT Gerada"));
    EXPECT_EQ(CallsOf("GetCSA").last().Params[8].toString(), S("N"));
    EXPECT_EQ(Days(), QStringList{S("06/03")});
    EXPECT_EQ(f->dbtNome->Text(), S("Cliente Teste Um"));
}

TEST_F(DrillDown, WithoutTheRowForCsasWithoutChtAnEmployeeWithNoChtClearsTheDays)
{
    AddCht(S("T0002"), S("TP1"), S("01"), S("001"), S("TF2"), S("02"), S("P"));
    m_db->Exec(S("UPDATE CSA SET NRSEQUCHT = 'T0002' WHERE CDFUNC = 'TF2'"));
    OpenMarch(false, true);
    OpenTf1("T0001");
    ASSERT_EQ(Days().size(), 4);
    // Someone else takes TF2's CHT away meanwhile.
    m_db->Exec(S("UPDATE CSA SET NRSEQUCHT = NULL WHERE CDFUNC = 'TF2'"));
    m_db->Exec(S("DELETE FROM CHT WHERE NRSEQUCHT = 'T0002'"));
    GoTo(f->dbgFuncionario, "CDFUNC", "TF2");
    EXPECT_TRUE(f->cdsCHT.IsEmpty());
    EXPECT_FALSE(f->cdsAuxCSA.Active()) << "no days of another employee stay on screen";
    EXPECT_EQ(f->lblTotHoraTrab->Caption(), QString());
    EXPECT_EQ(f->nedVrFaturar->Text(), QString());
}

TEST_F(DrillDown, TheToolbarFollowsTheDaysAndTheFocus)
{
    OpenMarch();
    OpenTf1("T0001");
    UserFocus(f->dbgCSA);
    EXPECT_TRUE(f->sbtAlterar->Enabled());
    EXPECT_TRUE(f->mnuAlterar->Enabled());
    EXPECT_TRUE(f->sbtProcurar->Enabled());
    UserFocus(f->dbgFuncionario);
    EXPECT_FALSE(f->sbtAlterar->Enabled()) << "focus in another grid";
    EXPECT_FALSE(f->mnuAlterar->Enabled());

    // A day in edit: only cancel and confirm, and the lists above locked.
    UserFocus(f->dbgCSA);
    f->dbgCSA->SetSelectedIndex(f->dbgCSA->ColumnIndex(S("QTHRAPRCOMIS")));
    UserType(*f, S("0700"));
    ASSERT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit);
    for (TControl* c : std::initializer_list<TControl*>{
             f->sbtIncluir, f->sbtExcluir, f->sbtAlterar, f->sbtProcurar, f->sbtVerificar,
             f->sbtFiltrar, f->sbtGerarCHT, f->mnuFiltrar, f->mnuGerarCHT, f->mnuVerificar})
        EXPECT_FALSE(c->Enabled()) << c->Name().toStdString();
    for (TControl* c : std::initializer_list<TControl*>{f->sbtCancelar, f->sbtConfirmar,
                                                        f->mnuCancelar, f->mnuConfirmar})
        EXPECT_TRUE(c->Enabled()) << c->Name().toStdString();
    for (TControl* c : std::initializer_list<TControl*>{f->dbgPadrao, f->dbgFuncionario, f->dbgCHT,
                                                        f->splDetalhe, f->splSubDetalhe})
        EXPECT_FALSE(c->Enabled()) << c->Name().toStdString();
    UserKey(*f, VK_ESCAPE);
    UserKey(*f, VK_ESCAPE);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(f->dbgPadrao->Enabled());
    EXPECT_TRUE(f->splSubDetalhe->Enabled());
    EXPECT_TRUE(f->sbtGerarCHT->Enabled());
    EXPECT_TRUE(f->sbtFiltrar->Enabled());
}

TEST_F(DrillDown, AFailedLoadOfDaysLeavesTheScreenUsable)
{
    OpenMarch();
    OpenTf1();
    failing = S("GetCSA");
    GoTo(f->dbgCHT, "NRSEQUCHT", "T0001");
    EXPECT_EQ(desktop->errors, QStringList{S("Falha de comunicação com o servidor de aplicação.")});
    EXPECT_EQ(Application()->BusyDepth(), 0);
    EXPECT_TRUE(static_cast<bool>(f->dtsPadrao->OnStateChange));
    EXPECT_TRUE(static_cast<bool>(f->cdsAuxCSA.BeforePost));
    EXPECT_FALSE(f->cdsAuxCSA.ControlsDisabled());
    failing.clear();
    GoTo(f->dbgCHT, "NRSEQUCHT", "");
    GoTo(f->dbgCHT, "NRSEQUCHT", "T0001");
    EXPECT_EQ(Days().size(), 4);
}

TEST_F(DrillDown, SearchWorksOnTheFocusedList)
{
    OpenMarch();
    OpenTf1();
    UserFocus(f->dbgFuncionario);
    desktop->searchPicks = {{S("NMFUNC"), S("Teste Funcionário Dois")}};
    UserClick(f->sbtProcurar);
    EXPECT_EQ(desktop->searches, QStringList{S("cdsFunc")});
    EXPECT_EQ(f->cdsFunc.FieldByName(S("CDFUNC"))->AsString(), S("TF2"));
    UserFocus(f->sbtFiltrar); // not a control that takes the focus
    UserFocus(f->dbgCSA);
    f->ActiveControl(); // the days grid
    desktop->searches.clear();
    f->FocusControl(nullptr);
    f->sbtProcurarClick(f->sbtProcurar);
    EXPECT_TRUE(desktop->searches.isEmpty()) << "no list has the focus: nothing happens";
}

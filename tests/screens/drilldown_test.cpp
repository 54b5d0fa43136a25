// From a contracted service down to the days of one CHT.
#include "tests/screens/world.h"

using namespace Qt::StringLiterals;

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
              (QJsonArray{kStart, kEnd, u"TC1"_s, u"DES"_s, u"TP1"_s, u"01"_s, u"001"_s, u"T"_s,
                          QString(), u"T"_s, u"T"_s}));
    EXPECT_EQ(CallsOf("GetCHT").last().Params,
              (QJsonArray{u"DES"_s, u"TP1"_s, u"01"_s, kStart, kEnd, u"TF1"_s, u"01"_s, u"T"_s}));
    // The row for the CSAs without CHT comes first and is current.
    ASSERT_EQ(f->cdsCHT.RecordCount(), 2);
    f->cdsCHT.First();
    EXPECT_EQ(f->cdsCHT.FieldByName(u"DSREFECHT"_s)->AsString(), u"CSA´s sem CHT Gerada"_s);
    EXPECT_EQ(CallsOf("GetCSA").last().Params,
              (QJsonArray{u"TC1"_s, u"TF1"_s, kStart, kEnd, u"DES"_s, u"TP1"_s, u"01"_s, QString(),
                          u"N"_s, u"01"_s}));
    EXPECT_EQ(Days(), (QStringList{u"11/03"_s, u"12/03"_s, u"13/03"_s, u"14/03"_s}))
        << "no gap days here";
    EXPECT_EQ(f->lblTotHoraTrab->Caption(), u"28:00"_s);
}

TEST_F(DrillDown, AGeneratedChtShowsItsCalendarGapsOnlyInTheWorkingCopy)
{
    OpenMarch();
    OpenTf1("T0001");
    EXPECT_EQ(CallsOf("GetCSA").last().Params[7].toString(), u"T0001"_s);
    EXPECT_EQ(CallsOf("GetCSA").last().Params[8].toString(), u"S"_s);
    EXPECT_EQ(Days(), (QStringList{u"01/03"_s, u"02/03-"_s, u"03/03-"_s, u"04/03"_s}));
    EXPECT_EQ(f->cdsCSA.RecordCount(), 2) << "the server copy keeps its two days";
    EXPECT_EQ(f->cdsAuxCSA.RecNo(), 1);
    EXPECT_EQ(f->cdsCSA.ChangeCount(), 0) << "gap days are nothing to save";
    EXPECT_EQ(f->lblTotHoraTrab->Caption(), u"15:30"_s);
    EXPECT_EQ(f->lblTotHoraFat->Caption(), u"00:00"_s) << "empty approvals add nothing";
    EXPECT_EQ(f->sbtAlterar->Enabled(), false) << "the focus is not in the days";
}

TEST_F(DrillDown, MovingInTheServicesReloadsEverythingBelow)
{
    OpenMarch();
    OpenTf1("T0001");
    const int loads = static_cast<int>(CallsOf("GetCSA").size());
    GoTo(f->dbgPadrao, "NRSERVCONT", "002");
    EXPECT_EQ(CallsOf("GetFunc").last().Params[6].toString(), u"002"_s);
    EXPECT_EQ(CallsOf("GetFunc").last().Params[3].toString(), u"SUP"_s);
    EXPECT_GT(CallsOf("GetCSA").size(), loads);
    // The package service has no CHT: only the row for the CSAs without one.
    ASSERT_EQ(f->cdsCHT.RecordCount(), 1);
    EXPECT_EQ(f->cdsCHT.FieldByName(u"DSREFECHT"_s)->AsString(), u"CSA´s sem CHT Gerada"_s);
    EXPECT_EQ(CallsOf("GetCSA").last().Params[8].toString(), u"N"_s);
    EXPECT_EQ(Days(), QStringList{u"06/03"_s});
    EXPECT_EQ(f->dbtNome->Text(), u"Cliente Teste Um"_s);
}

TEST_F(DrillDown, WithoutTheRowForCsasWithoutChtAnEmployeeWithNoChtClearsTheDays)
{
    AddCht(u"T0002"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"P"_s);
    m_db->Exec(u"UPDATE CSA SET NRSEQUCHT = 'T0002' WHERE CDFUNC = 'TF2'"_s);
    OpenMarch(false, true);
    OpenTf1("T0001");
    ASSERT_EQ(Days().size(), 4);
    // Someone else takes TF2's CHT away meanwhile.
    m_db->Exec(u"UPDATE CSA SET NRSEQUCHT = NULL WHERE CDFUNC = 'TF2'"_s);
    m_db->Exec(u"DELETE FROM CHT WHERE NRSEQUCHT = 'T0002'"_s);
    GoTo(f->dbgFuncionario, "CDFUNC", "TF2");
    EXPECT_TRUE(f->cdsCHT.IsEmpty());
    EXPECT_FALSE(f->cdsAuxCSA.Active()) << "no days of another employee stay on screen";
    EXPECT_EQ(f->lblTotHoraTrab->Caption(), QString());
    EXPECT_EQ(f->nedVrFaturar->Text(), QString());
}

TEST_F(DrillDown, TheToolbarFollowsTheDaysWhenTheyComeBackAfterBeingCleared)
{
    AddCht(u"T0002"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"P"_s);
    m_db->Exec(u"UPDATE CSA SET NRSEQUCHT = 'T0002' WHERE CDFUNC = 'TF2'"_s);
    OpenMarch(false, true);
    OpenTf1("T0001");
    m_db->Exec(u"UPDATE CSA SET NRSEQUCHT = NULL WHERE CDFUNC = 'TF2'"_s);
    m_db->Exec(u"DELETE FROM CHT WHERE NRSEQUCHT = 'T0002'"_s);
    GoTo(f->dbgFuncionario, "CDFUNC", "TF2");
    ASSERT_FALSE(f->cdsAuxCSA.Active());
    EXPECT_FALSE(f->sbtProcurar->Enabled()) << "no days: nothing to search";
    // The days come back while their display is suspended: the state report
    // of its resumption is what brings the toolbar along.
    GoTo(f->dbgFuncionario, "CDFUNC", "TF1");
    ASSERT_EQ(Days().size(), 4);
    EXPECT_TRUE(f->sbtProcurar->Enabled());
    EXPECT_TRUE(f->mnuProcurar->Enabled());
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
    f->dbgCSA->SetSelectedIndex(f->dbgCSA->ColumnIndex(u"QTHRAPRCOMIS"_s));
    UserType(*f, u"0700"_s);
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
    failing = u"GetCSA"_s;
    GoTo(f->dbgCHT, "NRSEQUCHT", "T0001");
    EXPECT_EQ(desktop->errors, QStringList{u"Falha de comunicação com o servidor de aplicação."_s});
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
    desktop->searchPicks = {{u"NMFUNC"_s, u"Teste Funcionário Dois"_s}};
    UserClick(f->sbtProcurar);
    EXPECT_EQ(desktop->searches, QStringList{u"cdsFunc"_s});
    EXPECT_EQ(f->cdsFunc.FieldByName(u"CDFUNC"_s)->AsString(), u"TF2"_s);
    UserFocus(f->sbtFiltrar); // not a control that takes the focus
    UserFocus(f->dbgCSA);
    f->ActiveControl(); // the days grid
    desktop->searches.clear();
    f->FocusControl(nullptr);
    f->sbtProcurarClick(f->sbtProcurar);
    EXPECT_TRUE(desktop->searches.isEmpty()) << "no list has the focus: nothing happens";
}

// Approving days in the grid, saving each one, and generating CHTs.
#include "tests/screens/world.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct Editing : MarchScreen
{
    // Opens TF1's days without CHT and puts the cursor on a day and column.
    void Open(const char* cht = "")
    {
        OpenMarch();
        OpenTf1(cht);
        UserFocus(f->dbgCSA);
    }
    QString Column() const { return f->dbgCSA->SelectedField()->FieldName(); }
    double Field(const char* name) const
    {
        return f->cdsAuxCSA.FieldByName(QString::fromUtf8(name))->AsFloat();
    }
    // What the server holds for a day of TF1 on service 001.
    QVariantList Stored(int day)
    {
        const QList<QVariantList> rows = m_db->Rows(
            u"SELECT QTHRAPROFATU, QTHRAPRCOMIS, CDOCORR, CDGRPOCOR FROM CSA WHERE CDFUNC = 'TF1' "
            "AND NRSERVCONT = '001' AND DTSERVPREST = ?"_s,
            {static_cast<qint64>(Day(2030, 3, day))});
        return rows.isEmpty() ? QVariantList() : rows.first();
    }
    int Saves() { return static_cast<int>(CallsOf("SetCSA").size()); }
};

} // namespace

TEST_F(Editing, BilledHoursAboveTheHoursWorkedAreRefusedOnLeavingTheColumn)
{
    Open();
    At(11, "QTHRAPROFATU"); // 8 hours worked
    UserType(*f, u"0900"_s);
    UserKey(*f, VK_TAB);
    EXPECT_EQ(desktop->errors, QStringList{f->msgPadrao->Msg(u"Hr_Norm<"_s)});
    EXPECT_EQ(Column(), u"QTHRAPROFATU"_s) << "the cursor stays";
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit);
    UserKey(*f, VK_BACK);
    UserKey(*f, VK_BACK);
    UserKey(*f, VK_BACK);
    UserKey(*f, VK_BACK);
    UserType(*f, u"0800"_s);
    UserKey(*f, VK_TAB);
    EXPECT_EQ(desktop->errors.size(), 1) << "equal passes";
    EXPECT_EQ(Column(), u"QTHRAPRCOMIS"_s);
}

TEST_F(Editing, CommissionAboveTheHoursWorkedRefusesThePost)
{
    Open();
    At(11, "QTHRAPRCOMIS");
    UserType(*f, u"0830"_s);
    UserKey(*f, VK_DOWN);
    EXPECT_EQ(desktop->errors, QStringList{f->msgPadrao->Msg(u"Hr_Aprov<"_s)});
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit);
    EXPECT_EQ(Saves(), 0);
    EXPECT_EQ(f->cdsCSA.State(), TDataSetState::dsBrowse) << "the server copy leaves editing";
    EXPECT_TRUE(Stored(11)[1].isNull()) << "nothing reached the server";
}

TEST_F(Editing, CommissionBelowTheHoursWorkedNeedsAnOccurrence)
{
    Open();
    At(12, "QTHRAPRCOMIS"); // 7.5 worked
    UserType(*f, u"0700"_s);
    UserKey(*f, VK_DOWN);
    EXPECT_EQ(desktop->errors, QStringList{u"Ocorrência deve ser informada."_s});
    EXPECT_EQ(Column(), u"DSOCORR"_s) << "the cursor goes to the occurrence";
    EXPECT_EQ(Saves(), 0);
    // Typing does nothing in the occurrence; the picker sets it.
    UserType(*f, u"x"_s);
    EXPECT_TRUE(f->cdsAuxCSA.FieldByName(u"DSOCORR"_s)->IsNull());
    desktop->rowPicks = {0};
    Input([&] { f->dbgCSA->ClickEditButton(); });
    EXPECT_EQ(desktop->pickRowTitles, QStringList{u"Ocorrência"_s});
    EXPECT_FALSE(f->cdsAuxCSA.FieldByName(u"CDOCORR"_s)->IsNull());
    UserKey(*f, VK_DOWN);
    EXPECT_EQ(desktop->errors.size(), 1);
    EXPECT_EQ(Saves(), 1);
    const QVariantList stored = Stored(12);
    EXPECT_EQ(stored[0].toDouble(), 7.5) << "billed takes the hours worked";
    EXPECT_EQ(stored[1].toDouble(), 7.0);
    EXPECT_FALSE(stored[2].toString().isEmpty());
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(f->cdsCSA.ChangeCount(), 0) << "saved and merged";
    EXPECT_TRUE(f->dbgPadrao->Enabled());
    EXPECT_EQ(f->lblTotHoraComis->Caption(), u"07:00"_s);
}

TEST_F(Editing, LowerBilledHoursNeedNoOccurrence)
{
    Open();
    At(12, "QTHRAPROFATU");
    UserType(*f, u"0700"_s);
    UserKey(*f, VK_DOWN);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(Stored(12)[0].toDouble(), 7.0);
    EXPECT_EQ(Stored(12)[1].toDouble(), 7.5);
}

TEST_F(Editing, ComparisonsAreOnFiveDecimals)
{
    Open();
    At(13, "QTHRAPROFATU"); // 7.49999 worked, shown as 07:30
    EXPECT_EQ(f->cdsAuxCSA.FieldByName(u"QTHRTRAB"_s)->DisplayText(), u"07:30"_s);
    UserType(*f, u"0730"_s);
    UserKey(*f, VK_TAB);
    EXPECT_EQ(desktop->errors, QStringList{f->msgPadrao->Msg(u"Hr_Norm<"_s)});
}

TEST_F(Editing, TheScreenAndTheServerRoundTheHoursWorkedAlike)
{
    // 2.099995 hours worked round to 2.1 on five decimals, so 02:06 is
    // within them and must be saved; 2.09999 does not, so it is refused.
    const auto worked = [this](int day, double hours) {
        m_db->Exec(u"UPDATE CSA SET QTHRTRAB = ? WHERE CDFUNC = 'TF1' AND NRSERVCONT = '001' "
                   "AND DTSERVPREST = ?"_s,
                   {hours, static_cast<qint64>(Day(2030, 3, day))});
    };
    worked(12, 2.099995);
    worked(14, 2.09999);
    Open();
    At(12, "QTHRAPROFATU");
    UserType(*f, u"0206"_s);
    UserKey(*f, VK_DOWN);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(Stored(12)[0].toDouble(), 2.1);

    At(14, "QTHRAPROFATU");
    UserType(*f, u"0206"_s);
    UserKey(*f, VK_TAB);
    EXPECT_EQ(desktop->errors, QStringList{f->msgPadrao->Msg(u"Hr_Norm<"_s)});
    EXPECT_TRUE(Stored(14)[0].isNull());
}

TEST_F(Editing, PostingUntypedApprovalsStoresTheHoursWorked)
{
    Open();
    At(14, "QTHRAPROFATU");
    UserClick(f->sbtAlterar);
    ASSERT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit);
    UserClick(f->sbtConfirmar);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(Stored(14)[0].toDouble(), 5.0);
    EXPECT_EQ(Stored(14)[1].toDouble(), 5.0);
    EXPECT_EQ(Saves(), 1);
}

TEST_F(Editing, GapDaysTakeNoTypingAndTheirPostSendsNothing)
{
    Open("T0001");
    At(2, "QTHRAPROFATU");
    UserType(*f, u"0100"_s);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    At(2, "DSOCORR");
    UserKey(*f, VK_BACK); // emptying the occurrence works on any day
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit);
    UserClick(f->sbtConfirmar);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(Saves(), 0);
    EXPECT_EQ(f->cdsCSA.RecordCount(), 2);
}

TEST_F(Editing, RowsAreNeverAddedOrRemovedFromTheKeyboard)
{
    Open("T0001");
    At(4, "QTHRAPROFATU");
    for (auto [key, shift] : {std::pair{VK_INSERT, ssNone},
                              {VK_INSERT, ssCtrl},
                              {VK_DOWN, ssNone},
                              {VK_DELETE, ssCtrl}})
        UserKey(*f, key, shift);
    EXPECT_EQ(f->cdsAuxCSA.RecordCount(), 4);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(desktop->questions.isEmpty()) << "no delete was even asked";
    // Tab on the last row's occurrence stays there.
    At(4, "DSOCORR");
    UserKey(*f, VK_TAB);
    EXPECT_EQ(Column(), u"DSOCORR"_s);
    EXPECT_EQ(f->cdsAuxCSA.RecNo(), 4);
}

TEST_F(Editing, BackspaceInTheOccurrenceEmptiesGroupCodeAndDescription)
{
    m_db->Exec(u"UPDATE CSA SET CDOCORR = '01', CDGRPOCOR = '01' WHERE DTSERVPREST = ?"_s,
               {static_cast<qint64>(Day(2030, 3, 11))});
    Open();
    At(11, "DSOCORR");
    ASSERT_FALSE(f->cdsAuxCSA.FieldByName(u"CDOCORR"_s)->IsNull());
    UserKey(*f, VK_BACK);
    for (const char* field : {"CDOCORR", "CDGRPOCOR", "DSOCORR"})
        EXPECT_TRUE(f->cdsAuxCSA.FieldByName(QString::fromUtf8(field))->IsNull()) << field;
    UserKey(*f, VK_UP);
    EXPECT_TRUE(Stored(11)[2].isNull()) << "the cleared occurrence was saved";
}

TEST_F(Editing, OnlyApprovalsAndTheOccurrenceTakeEdits)
{
    Open();
    for (const char* column : {"DTSERVPREST", "QTHRTRAB", "INCLUSAO"}) {
        At(11, column);
        UserType(*f, u"1"_s);
        EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse) << column;
        EXPECT_FALSE(f->dbgCSA->HasOption(dgEditing)) << column;
    }
    // A package service: no billed hours, but commission and occurrence.
    GoTo(f->dbgPadrao, "NRSERVCONT", "002");
    UserFocus(f->dbgCSA);
    At(6, "QTHRAPROFATU");
    UserType(*f, u"0100"_s);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    At(6, "QTHRAPRCOMIS");
    UserType(*f, u"0300"_s);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit);
}

TEST_F(Editing, AnApprovedOrBilledChtChangesNothingAndSaysNothing)
{
    for (const char* status : {"A", "R"}) {
        SCOPED_TRACE(status);
        m_db->Exec(u"UPDATE CHT SET IDSTATUSCHT = ? WHERE NRSEQUCHT = 'T0001'"_s,
                   {QString::fromUtf8(status)});
        if (!f)
            Open("T0001");
        else {
            UserClick(f->sbtVerificar);
            OpenTf1("T0001");
            UserFocus(f->dbgCSA);
        }
        At(1, "QTHRAPROFATU");
        UserType(*f, u"0500"_s);
        At(1, "DSOCORR");
        UserKey(*f, VK_BACK);
        desktop->rowPicks = {0};
        Input([&] { f->dbgCSA->ClickEditButton(); });
        EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
        EXPECT_TRUE(desktop->errors.isEmpty());
        EXPECT_EQ(Saves(), 0);
    }
}

TEST_F(Editing, ALockedChtSaysWhyUnderItsDaysBeforeAnyKey)
{
    Open();
    EXPECT_FALSE(f->lblBloqueio->Visible()) << "days without CHT take typing";
    for (const auto& [status, key] :
         {std::pair{"A", "BLOQ_APROVADA"}, {"R", "BLOQ_FATURADA"}, {"P", ""}}) {
        SCOPED_TRACE(status);
        m_db->Exec(u"UPDATE CHT SET IDSTATUSCHT = ? WHERE NRSEQUCHT = 'T0001'"_s,
                   {QString::fromUtf8(status)});
        UserClick(f->sbtVerificar);
        OpenTf1("T0001");
        const QString expected = *key ? f->msgPadrao->Msg(QString::fromUtf8(key)) : QString();
        EXPECT_EQ(f->lblBloqueio->Visible(), !expected.isEmpty());
        EXPECT_EQ(f->lblBloqueio->Caption(), expected);
        EXPECT_TRUE(desktop->errors.isEmpty());
    }
    // A package service's billed hours never change.
    GoTo(f->dbgPadrao, "NRSERVCONT", "002");
    GoTo(f->dbgFuncionario, "CDFUNC", "TF1");
    EXPECT_TRUE(f->lblBloqueio->Visible());
    EXPECT_EQ(f->lblBloqueio->Caption(), f->msgPadrao->Msg(u"BLOQ_PACOTE"_s));
    GoTo(f->dbgPadrao, "NRSERVCONT", "001");
    EXPECT_FALSE(f->lblBloqueio->Visible());
}

TEST_F(Editing, ASaveTheServerRefusesKeepsTheTypedValuesAndLosesNothing)
{
    Open();
    At(12, "QTHRAPROFATU");
    // Another user approves the same day meanwhile.
    m_db->Exec(
        u"UPDATE CSA SET QTHRAPROFATU = 6, QTHRAPRCOMIS = 6, CDOCORR = '01', CDGRPOCOR = '01' "
        "WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
        {static_cast<qint64>(Day(2030, 3, 12))});
    UserType(*f, u"0700"_s);
    UserKey(*f, VK_DOWN);
    ASSERT_EQ(desktop->errors.size(), 1);
    EXPECT_TRUE(desktop->errors[0].contains(u"12/03/2030"_s)) << desktop->errors[0].toStdString();
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit) << "the row stays in edit";
    EXPECT_EQ(Field("QTHRAPROFATU"), 7.0) << "with the typed value";
    EXPECT_EQ(f->cdsCSA.ChangeCount(), 0) << "nothing left pending to go out with another day";
    EXPECT_FALSE(f->dbgPadrao->Enabled());
    EXPECT_EQ(Stored(12)[0].toDouble(), 6.0) << "the other user's change stands";
    UserKey(*f, VK_ESCAPE);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(f->cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->IsNull())
        << "cancelling brings back what was loaded";
    // Another day saves alone.
    At(14, "QTHRAPROFATU");
    UserType(*f, u"0400"_s);
    UserKey(*f, VK_UP);
    EXPECT_EQ(desktop->errors.size(), 1);
    const QJsonObject delta = CallsOf("SetCSA").last().Params[0].toObject();
    EXPECT_EQ(delta.value(u"records").toArray().size(), 1);
    EXPECT_EQ(Stored(14)[0].toDouble(), 4.0);
}

TEST_F(Editing, GeneratingAsksFirstThenBillsAndShowsTheNewCht)
{
    Open();
    desktop->answers = {mrNo};
    GoOnAtThePreview();
    UserClick(f->sbtGerarCHT);
    EXPECT_EQ(desktop->questions.last(),
              u"Confirma a geração da CHT para todas as CSA´s mostradas na tela?"_s);
    EXPECT_TRUE(CallsOf("SetCHT").isEmpty());
    const int reloads = static_cast<int>(CallsOf("GetServPrest").size());

    desktop->answers = {mrYes};
    GoOnAtThePreview();
    UserKey(*f, 'G', ssCtrl); // the menu's shortcut
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    ASSERT_EQ(CallsOf("SetCHT").size(), 1);
    EXPECT_EQ(CallsOf("SetCHT")[0].Params,
              (QJsonArray{Day(2030, 3, 1), Day(2030, 3, 31), u"ANA"_s, u"T"_s, u"T"_s, u"T"_s,
                          u"T"_s, u"T"_s, u"T"_s}));
    EXPECT_EQ(CallsOf("GetServPrest").size(), reloads + 1) << "the screen reloads";
    EXPECT_EQ(f->ActiveControl(), f->dbgPadrao);
    // The status bar says what was made, counted from the database.
    const auto count = [this](const char* sql) {
        return m_db->Scalar(QString::fromUtf8(sql)).toInt();
    };
    const int made = count("SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA'");
    ASSERT_GT(made, 0);
    EXPECT_EQ(desktop->statuses,
              QStringList{u"CHTs geradas: %1, para %2 funcionário(s), com %3 CSA(s)."_s.arg(made)
                              .arg(count("SELECT COUNT(DISTINCT CDFUNC || CDEMPRESA) FROM CHT "
                                         "WHERE CDOPERINCL = 'ANA'"))
                              .arg(count("SELECT COUNT(*) FROM CSA A JOIN CHT H ON "
                                         "H.NRSEQUCHT = A.NRSEQUCHT WHERE H.CDOPERINCL = 'ANA'"))});
    OpenTf1();
    QStringList chts;
    for (int i = 0; i < f->cdsCHT.RecordCount(); ++i) {
        TClientDataSet::ActiveRecordScope scope(f->cdsCHT, i);
        chts << f->cdsCHT.FieldByName(u"IDSTATUSCHT"_s)->AsString() +
                    f->cdsCHT.FieldByName(u"NRSEQUCHT"_s)->AsString();
    }
    EXPECT_EQ(chts.size(), 3) << chts.join(u' ').toStdString();
    EXPECT_TRUE(Days().isEmpty()) << "no day of TF1 is left without CHT";
    const QVariant billed =
        m_db->Scalar(u"SELECT COUNT(*) FROM CSA WHERE CDFUNC = 'TF1' AND NRSEQUCHT IS NULL"_s);
    EXPECT_EQ(billed.toInt(), 0);

    // Generating again finds nothing left and says so.
    desktop->answers = {mrYes};
    UserClick(f->sbtGerarCHT);
    EXPECT_EQ(desktop->statuses.last(), f->msgPadrao->Msg(u"CHT_NENHUMA"_s));
}

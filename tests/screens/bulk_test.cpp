// "Aprovar dias pendentes": the empty approvals of the CHT on screen take
// the hours worked, in one save, after a question.
#include "tests/screens/world.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// TF1's CHT T0001 with a mix of days: the 1st (8h) and 4th (7.5h) empty
// as loaded by the world; the 5th approved with an occurrence; the 6th with
// a commission below the hours and no occurrence, its billed hours empty
// (its post would need an occurrence); the 7th (6h) empty.
struct BulkApproval : MarchScreen
{
    void SetUp() override
    {
        MarchScreen::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 5), 8, u"T0001"_s, 6,
               6);
        m_db->Exec(u"UPDATE CSA SET CDOCORR = '01', CDGRPOCOR = '01' WHERE CDFUNC = 'TF1' AND "
                   "DTSERVPREST = ?"_s,
                   {static_cast<qint64>(Day(2030, 3, 5))});
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 6), 8, u"T0001"_s, {},
               5);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 7), 6, u"T0001"_s);
    }
    void Open()
    {
        OpenMarch();
        OpenTf1("T0001");
        UserFocus(f->dbgCSA);
    }
    // Billed and commission hours the server holds for a day of TF1.
    QString Stored(int day)
    {
        const QList<QVariantList> rows =
            m_db->Rows(u"SELECT QTHRAPROFATU, QTHRAPRCOMIS FROM CSA WHERE CDFUNC = 'TF1' AND "
                       "NRSERVCONT = '001' AND DTSERVPREST = ?"_s,
                       {static_cast<qint64>(Day(2030, 3, day))});
        if (rows.isEmpty())
            return u"none"_s;
        const auto text = [](const QVariant& v) {
            return v.isNull() ? u"-"_s : QString::number(v.toDouble());
        };
        return text(rows[0][0]) + u'/' + text(rows[0][1]);
    }
    QStringList StoredMonth()
    {
        QStringList all;
        for (int day : {1, 4, 5, 6, 7})
            all << u"%1=%2"_s.arg(day).arg(Stored(day));
        return all;
    }
    int Saves() { return static_cast<int>(CallsOf("SetCSA").size()); }
};

} // namespace

TEST_F(BulkApproval, TheEntryComesAfterGerarChtApartAndFollowsItsEnabling)
{
    Open();
    const TMenuItem* menu = f->mnuManutencao;
    QStringList after;
    bool seen = false;
    for (int i = 0; i < menu->ControlCount(); ++i) {
        const auto* item = dynamic_cast<const TMenuItem*>(menu->Control(i));
        if (seen && item)
            after << item->Name();
        seen = seen || item == f->mnuGerarCHT;
    }
    EXPECT_EQ(after, (QStringList{u"N2"_s, u"mnuAprovarPendentes"_s, u"mnuHistoricoDia"_s,
                                  u"mnuDemonstrativoCHT"_s, u"mnuCHTsGeradas"_s, u"mnuPendencias"_s,
                                  u"mnuAprovarCHT"_s, u"mnuReabrirCHT"_s, u"mnuFaturarCHT"_s,
                                  u"mnuDesfazerFaturamento"_s, u"mnuAceiteCHT"_s}));
    EXPECT_TRUE(f->N2->IsSeparator());
    EXPECT_EQ(f->mnuAprovarPendentes->Caption(), f->msgPadrao->Msg(u"MNU_APROVAR_PEND"_s));
    EXPECT_EQ(f->mnuGerarCHT->ShortCut(), ShortCut('G', ssCtrl)) << "the old entries as they were";
    // No two entries of the screen share a shortcut.
    QList<TShortCut> keys;
    for (int i = 0; i < menu->ControlCount(); ++i)
        if (const auto* item = dynamic_cast<const TMenuItem*>(menu->Control(i));
            item && item->ShortCut().Key != 0) {
            EXPECT_FALSE(keys.contains(item->ShortCut())) << item->Name().toStdString();
            keys << item->ShortCut();
        }
    for (TMenuItem* item : {f->mnuAprovarPendentes, f->mnuHistoricoDia, f->mnuDemonstrativoCHT})
        EXPECT_TRUE(item->Enabled()) << item->Name().toStdString();
    // A day in edit disables them, with Gerar CHT.
    At(7, "QTHRAPROFATU");
    UserType(*f, u"05"_s);
    ASSERT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit);
    EXPECT_FALSE(f->sbtGerarCHT->Enabled());
    for (TMenuItem* item : {f->mnuAprovarPendentes, f->mnuHistoricoDia, f->mnuDemonstrativoCHT})
        EXPECT_FALSE(item->Enabled()) << item->Name().toStdString();
    UserKey(*f, VK_ESCAPE); // the typing
    UserKey(*f, VK_ESCAPE); // the row
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(f->mnuAprovarPendentes->Enabled(), f->sbtGerarCHT->Enabled());
    EXPECT_TRUE(f->mnuAprovarPendentes->Enabled());
}

TEST_F(BulkApproval, AskedNoChangesNothingAskedYesSavesThePendingDaysInOneSave)
{
    Open();
    const QStringList before = StoredMonth();
    At(5, "QTHRTRAB");
    desktop->answers = {mrNo};
    UserClick(f->mnuAprovarPendentes);
    ASSERT_EQ(desktop->questions.size(), 1);
    // The 1st, 4th and 7th: 8 + 7.5 + 6 hours; the 6th needs an occurrence.
    EXPECT_EQ(desktop->questions[0],
              u"Aprovar 3 dias pendentes, 21:30 horas? 1 dia(s) ficam de fora: precisam de "
              "ocorrência."_s);
    EXPECT_EQ(Saves(), 0);
    EXPECT_EQ(StoredMonth(), before);

    desktop->answers = {mrYes};
    UserKey(*f, 'A', ssCtrl | ssShift); // the entry's shortcut
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    ASSERT_EQ(Saves(), 1) << "one save for every day";
    const QJsonObject delta = CallsOf("SetCSA")[0].Params[0].toObject();
    EXPECT_EQ(delta.value(u"records").toArray().size(), 3);
    EXPECT_EQ(StoredMonth(),
              (QStringList{u"1=8/8"_s, u"4=7.5/7.5"_s, u"5=6/6"_s, u"6=-/5"_s, u"7=6/6"_s}));
    // The screen shows what was saved and adds it up; the cursor stays.
    EXPECT_EQ(OleToDate(f->cdsAuxCSA.FieldByName(u"DTSERVPREST"_s)->AsDateTime()).day(), 5);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(f->dbgPadrao->Enabled()) << "no grid left locked as for an edit";
    EXPECT_EQ(f->cdsCSA.ChangeCount(), 0);
    EXPECT_EQ(f->lblTotHoraFat->Caption(), u"27:30"_s) << "8 + 7.5 + 6 + 6, the 6th still empty";
    EXPECT_EQ(f->lblTotHoraComis->Caption(), u"32:30"_s) << "8 + 7.5 + 6 + 5 + 6";
    EXPECT_EQ(desktop->statuses.last(), u"Dias aprovados: 3, com 21:30 horas."_s);

    // Nothing is left pending but the day that needs an occurrence.
    desktop->answers = {mrYes};
    UserClick(f->mnuAprovarPendentes);
    EXPECT_EQ(desktop->questions.last(),
              u"Não há dias pendentes de aprovação. 1 dia(s) ficam de fora: precisam de "
              "ocorrência."_s);
    EXPECT_EQ(Saves(), 1);
}

TEST_F(BulkApproval, AServerRefusalLeavesTheServerCopyWhole)
{
    Open();
    // Another user approves the 4th meanwhile: the save is refused whole.
    m_db->Exec(u"UPDATE CSA SET QTHRAPROFATU = 7, QTHRAPRCOMIS = 7, CDOCORR = '01', "
               "CDGRPOCOR = '01' WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
               {static_cast<qint64>(Day(2030, 3, 4))});
    desktop->answers = {mrYes};
    UserClick(f->mnuAprovarPendentes);
    ASSERT_EQ(desktop->errors.size(), 1);
    EXPECT_TRUE(desktop->errors[0].contains(u"04/03/2030"_s)) << desktop->errors[0].toStdString();
    EXPECT_EQ(Stored(1), u"-/-"_s) << "nothing of the refused save was stored";
    EXPECT_EQ(f->cdsCSA.ChangeCount(), 0) << "nothing left to go out with a later save";
    int empty = 0;
    for (int i = 0; i < f->cdsAuxCSA.RecordCount(); ++i) {
        TClientDataSet::ActiveRecordScope row(f->cdsAuxCSA, i);
        empty += !f->cdsAuxCSA.FieldByName(u"QTHRTRAB"_s)->IsNull() &&
                 f->cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->IsNull();
    }
    EXPECT_EQ(empty, 4) << "the days on screen stay as loaded";
}

TEST_F(BulkApproval, AnApprovedOrBilledChtDoesNothingAndSaysNothing)
{
    for (const char* status : {"A", "R"}) {
        SCOPED_TRACE(status);
        m_db->Exec(u"UPDATE CHT SET IDSTATUSCHT = ? WHERE NRSEQUCHT = 'T0001'"_s,
                   {QString::fromUtf8(status)});
        if (!f)
            Open();
        else {
            UserClick(f->sbtVerificar);
            OpenTf1("T0001");
        }
        desktop->answers = {mrYes};
        UserClick(f->mnuAprovarPendentes);
        EXPECT_TRUE(desktop->questions.isEmpty());
        EXPECT_TRUE(desktop->errors.isEmpty());
        EXPECT_EQ(Saves(), 0);
        EXPECT_EQ(Stored(1), u"-/-"_s);
    }
}

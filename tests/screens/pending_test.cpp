// Pending days: approvals still empty are drawn italic and grey (red
// italic on overtime), and the status bar counts them for the CHT on screen.
#include "tests/screens/world.h"
#include "tests/support/ui_driver.h"

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// TF1's CHT T0001: the 1st (8h) and 4th (7.5h) empty as loaded by the
// world; the 5th approved; the 6th with only the commission given; the 8th
// (a Friday, 10h) empty and over eight hours. Without CHT, the 11th to the
// 15th, all empty.
struct PendingDays : MarchScreen
{
    void SetUp() override
    {
        MarchScreen::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 5), 8, u"T0001"_s, 8,
               8);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 6), 8, u"T0001"_s, {},
               5);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 8), 10, u"T0001"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 15), 3);
    }
    int Row(int day)
    {
        TClientDataSet& ds = f->cdsAuxCSA;
        for (int i = 0; i < ds.RecordCount(); ++i) {
            TClientDataSet::ActiveRecordScope scope(ds, i);
            if (OleToDate(ds.FieldByName(u"DTSERVPREST"_s)->AsDateTime()).day() == day)
                return i;
        }
        return -1;
    }
    // How the hours of a cell are last written: "italic grey", "normal"...
    QString Look(int row, const char* column)
    {
        RecordingCanvas canvas;
        f->dbgCSA->PaintCell(canvas, row, f->dbgCSA->ColumnIndex(QString::fromUtf8(column)),
                             QRect(0, 0, 80, 18));
        if (canvas.texts.isEmpty() || canvas.texts.last().text.isEmpty())
            return u"nothing"_s;
        const auto& t = canvas.texts.last();
        const QString colour = t.color == clRed                     ? u"red"_s
                               : t.color == clGray                  ? u"grey"_s
                               : t.color == f->dbgCSA->Font().Color ? u"normal"_s
                                                                    : u"other"_s;
        return t.italic ? colour + u" italic"_s : colour;
    }
};

} // namespace

TEST_F(PendingDays, EmptyApprovalsAreItalicGreyOrRedAndCounted)
{
    OpenMarch();
    OpenTf1("T0001");
    ASSERT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    struct Case
    {
        int day;
        const char *worked, *billed, *commission;
    };
    const Case cases[] = {
        {1, "normal", "grey italic", "grey italic"}, // both empty
        {5, "normal", "normal", "normal"},           // both given
        {6, "normal", "grey italic", "normal"},      // only the commission given
        {8, "red", "red italic", "red italic"},      // overtime, both empty
        {7, "nothing", "nothing", "nothing"},        // a gap day of the CHT
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.day);
        const int row = Row(c.day);
        ASSERT_GE(row, 0);
        EXPECT_EQ(Look(row, "QTHRTRAB"), QString::fromUtf8(c.worked));
        EXPECT_EQ(Look(row, "QTHRAPROFATU"), QString::fromUtf8(c.billed));
        EXPECT_EQ(Look(row, "QTHRAPRCOMIS"), QString::fromUtf8(c.commission));
    }
    // The 1st, 4th, 6th and 8th; in a part of its own, the line of the last
    // operation untouched.
    ASSERT_FALSE(desktop->screenStatuses.isEmpty());
    EXPECT_EQ(desktop->screenStatuses.last(), u"4 dia(s) pendente(s) de aprovação nesta CHT"_s);
    EXPECT_TRUE(desktop->statuses.isEmpty());

    // Another CHT row counts its own days.
    GoTo(f->dbgCHT, "NRSEQUCHT", "");
    EXPECT_EQ(desktop->screenStatuses.last(), u"5 dia(s) pendente(s) de aprovação nesta CHT"_s);
    // Approving them all leaves none.
    UserFocus(f->dbgCSA);
    desktop->answers = {mrYes};
    UserClick(f->mnuAprovarPendentes);
    EXPECT_EQ(desktop->screenStatuses.last(), u"Nenhum dia pendente de aprovação nesta CHT"_s);
    EXPECT_EQ(Look(Row(15), "QTHRAPROFATU"), u"normal"_s);
    // Another employee: TF2's one day without CHT.
    GoTo(f->dbgFuncionario, "CDFUNC", "TF2");
    EXPECT_EQ(desktop->screenStatuses.last(), u"1 dia(s) pendente(s) de aprovação nesta CHT"_s);
}

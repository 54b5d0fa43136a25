// "Pendências" from the keyboard: the filter's exceptions in a modal list,
// Enter on a line takes the screen to its service, employee, CHT (or the
// row of the CSAs without CHT) and day; an empty list is only said.
// "Aprovar dias pendentes" on that row is AMonthByKeyboard's, under X.
#include "approval/pendencias.h"
#include "tests/screens/world.h"

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// Besides March's world: TF1's CHT T0001 has the 5th with commission
// below the hours and no occurrence; TF1 worked 4 hours on Saturday the
// 16th and TF2 9 hours on the 6th, neither approved, both without CHT.
struct Pendencias : MarchScreen
{
    void SetUp() override
    {
        MarchScreen::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 5), 8, u"T0001"_s, 8,
               6);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 16), 4);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 6), 9);
    }
    // Opens the list with its shortcut; the script reads its lines and
    // takes the keys given to the line chosen.
    QList<QStringList> OpenList(int downs, TWord last)
    {
        QList<QStringList> lines;
        desktop->modal.push_back([&lines, downs, last](TForm& form) {
            auto& list = dynamic_cast<TfrmPendencias&>(form);
            for (int r = 0; r < list.dbgPend->RowCount(); ++r) {
                QStringList cells;
                for (int c = 0; c < list.dbgPend->ColumnCount(); ++c)
                    cells << list.dbgPend->CellText(r, c);
                lines << cells;
            }
            for (int i = 0; i < downs; ++i)
                UserKey(form, VK_DOWN);
            UserKey(form, last);
        });
        // From the services' grid: the one service holds every line.
        UserFocus(f->dbgPadrao);
        UserKey(*f, 'P', ssCtrl | ssShift);
        EXPECT_TRUE(desktop->modal.empty()) << "the list showed as a modal form";
        return lines;
    }
};

} // namespace

TEST_F(Pendencias, EnterOnALineTakesTheScreenToItsDay)
{
    OpenMarch();
    struct Case
    {
        const char* name;
        int downs;
        TWord key;
        const char *employee, *chtRow, *column;
        int day;
    };
    // The lines, employees by name: TF2's 6th (no CHT), then TF1's 16th (no
    // CHT) and TF1's 5th (T0001).
    const Case cases[] = {
        {"a day in a CHT", 2, VK_RETURN, "TF1", "CHT T0001", "DSOCORR", 5},
        {"another employee, no CHT", 0, VK_RETURN, "TF2", "CSA´s sem CHT Gerada", "QTHRAPROFATU",
         6},
        {"Escape goes nowhere", 1, VK_ESCAPE, "TF2", "CSA´s sem CHT Gerada", "QTHRAPROFATU", 6},
        {"the same employee's other row", 1, VK_RETURN, "TF1", "CSA´s sem CHT Gerada",
         "QTHRAPROFATU", 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QList<QStringList> lines = OpenList(c.downs, c.key);
        ASSERT_EQ(lines.size(), 3);
        if (&c == cases) {
            EXPECT_TRUE(lines[0][1].contains(u"Dois"_s)) << lines[0][1].toStdString();
            EXPECT_EQ(lines[0][4], u"Aprovação pendente em dia de hora extra"_s);
            EXPECT_EQ(lines[1][3], u"16/03/2030 sáb"_s);
            EXPECT_EQ(lines[2][4], u"Comissão diferente das horas trabalhadas, sem ocorrência"_s);
        }
        EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
        EXPECT_EQ(f->cdsServPrest.FieldByName(u"NRSERVCONT"_s)->AsString(), u"001"_s);
        EXPECT_EQ(f->cdsFunc.FieldByName(u"CDFUNC"_s)->AsString(), QString::fromUtf8(c.employee));
        EXPECT_EQ(f->cdsCHT.FieldByName(u"DSREFECHT"_s)->AsString(), QString::fromUtf8(c.chtRow));
        EXPECT_EQ(OleToDate(f->cdsAuxCSA.FieldByName(u"DTSERVPREST"_s)->AsDateTime()).day(), c.day);
        // Escape leaves the focus where the list was opened from.
        EXPECT_EQ(f->ActiveControl(), c.key == VK_RETURN ? f->dbgCSA : f->dbgPadrao);
        EXPECT_EQ(f->dbgCSA->SelectedIndex(), f->dbgCSA->ColumnIndex(QString::fromUtf8(c.column)));
    }
    // Nothing left to look at: said, and no empty list opens.
    m_db->Exec(u"UPDATE CSA SET QTHRAPROFATU = QTHRTRAB, QTHRAPRCOMIS = QTHRTRAB"_s);
    const auto shown = desktop->shownForms.size();
    UserKey(*f, 'P', ssCtrl | ssShift);
    EXPECT_EQ(desktop->shownForms.size(), shown);
    ASSERT_FALSE(desktop->questions.isEmpty());
    EXPECT_TRUE(desktop->questions.last().startsWith(u"Nenhuma pendência"_s))
        << desktop->questions.last().toStdString();
}

// Opened from an employee's days, the list holds that employee's lines
// alone; the box shows every line, that employee's first. From a service
// with no line of its own, every line shows.
TEST_F(Pendencias, FromAnEmployeeItListsThatOneUntilAllAreAskedFor)
{
    OpenMarch();
    OpenTf1();
    UserFocus(f->dbgCSA);
    QList<QStringList> lines;
    const auto names = [](const TfrmPendencias& list) {
        QStringList employees;
        for (int r = 0; r < list.dbgPend->RowCount(); ++r)
            employees << list.dbgPend->CellText(r, 1);
        return employees;
    };
    desktop->modal.push_back([&](TForm& form) {
        auto& list = dynamic_cast<TfrmPendencias&>(form);
        EXPECT_TRUE(list.chbTodas->Visible());
        EXPECT_FALSE(list.chbTodas->Checked());
        const QStringList own = names(list);
        ASSERT_EQ(own.size(), 2);
        for (const QString& name : own)
            EXPECT_TRUE(name.contains(u"Um"_s)) << name.toStdString();
        // Tab to the box, Space ticks it: every line, TF1's first.
        UserKey(form, VK_TAB);
        ASSERT_EQ(list.ActiveControl(), list.chbTodas);
        UserType(form, u" "_s);
        const QStringList all = names(list);
        ASSERT_EQ(all.size(), 3);
        EXPECT_EQ(all.mid(0, 2), own);
        EXPECT_TRUE(all[2].contains(u"Dois"_s));
        EXPECT_TRUE(list.lblTotal->Caption().startsWith(u"3 "_s));
        UserKey(form, VK_RETURN);
    });
    UserKey(*f, 'P', ssCtrl | ssShift);
    EXPECT_TRUE(desktop->modal.empty());
    EXPECT_EQ(f->cdsFunc.FieldByName(u"CDFUNC"_s)->AsString(), u"TF1"_s);

    // From TF2: its one line, and Enter goes there.
    GoTo(f->dbgFuncionario, "CDFUNC", "TF2");
    UserFocus(f->dbgFuncionario);
    desktop->modal.push_back([&](TForm& form) {
        auto& list = dynamic_cast<TfrmPendencias&>(form);
        ASSERT_EQ(names(list).size(), 1);
        EXPECT_TRUE(names(list)[0].contains(u"Dois"_s));
        UserKey(form, VK_RETURN);
    });
    UserKey(*f, 'P', ssCtrl | ssShift);
    EXPECT_EQ(f->cdsFunc.FieldByName(u"CDFUNC"_s)->AsString(), u"TF2"_s);
    EXPECT_EQ(f->ActiveControl(), f->dbgCSA);
    EXPECT_EQ(f->dbgCSA->SelectedIndex(), f->dbgCSA->ColumnIndex(u"QTHRAPROFATU"_s));

    // From a service with no line: every line, the box ticked and away.
    GoTo(f->dbgPadrao, "NRSERVCONT", "002");
    UserFocus(f->dbgPadrao);
    desktop->modal.push_back([&](TForm& form) {
        auto& list = dynamic_cast<TfrmPendencias&>(form);
        EXPECT_EQ(names(list).size(), 3);
        EXPECT_FALSE(list.chbTodas->Visible());
        UserKey(form, VK_ESCAPE);
    });
    UserKey(*f, 'P', ssCtrl | ssShift);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
}

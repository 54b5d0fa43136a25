// The filter dialog from the keyboard alone: Tab reaches every group, the
// pickers and the dialog's buttons; the arrows choose within a group;
// Space or Enter opens a picker or presses a button; PageUp and PageDown
// choose whole months.
#include "host/data/selection.h"
#include "tests/screens/screen_fixture.h"
#include "tests/support/env.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class FilterByKeys : public ScreenTest
{
protected:
    // The names of the controls Tab reaches from the one with the focus,
    // once round, back where it started.
    static QStringList TabRound(TfrmFiltroCsa& d)
    {
        QStringList names;
        const TControl* start = d.ActiveControl();
        for (int i = 0; i < 40; ++i) {
            UserKey(d, VK_TAB);
            names << (d.ActiveControl() ? d.ActiveControl()->Name() : u"-"_s);
            if (d.ActiveControl() == start)
                break;
        }
        return names;
    }
};

double Ole(const QDate& d)
{
    return DateToOle(d);
}

} // namespace

TEST_F(FilterByKeys, TabArrowsSpaceAndEnterReachEveryChoice)
{
    QStringList first, withList;
    OnFilter([&](TfrmFiltroCsa& d) {
        // As it first shows: the groups' chosen buttons, the dates and the
        // dialog's four buttons; no picker while its list is not chosen.
        first = TabRound(d);

        // The employee: Tab to its group, Down to "Lista", Tab to its
        // picker, Space opens it.
        UserKey(d, VK_TAB);
        ASSERT_EQ(d.ActiveControl(), d.rbtTodosFunc);
        UserKey(d, VK_DOWN);
        EXPECT_EQ(d.ActiveControl(), d.rbtListaFunc);
        EXPECT_TRUE(d.rbtListaFunc->Checked());
        EXPECT_TRUE(d.btnPesqFunc->Enabled());
        UserKey(d, VK_DOWN);
        EXPECT_EQ(d.ActiveControl(), d.rbtListaFunc) << "the group's last button stays";
        UserKey(d, VK_TAB);
        ASSERT_EQ(d.ActiveControl(), d.btnPesqFunc);
        desktop->listPicks = {QStringList{u"F0001"_s}};
        UserType(d, u" "_s);
        ASSERT_FALSE(desktop->pickLists.isEmpty()) << "Space opens the picker";
        EXPECT_EQ(desktop->pickLists.last().Title, u"Funcionário"_s);
        EXPECT_EQ(DecodeSelection(d.stFuncionario).Keys, QStringList{u"F0001"_s});

        // The client: Right and Left choose as Down and Up; Enter opens
        // its picker too.
        UserKey(d, VK_TAB, ssShift);
        UserKey(d, VK_TAB, ssShift);
        ASSERT_EQ(d.ActiveControl(), d.rbtTodosCli);
        UserKey(d, VK_RIGHT);
        EXPECT_TRUE(d.rbtListaCli->Checked());
        UserKey(d, VK_LEFT);
        EXPECT_TRUE(d.rbtTodosCli->Checked());
        EXPECT_FALSE(d.btnPesqCli->Enabled());
        UserKey(d, VK_DOWN);
        UserKey(d, VK_TAB);
        ASSERT_EQ(d.ActiveControl(), d.btnPesqCli);
        desktop->listPicks = {std::nullopt};
        const auto before = desktop->pickLists.size();
        UserKey(d, VK_RETURN);
        EXPECT_EQ(desktop->pickLists.size(), before + 1) << "Enter opens the picker";
        EXPECT_TRUE(d.Visible()) << "Enter on a picker does not confirm the dialog";
        UserKey(d, VK_UP);
        EXPECT_EQ(d.ActiveControl(), d.btnPesqCli) << "arrows move only between radio buttons";
        UserKey(d, VK_TAB, ssShift);
        UserKey(d, VK_UP);
        EXPECT_TRUE(d.rbtTodosCli->Checked());

        // With the employee's list chosen, its picker is in the round.
        ASSERT_EQ(d.ActiveControl(), d.rbtTodosCli);
        withList = TabRound(d);

        // Enter on the dates confirms.
        while (d.ActiveControl() != d.depDtInicial)
            UserKey(d, VK_TAB);
        UserKey(d, VK_RETURN);
    });
    IniProc();
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    const QStringList buttons{u"sbtConfirma"_s, u"sbtCancela"_s, u"btfSaveOpc"_s, u"btfLoadOpc"_s};
    EXPECT_EQ(first, QStringList({u"rbtTodosFunc"_s, u"chbComCHTGerada"_s, u"chbSemCHTGerada"_s,
                                  u"rbtTodosProp"_s, u"depDtInicial"_s, u"depDtFinal"_s}) +
                         buttons + QStringList{u"rbtTodosCli"_s});
    EXPECT_EQ(withList, QStringList({u"rbtListaFunc"_s, u"btnPesqFunc"_s, u"chbComCHTGerada"_s,
                                     u"chbSemCHTGerada"_s, u"rbtTodosProp"_s, u"depDtInicial"_s,
                                     u"depDtFinal"_s}) +
                            buttons + QStringList{u"rbtTodosCli"_s});
    EXPECT_FALSE(Filtro.Funcionario.Todos);
    EXPECT_EQ(DecodeSelection(Filtro.Funcionario.Lista).Keys, QStringList{u"F0001"_s});
    EXPECT_TRUE(Filtro.Cliente.Todos);
}

// PageUp and PageDown in a date choose whole months, counted from the
// month the period ends in; typed dates keep both their forms.
TEST_F(FilterByKeys, PageKeysChooseWholeMonthsAndTypedDatesKeepBothForms)
{
    const QDate today = OleToDate(Today());
    const QDate thisMonth(today.year(), today.month(), 1);
    struct Step
    {
        TWord key;
        QDate start;
    };
    const Step steps[] = {{VK_PRIOR, thisMonth.addMonths(-1)},
                          {VK_PRIOR, thisMonth.addMonths(-2)},
                          {VK_NEXT, thisMonth.addMonths(-1)},
                          {VK_NEXT, thisMonth}};
    OnFilter([&](TfrmFiltroCsa& d) {
        UserFocus(d.depDtFinal);
        for (const Step& s : steps) {
            UserKey(d, s.key);
            EXPECT_EQ(d.depDtInicial->GetDate(), Ole(s.start)) << s.start.toString().toStdString();
            EXPECT_EQ(d.depDtFinal->GetDate(), Ole(s.start.addMonths(1).addDays(-1)));
        }
        // Typed with or without the separators.
        UserFocus(d.depDtInicial);
        UserType(d, u"01022025"_s);
        UserKey(d, VK_TAB);
        UserType(d, u"28/02/2025"_s);
        UserKey(d, VK_PRIOR);
        EXPECT_EQ(d.depDtInicial->GetDate(), Ole(QDate(2025, 1, 1)));
        UserKey(d, VK_RETURN);
    });
    IniProc();
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(Filtro.DtInicial, Ole(QDate(2025, 1, 1)));
    EXPECT_EQ(Filtro.DtFinal, Ole(QDate(2025, 1, 31)));
}

// Alt+D and Alt+A go to the dates; a month and year typed in "De", with
// or without its separator, is the whole month; a date stays a date and
// text that is neither is refused as before.
TEST_F(FilterByKeys, AltKeysReachTheDatesAndAMonthTypedIsTheWholeMonth)
{
    struct Typed
    {
        const char* text;
        const char* shown; // "De" once left
        QDate last;        // "Até" once "De" is left; null: an error
    };
    const Typed rows[] = {
        {"102025", "01/10/2025", QDate(2025, 10, 31)},
        {"10/2025", "01/10/2025", QDate(2025, 10, 31)},
        {"022024", "01/02/2024", QDate(2024, 2, 29)},
        {"1/2023", "01/01/2023", QDate(2023, 1, 31)},
        {"01032025", "01/03/2025", QDate(2023, 1, 31)}, // a date: "Até" as it was
        {"132025", "13/2025", {}},
    };
    OnFilter([&](TfrmFiltroCsa& d) {
        UserKey(d, 'A', ssAlt);
        EXPECT_EQ(d.ActiveControl(), d.depDtFinal);
        for (const Typed& row : rows) {
            SCOPED_TRACE(row.text);
            UserKey(d, 'D', ssAlt);
            ASSERT_EQ(d.ActiveControl(), d.depDtInicial);
            EXPECT_TRUE(d.depDtInicial->AllSelected());
            UserType(d, QString::fromUtf8(row.text));
            UserKey(d, VK_TAB);
            EXPECT_EQ(d.depDtInicial->Text(), QString::fromUtf8(row.shown));
            if (!row.last.isValid()) {
                EXPECT_EQ(d.ActiveControl(), d.depDtInicial);
                EXPECT_EQ(desktop->errors.join(u'\n'), u"'13/2025' não é uma data válida."_s);
                desktop->errors.clear();
                continue;
            }
            EXPECT_EQ(d.ActiveControl(), d.depDtFinal);
            EXPECT_EQ(d.depDtFinal->GetDate(), Ole(row.last));
        }
        // Enter in "De" confirms the month typed there (Ctrl+A first: the
        // refused text still has the focus).
        UserKey(d, 'A', ssCtrl);
        UserType(d, u"122025"_s);
        UserKey(d, VK_RETURN);
    });
    IniProc();
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(Filtro.DtInicial, Ole(QDate(2025, 12, 1)));
    EXPECT_EQ(Filtro.DtFinal, Ole(QDate(2025, 12, 31)));
}

// "Salvar opções" and "Carregar opções" are pressed from the keyboard, and
// a set brings the lists back with the rest.
TEST_F(FilterByKeys, OptionSetsAreSavedAndLoadedFromTheKeyboard)
{
    QTemporaryDir home;
    ScopedEnv config("XDG_CONFIG_HOME", home.path().toUtf8().constData());
    OnFilter([&](TfrmFiltroCsa& d) {
        UserClick(d.rbtListaFunc);
        desktop->listPicks = {QStringList{u"F0001"_s}};
        UserClick(d.btnPesqFunc);
        UserFocus(d.btfSaveOpc);
        ASSERT_EQ(d.ActiveControl(), d.btfSaveOpc);
        desktop->inputs = {u"Só F0001"_s};
        desktop->answers = {mrYes}; // the set the screen opens with
        UserKey(d, VK_RETURN);
        EXPECT_EQ(d.SavedOptionSets(), QStringList{u"Só F0001"_s});
        EXPECT_EQ(d.StartOptionSet(), u"Só F0001"_s);

        UserClick(d.rbtTodosFunc);
        d.stFuncionario = u"T"_s;
        UserKey(d, VK_TAB);
        ASSERT_EQ(d.ActiveControl(), d.btfLoadOpc);
        desktop->stringPicks = {0};
        UserType(d, u" "_s);
        EXPECT_TRUE(d.rbtListaFunc->Checked());
        EXPECT_TRUE(d.btnPesqFunc->Enabled());
        UserKey(d, VK_RETURN, ssCtrl); // nothing: a chord the button does not take
        EXPECT_TRUE(d.Visible());
        UserFocus(d.depDtFinal);
        UserKey(d, VK_RETURN);
    });
    IniProc();
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(DecodeSelection(Filtro.Funcionario.Lista).Keys, QStringList{u"F0001"_s});

    // The next starts: the marked set is the first show, Enter confirms
    // it; saved again and not marked, the first show is the specified one.
    struct TStart
    {
        int Answer; // to "open with this set?" when it is saved again
        bool List;  // the first show has the employees' list chosen
    };
    for (const TStart start : {TStart{mrNo, true}, TStart{mrYes, false}}) {
        Cli_aph31501_Finalization();
        Cli_aph31500_Finalization();
        Filtro = TFILTRO{};
        Cli_aph31500_Initialization();
        Cli_aph31501_Initialization();
        bool list = false;
        OnFilter([&](TfrmFiltroCsa& d) {
            list = d.rbtListaFunc->Checked() && d.stFuncionario.contains(u"F0001"_s);
            UserFocus(d.btfSaveOpc);
            desktop->inputs = {u"Só F0001"_s};
            desktop->answers = {start.Answer};
            UserKey(d, VK_RETURN);
            UserFocus(d.depDtFinal);
            UserKey(d, VK_RETURN);
        });
        IniProc();
        EXPECT_EQ(list, start.List);
        EXPECT_EQ(Filtro.Funcionario.Todos, !start.List);
        EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    }
}

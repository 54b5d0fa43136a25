// The keys a form takes before its focused control: Ctrl+Tab through the
// tab order, Enter and Escape for the default and cancel buttons.
#include "host/data/exceptions.h"
#include "host/ui/dbgrid.h"
#include "host/ui/editors.h"
#include "host/ui/form.h"
#include "tests/support/text.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// A dialog: an edit, a grid of notes that keeps Tab for its columns, a
// second edit, and the confirm and cancel buttons.
struct Keyboard : ::testing::Test
{
    TForm form{u"frmDialogo"_s};
    TClientDataSet ds{u"cdsNotas"_s};
    TDataSource dts{u"dtsNotas"_s};
    TEdit* first = nullptr;
    TDBGrid* grid = nullptr;
    TEdit* last = nullptr;
    TSpeedButton* sbtConfirma = nullptr;
    TSpeedButton* sbtCancela = nullptr;
    QStringList clicks;
    QStringList errors;

    void SetUp() override
    {
        SetExceptionHandler([this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const Exception& x) {
                errors << x.Message();
            }
        });
        ds.AddField(u"DIA"_s, TFieldType::ftString, 10);
        ds.AddField(u"NOTA"_s, TFieldType::ftString, 20);
        ds.CreateDataSet();
        for (const char* dia : {"seg", "ter"}) {
            ds.Append();
            ds.FieldByName(u"DIA"_s)->SetAsString(QString::fromUtf8(dia));
            ds.Post();
        }
        ds.First();
        dts.SetDataSet(&ds);
        form.SetClientSize(400, 300);
        form.SetVisible(true);
        first = form.Add<TEdit>(u"edtPrimeiro"_s);
        grid = form.Add<TDBGrid>(u"dbgNotas"_s);
        grid->SetBounds(0, 30, 300, 200);
        grid->SetDataSource(&dts);
        grid->AddColumn(u"DIA"_s);
        grid->AddColumn(u"NOTA"_s);
        last = form.Add<TEdit>(u"edtUltimo"_s);
        sbtConfirma = form.Add<TSpeedButton>(u"sbtConfirma"_s);
        sbtCancela = form.Add<TSpeedButton>(u"sbtCancela"_s);
        sbtConfirma->OnClick = [this](TObject*) {
            clicks << u"confirma"_s;
        };
        sbtCancela->OnClick = [this](TObject*) {
            clicks << u"cancela"_s;
        };
    }
    void TearDown() override { SetExceptionHandler(nullptr); }
};

} // namespace

TEST_F(Keyboard, CtrlTabLeavesAGridThatKeepsTabForItself)
{
    grid->SetFocus();
    PressKey(form, VK_TAB);
    EXPECT_TRUE(grid->Focused()) << "Tab walks the grid's columns";
    EXPECT_EQ(grid->SelectedIndex(), 1);

    PressKey(form, VK_TAB, ssCtrl);
    EXPECT_TRUE(last->Focused());
    PressKey(form, VK_TAB, ssCtrl | ssShift);
    EXPECT_TRUE(grid->Focused());
    PressKey(form, VK_TAB, ssCtrl | ssShift);
    EXPECT_TRUE(first->Focused());
    PressKey(form, VK_TAB, ssCtrl | ssShift);
    EXPECT_TRUE(last->Focused()) << "the order wraps";

    // A screen's handler that swallows Tab in the grid does not trap the focus.
    grid->SetFocus();
    grid->OnKeyDown = [](TObject*, TWord& key, TShiftState) {
        if (key == VK_TAB)
            key = 0;
    };
    PressKey(form, VK_TAB, ssCtrl);
    EXPECT_TRUE(last->Focused());
}

TEST_F(Keyboard, CtrlTabRunsTheExitCheckAndARefusalKeepsTheFocus)
{
    QStringList events;
    grid->OnExit = [&](TObject*) {
        events << u"exit"_s;
        throw Exception(u"Confirme a linha antes."_s);
    };
    last->OnEnter = [&](TObject*) {
        events << u"enter"_s;
    };
    grid->SetFocus();
    PressKey(form, VK_TAB, ssCtrl);
    EXPECT_TRUE(grid->Focused());
    EXPECT_EQ(events, QStringList{u"exit"_s});
    EXPECT_EQ(errors, QStringList{u"Confirme a linha antes."_s});
    grid->OnExit = nullptr;
    PressKey(form, VK_TAB, ssCtrl);
    EXPECT_TRUE(last->Focused());
    EXPECT_EQ(events, (QStringList{u"exit"_s, u"enter"_s}));
}

TEST_F(Keyboard, EnterAndEscapeClickTheDefaultAndCancelButtons)
{
    first->SetFocus();
    PressKey(form, VK_RETURN);
    PressKey(form, VK_ESCAPE);
    EXPECT_EQ(clicks, QStringList()) << "a form without such buttons leaves the keys alone";

    form.SetDefaultButton(sbtConfirma);
    form.SetCancelButton(sbtCancela);
    PressKey(form, VK_RETURN);
    PressKey(form, VK_ESCAPE);
    EXPECT_EQ(clicks, (QStringList{u"confirma"_s, u"cancela"_s}));
    EXPECT_TRUE(first->Focused()) << "as a click on the buttons, the focus stays";

    // A grid only browsing leaves them to the buttons too.
    clicks.clear();
    grid->SetFocus();
    PressKey(form, VK_RETURN);
    EXPECT_EQ(clicks, QStringList{u"confirma"_s});

    // Disabled buttons take nothing.
    clicks.clear();
    sbtConfirma->SetEnabled(false);
    sbtCancela->SetVisible(false);
    first->SetFocus();
    PressKey(form, VK_RETURN);
    PressKey(form, VK_ESCAPE);
    EXPECT_EQ(clicks, QStringList());
}

TEST_F(Keyboard, AGridEditingARowKeepsEnterAndEscape)
{
    form.SetDefaultButton(sbtConfirma);
    form.SetCancelButton(sbtCancela);
    grid->SetFocus();
    grid->SetSelectedIndex(1);
    TypeText(form, u"ok"_s);
    ASSERT_EQ(ds.State(), TDataSetState::dsEdit);
    PressKey(form, VK_RETURN);
    EXPECT_EQ(ds.FieldByName(u"NOTA"_s)->AsString(), u"ok"_s) << "Enter stored the cell";
    PressKey(form, VK_ESCAPE);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse) << "Escape abandoned the row";
    EXPECT_EQ(clicks, QStringList());
    PressKey(form, VK_ESCAPE);
    EXPECT_EQ(clicks, QStringList{u"cancela"_s}) << "with nothing in edit, the dialog's again";
}

TEST_F(Keyboard, ADefaultButtonWithAModalResultEndsTheDialog)
{
    auto* ok = form.Add<TButton>(u"btnOk"_s);
    ok->SetModalResult(mrOk);
    form.SetDefaultButton(ok);
    first->SetFocus();
    PressKey(form, VK_RETURN);
    EXPECT_EQ(form.ModalResult(), mrOk);
}

#include "host/ui/editors.h"
#include "host/ui/form.h"
#include "host/ui/menu.h"
#include "tests/support/text.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

// The approval screen's page: services on top, a splitter, and below it the
// employee/CHT column on the left and the CSA area with its totals.
struct Page : ::testing::Test
{
    TForm form{u"frmTeste"_s};
    TPanel* top = nullptr;
    TSplitter* split = nullptr;
    TPanel* details = nullptr;
    TPanel* left = nullptr;
    TScrollBox* employees = nullptr;
    TSplitter* subSplit = nullptr;
    TScrollBox* chts = nullptr;
    TPanel* csa = nullptr;
    TScrollBox* grid = nullptr;
    TPanel* totals = nullptr;

    void SetUp() override
    {
        form.SetClientSize(957, 500);
        top = form.Add<TPanel>(u"panDbgPadrao"_s);
        top->SetAlign(TAlign::alTop);
        top->SetHeight(194);
        split = form.Add<TSplitter>(u"splDetalhe"_s);
        split->SetAlign(TAlign::alTop);
        split->SetHeight(5);
        details = form.Add<TPanel>(u"panDetalhes"_s);
        details->SetAlign(TAlign::alClient);
        left = details->Add<TPanel>(u"panSubDetalhe"_s);
        left->SetAlign(TAlign::alLeft);
        left->SetWidth(430);
        employees = left->Add<TScrollBox>(u"scbFuncionario"_s);
        employees->SetAlign(TAlign::alTop);
        employees->SetHeight(153);
        subSplit = left->Add<TSplitter>(u"splSubDetalhe"_s);
        subSplit->SetAlign(TAlign::alTop);
        subSplit->SetHeight(4);
        chts = left->Add<TScrollBox>(u"scbCHT"_s);
        chts->SetAlign(TAlign::alClient);
        csa = details->Add<TPanel>(u"panCSA"_s);
        csa->SetAlign(TAlign::alClient);
        // Created before the grid area, as in the form: bottom strips are
        // taken before the client area whatever the creation order.
        grid = csa->Add<TScrollBox>(u"scbCSA"_s);
        grid->SetAlign(TAlign::alClient);
        totals = csa->Add<TPanel>(u"panTotalizadorCSA"_s);
        totals->SetAlign(TAlign::alBottom);
        totals->SetHeight(93);
    }
};

} // namespace

TEST_F(Page, AlignedPanelsShareTheSpaceInTheGivenSizes)
{
    EXPECT_EQ(top->BoundsRect(), QRect(0, 0, 957, 194));
    EXPECT_EQ(split->BoundsRect(), QRect(0, 194, 957, 5));
    EXPECT_EQ(details->BoundsRect(), QRect(0, 199, 957, 301));
    EXPECT_EQ(left->BoundsRect(), QRect(0, 0, 430, 301));
    EXPECT_EQ(employees->BoundsRect(), QRect(0, 0, 430, 153));
    EXPECT_EQ(subSplit->BoundsRect(), QRect(0, 153, 430, 4));
    EXPECT_EQ(chts->BoundsRect(), QRect(0, 157, 430, 144));
    EXPECT_EQ(csa->BoundsRect(), QRect(430, 0, 527, 301));
    EXPECT_EQ(totals->BoundsRect(), QRect(0, 208, 527, 93));
    EXPECT_EQ(grid->BoundsRect(), QRect(0, 0, 527, 208));
    EXPECT_EQ(totals->FormRect(), QRect(430, 407, 527, 93));
}

TEST_F(Page, ResizingTheFormAndDraggingSplittersRelayout)
{
    form.SetClientSize(1000, 600);
    EXPECT_EQ(csa->BoundsRect().width(), 570);
    EXPECT_EQ(grid->BoundsRect().height(), 401 - 93);
    EXPECT_EQ(split->ResizedControl(), top);
    split->DragBy(-50);
    EXPECT_EQ(top->BoundsRect().height(), 144);
    EXPECT_EQ(details->BoundsRect().top(), 149);
    subSplit->DragBy(20);
    EXPECT_EQ(employees->BoundsRect().height(), 173);
    split->SetEnabled(false);
    split->DragBy(30);
    EXPECT_EQ(top->BoundsRect().height(), 144) << "a disabled splitter does not move";
    split->SetEnabled(true);
    split->DragBy(-1000);
    EXPECT_EQ(top->BoundsRect().height(), split->MinSize());
}

TEST_F(Page, HiddenControlsTakeNoSpaceAndExplicitBoundsStay)
{
    auto* label = totals->Add<TLabel>(u"lblTotHoraTrab"_s);
    label->SetBounds(97, 32, 66, 15);
    top->SetVisible(false);
    EXPECT_EQ(split->BoundsRect().top(), 0);
    EXPECT_EQ(label->BoundsRect(), QRect(97, 32, 66, 15));
    EXPECT_EQ(label->FormRect().topLeft(), totals->FormRect().topLeft() + QPoint(97, 32));
}

TEST(Controls, EnabledAndVisibleAreInheritedFromParents)
{
    TForm form(u"f"_s);
    auto* box = form.Add<TGroupBox>(u"grb"_s);
    auto* check = box->Add<TCheckBox>(u"chb"_s);
    EXPECT_TRUE(check->EffectivelyEnabled());
    box->SetEnabled(false);
    EXPECT_TRUE(check->Enabled());
    EXPECT_FALSE(check->EffectivelyEnabled());
    form.SetVisible(true);
    EXPECT_TRUE(check->EffectivelyVisible());
    box->SetVisible(false);
    EXPECT_FALSE(check->CanFocus());
    EXPECT_EQ(form.FindChild(u"chb"_s), check);
    EXPECT_EQ(form.Find<TCheckBox>(u"grb"_s), nullptr);
}

TEST(Controls, FocusRunsExitAndEnterAndAnExitErrorKeepsIt)
{
    TForm form(u"f"_s);
    form.SetVisible(true);
    auto* a = form.Add<TEdit>(u"edtA"_s);
    auto* b = form.Add<TEdit>(u"edtB"_s);
    auto* c = form.Add<TEdit>(u"edtC"_s);
    QStringList events;
    a->OnEnter = [&](TObject*) {
        events << u"enterA"_s;
    };
    a->OnExit = [&](TObject*) {
        events << u"exitA"_s;
    };
    b->OnEnter = [&](TObject*) {
        events << u"enterB"_s;
    };
    b->OnExit = [&](TObject*) {
        throw std::runtime_error("recusado");
    };
    ASSERT_TRUE(a->SetFocus());
    ASSERT_TRUE(b->SetFocus());
    EXPECT_EQ(events, (QStringList{u"enterA"_s, u"exitA"_s, u"enterB"_s}));
    EXPECT_THROW(c->SetFocus(), std::runtime_error);
    EXPECT_TRUE(b->Focused());
    b->OnExit = nullptr;
    c->SetEnabled(false);
    EXPECT_FALSE(c->SetFocus());
    form.SelectNext(true);
    EXPECT_TRUE(a->Focused()) << "disabled controls are skipped and the order wraps";
    a->SetTabOrder(5);
    form.SelectNext(true);
    EXPECT_TRUE(b->Focused());
    form.SelectNext(false);
    EXPECT_TRUE(a->Focused());
    b->SetFocus();
    b->SetEnabled(false);
    EXPECT_EQ(form.ActiveControl(), nullptr) << "a disabled control loses the focus";
}

TEST(Controls, MenuShortcutsRunEnabledEntriesOnly)
{
    TForm form(u"f"_s);
    auto* menu = form.Add<TMainMenu>(u"mnuMenu"_s);
    form.SetMenu(menu);
    auto* group = menu->Add<TMenuItem>(u"mnuManutencao"_s);
    auto* filter = group->Add<TMenuItem>(u"mnuFiltrar"_s);
    filter->SetCaption(u"&Filtrar"_s);
    filter->SetShortCut(ShortCut('L', ssCtrl));
    int clicks = 0;
    filter->OnClick = [&](TObject* sender) {
        EXPECT_EQ(sender, filter);
        ++clicks;
    };
    TWord key = 'L';
    form.KeyDown(key, ssCtrl);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(key, 0);
    filter->SetEnabled(false);
    key = 'L';
    form.KeyDown(key, ssCtrl);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(ShortCutToText(filter->ShortCut()), u"Ctrl+L"_s);
    auto* separator = group->Add<TMenuItem>(u"N1"_s);
    separator->SetCaption(u"-"_s);
    EXPECT_TRUE(separator->IsSeparator());
}

TEST(Controls, CheckBoxClickRunsOnEveryChangeAndRadiosExcludeEachOther)
{
    TForm form(u"f"_s);
    auto* box = form.Add<TGroupBox>(u"grb"_s);
    auto* check = box->Add<TCheckBox>(u"chb"_s);
    int checkClicks = 0;
    check->OnClick = [&](TObject*) {
        ++checkClicks;
    };
    check->SetChecked(true); // by code
    check->SetChecked(true); // no change, no click
    check->Click();          // by the user: toggles
    EXPECT_EQ(checkClicks, 2);
    EXPECT_FALSE(check->Checked());

    auto* all = box->Add<TRadioButton>(u"rbtTodos"_s);
    auto* list = box->Add<TRadioButton>(u"rbtLista"_s);
    QStringList clicks;
    all->OnClick = [&](TObject*) {
        clicks << u"todos"_s;
    };
    list->OnClick = [&](TObject*) {
        clicks << u"lista"_s;
    };
    all->SetChecked(true);
    list->Click();
    list->Click();
    EXPECT_FALSE(all->Checked());
    EXPECT_TRUE(list->Checked());
    EXPECT_EQ(clicks, (QStringList{u"todos"_s, u"lista"_s}));
    EXPECT_TRUE(list->TabStop());
    EXPECT_FALSE(all->TabStop());
    box->SetEnabled(false);
    all->Click();
    EXPECT_FALSE(all->Checked()) << "a disabled radio ignores clicks";
}

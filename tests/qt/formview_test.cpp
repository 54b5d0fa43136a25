// The generic renderer: a form's controls become widgets where the headless
// layout puts them, follow their controls, and hand every input back.

// Mouse clicks through the window, so that a click moves the focus as it
// does for a user.
#define QTEST_QPA_MOUSE_HANDLING
#include "host/data/exceptions.h"
#include "host/ui/editors.h"
#include "host/ui/menu.h"
#include "tests/qt/gui_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// A small screen: a toolbar panel, a splitter, a grid of days, a panel of
// totals with a check box and an edit, and a menu with a shortcut.
struct FormView : GuiTest
{
    TForm form{u"frmTeste"_s};
    TClientDataSet ds{u"cdsDias"_s};
    TDataSource dts{u"dtsDias"_s};
    TPanel* panMenu = nullptr;
    TSpeedButton* sbtFiltrar = nullptr;
    TLabel* lblTotal = nullptr;
    TSplitter* splGrid = nullptr;
    TPanel* panTop = nullptr;
    TDBGrid* grid = nullptr;
    TCheckBox* chbTodos = nullptr;
    TEdit* edtNome = nullptr;
    TMenuItem* mnuFiltrar = nullptr;
    int filtrar = 0;
    std::unique_ptr<TFormView> view;

    void SetUp() override
    {
        GuiTest::SetUp();
        ds.AddField(u"DIA"_s, TFieldType::ftString, 10)->SetDisplayLabel(u"Dia"_s);
        ds.AddField(u"HORAS"_s, TFieldType::ftFloat);
        ds.CreateDataSet();
        for (int i = 0; i < 3; ++i) {
            ds.Append();
            ds.FieldByName(u"DIA"_s)->SetAsString(u"dia %1"_s.arg(i + 1));
            ds.FieldByName(u"HORAS"_s)->SetAsFloat(8);
            ds.Post();
        }
        ds.First();
        dts.SetDataSet(&ds);

        form.SetCaption(u"Teste"_s);
        form.SetClientSize(500, 300);
        form.SetVisible(true);
        panMenu = form.Add<TPanel>(u"panMenu"_s);
        panMenu->SetAlign(TAlign::alTop);
        panMenu->SetHeight(31);
        sbtFiltrar = panMenu->Add<TSpeedButton>(u"sbtFiltrar"_s);
        sbtFiltrar->SetBounds(4, 4, 23, 22);
        sbtFiltrar->SetGlyph(u"filter"_s);
        sbtFiltrar->SetHint(u"Filtrar"_s);
        sbtFiltrar->SetShowHint(true);
        sbtFiltrar->OnClick = [this](TObject*) {
            ++filtrar;
        };
        panTop = form.Add<TPanel>(u"panTop"_s);
        panTop->SetAlign(TAlign::alTop);
        panTop->SetHeight(60);
        lblTotal = panTop->Add<TLabel>(u"lblTotal"_s);
        lblTotal->SetBounds(8, 8, 80, 15);
        lblTotal->SetCaption(u"Total"_s);
        chbTodos = panTop->Add<TCheckBox>(u"chbTodos"_s);
        chbTodos->SetBounds(100, 8, 100, 17);
        chbTodos->SetCaption(u"Todos"_s);
        edtNome = panTop->Add<TEdit>(u"edtNome"_s);
        edtNome->SetBounds(220, 8, 120, 21);
        splGrid = form.Add<TSplitter>(u"splGrid"_s);
        splGrid->SetAlign(TAlign::alTop);
        splGrid->SetHeight(5);
        grid = form.Add<TDBGrid>(u"dbgDias"_s);
        grid->SetAlign(TAlign::alClient);
        grid->SetDataSource(&dts);
        grid->AddColumn(u"DIA"_s, {}, 90);
        grid->AddColumn(u"HORAS"_s, u"Horas"_s, 60);
        auto* menu = form.Add<TMainMenu>(u"mnuMenu"_s);
        form.SetMenu(menu);
        auto* top = menu->Add<TMenuItem>(u"mnuManutencao"_s);
        top->SetCaption(u"&Manutenção"_s);
        mnuFiltrar = top->Add<TMenuItem>(u"mnuFiltrar"_s);
        mnuFiltrar->SetCaption(u"&Filtrar"_s);
        mnuFiltrar->SetShortCut(ShortCut('L', ssCtrl));
        mnuFiltrar->OnClick = [this](TObject*) {
            filtrar += 10;
        };

        view = std::make_unique<TFormView>(form);
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    void TearDown() override
    {
        view.reset();
        GuiTest::TearDown();
    }

    template <class W> W* Widget(TControl* c) { return dynamic_cast<W*>(view->WidgetOf(c)); }
    // The widget's place in the form's client area.
    QRect PlaceOf(TControl* c)
    {
        QWidget* w = view->WidgetOf(c);
        return QRect(w->mapTo(view->WidgetOf(&form), QPoint(0, 0)), w->size());
    }
};

} // namespace

TEST_F(FormView, EveryControlIsAWidgetWhereTheHeadlessLayoutPutsIt)
{
    for (TControl* c : std::initializer_list<TControl*>{panMenu, sbtFiltrar, panTop, chbTodos,
                                                        edtNome, splGrid, grid})
        EXPECT_EQ(PlaceOf(c), c->FormRect()) << c->Name().toStdString();
    EXPECT_EQ(view->WidgetOf(&form)->size(), QSize(500, 300));
    EXPECT_EQ(Widget<QLabel>(lblTotal)->text(), u"Total"_s);
    EXPECT_EQ(Widget<QToolButton>(sbtFiltrar)->toolTip(), u"Filtrar"_s);
    EXPECT_FALSE(Widget<QToolButton>(sbtFiltrar)->icon().isNull());

    auto* gridView = Widget<TGridView>(grid);
    ASSERT_NE(gridView, nullptr);
    EXPECT_EQ(gridView->model()->rowCount(), 3);
    EXPECT_EQ(gridView->model()->headerData(0, Qt::Horizontal).toString(), u"Dia"_s);
    EXPECT_EQ(gridView->model()->headerData(1, Qt::Horizontal).toString(), u"Horas"_s);
    EXPECT_EQ(gridView->columnWidth(0), 90);

    // The menu shows its shortcut without taking the key from the form.
    ASSERT_NE(view->MenuBar(), nullptr);
    QAction* action = view->ActionOf(mnuFiltrar);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), u"&Filtrar\tCtrl+L"_s);
    EXPECT_TRUE(action->shortcut().isEmpty());

    const QImage picture = view->grab().toImage();
    EXPECT_EQ(picture.size(), view->size());
}

TEST_F(FormView, WidgetsFollowTheirControls)
{
    sbtFiltrar->SetEnabled(false);
    EXPECT_FALSE(Widget<QToolButton>(sbtFiltrar)->isEnabled());
    panTop->SetEnabled(false);
    EXPECT_FALSE(Widget<QCheckBox>(chbTodos)->isEnabled()) << "a disabled box disables its content";
    panTop->SetEnabled(true);
    lblTotal->SetCaption(u"Soma"_s);
    EXPECT_EQ(Widget<QLabel>(lblTotal)->text(), u"Soma"_s);
    TFont bold = lblTotal->Font();
    bold.Bold = true;
    bold.Color = clRed;
    lblTotal->SetFont(bold);
    EXPECT_TRUE(Widget<QLabel>(lblTotal)->font().bold());
    EXPECT_EQ(Widget<QLabel>(lblTotal)->palette().color(QPalette::WindowText), QColor(Qt::red));
    chbTodos->SetChecked(true);
    EXPECT_TRUE(Widget<QCheckBox>(chbTodos)->isChecked());
    edtNome->SetText(u"Ana"_s);
    EXPECT_EQ(Widget<QLineEdit>(edtNome)->text(), u"Ana"_s);
    mnuFiltrar->SetEnabled(false);
    EXPECT_FALSE(view->ActionOf(mnuFiltrar)->isEnabled());

    // Disabled for a reason the user can act on: the reason is the tip,
    // and the key reaches the form's handler instead of nothing.
    const QString why = u"Você não tem o papel consultar: peça-o ao administrador."_s;
    mnuFiltrar->SetDisabledHint(why);
    sbtFiltrar->SetDisabledHint(why);
    EXPECT_EQ(view->ActionOf(mnuFiltrar)->toolTip(), why);
    EXPECT_EQ(view->ActionOf(mnuFiltrar)->statusTip(), why);
    EXPECT_EQ(Widget<QToolButton>(sbtFiltrar)->toolTip(), u"Filtrar\n"_s + why);
    TControl* refused = nullptr;
    form.OnDisabledShortCut = [&](TControl* target) {
        refused = target;
    };
    QTest::keyClick(Widget<QLineEdit>(edtNome), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(refused, mnuFiltrar);
    EXPECT_EQ(filtrar, 0);
    mnuFiltrar->SetEnabled(true);
    sbtFiltrar->SetEnabled(true);
    EXPECT_TRUE(view->ActionOf(mnuFiltrar)->toolTip().isEmpty() ||
                view->ActionOf(mnuFiltrar)->toolTip() != why);
    EXPECT_EQ(Widget<QToolButton>(sbtFiltrar)->toolTip(), u"Filtrar"_s);
    form.OnDisabledShortCut = nullptr;

    // Hiding an aligned control gives its room to the others.
    const int gridTop = PlaceOf(grid).top();
    panTop->SetVisible(false);
    EXPECT_TRUE(view->WidgetOf(panTop)->isHidden());
    EXPECT_EQ(PlaceOf(grid).top(), gridTop - 60);
    EXPECT_EQ(PlaceOf(grid), grid->FormRect());

    // A larger window is a larger form, laid out again.
    view->resize(640, view->height() + 100);
    EXPECT_EQ(form.Width(), 640);
    EXPECT_EQ(PlaceOf(grid), grid->FormRect());
    EXPECT_EQ(PlaceOf(grid).width(), 640);
}

TEST_F(FormView, ClicksAndMenuEntriesReachTheHeadlessControls)
{
    Widget<QToolButton>(sbtFiltrar)->click();
    EXPECT_EQ(filtrar, 1);
    view->ActionOf(mnuFiltrar)->trigger();
    EXPECT_EQ(filtrar, 11);

    // The box is the headless box's: its click handler decides.
    QTest::mouseClick(Widget<QCheckBox>(chbTodos), Qt::LeftButton);
    EXPECT_TRUE(chbTodos->Checked());
    EXPECT_TRUE(Widget<QCheckBox>(chbTodos)->isChecked());
    EXPECT_EQ(form.ActiveControl(), chbTodos) << "the click moved the form's focus";

    // A handler that refuses: the message reaches the error display, and
    // the widget shows the state the control kept.
    chbTodos->OnClick = [this](TObject*) {
        if (!chbTodos->Checked())
            throw Exception(u"Não pode desmarcar."_s);
    };
    QTest::mouseClick(Widget<QCheckBox>(chbTodos), Qt::LeftButton);
    EXPECT_EQ(desktop->Messages(), QStringList{u"Não pode desmarcar."_s});
    EXPECT_EQ(Widget<QCheckBox>(chbTodos)->isChecked(), chbTodos->Checked());
}

TEST_F(FormView, KeysGoToTheFormAndItsFocusedControl)
{
    edtNome->SetFocus();
    EXPECT_EQ(QApplication::focusWidget(), view->WidgetOf(edtNome)) << "the Qt focus follows";
    QTest::keyClicks(view->WidgetOf(edtNome), u"Bia"_s);
    EXPECT_EQ(edtNome->Text(), u"Bia"_s);
    EXPECT_EQ(Widget<QLineEdit>(edtNome)->text(), u"Bia"_s);

    // The menu's shortcut, typed anywhere in the form.
    QTest::keyClick(view->WidgetOf(edtNome), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(filtrar, 10);

    // Tab goes through the form's tab order, and the Qt focus with it.
    QTest::keyClick(view->WidgetOf(edtNome), Qt::Key_Tab);
    EXPECT_EQ(form.ActiveControl(), grid);
    EXPECT_EQ(QApplication::focusWidget(), view->WidgetOf(grid));

    // A control that refuses to be left keeps the focus, and says why; the
    // click that tried to move it goes nowhere.
    grid->OnExit = [](TObject*) {
        throw Exception(u"Confirme a linha antes."_s);
    };
    QTest::mouseClick(view->WidgetOf(chbTodos), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.ActiveControl(), grid);
    EXPECT_EQ(QApplication::focusWidget(), view->WidgetOf(grid));
    EXPECT_EQ(desktop->Messages(), QStringList{u"Confirme a linha antes."_s});
    EXPECT_FALSE(chbTodos->Checked());
}

TEST_F(FormView, CtrlTabEnterAndCtrlAWorkThroughTheWidgets)
{
    // Ctrl+Tab leaves the grid, in the form's tab order, and the Qt focus
    // follows; Ctrl+Shift+Tab comes back.
    edtNome->SetText(u"Bia"_s);
    grid->SetFocus();
    QTest::keyClick(view->WidgetOf(grid), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form.ActiveControl(), chbTodos);
    EXPECT_EQ(QApplication::focusWidget(), view->WidgetOf(chbTodos));
    QTest::keyClick(view->WidgetOf(chbTodos), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form.ActiveControl(), edtNome);
    EXPECT_TRUE(Widget<QLineEdit>(edtNome)->hasSelectedText()) << "entered with its text selected";
    QTest::keyClick(view->WidgetOf(edtNome), Qt::Key_Backtab,
                    Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.ActiveControl(), chbTodos);

    // Ctrl+A selects the whole text, and the box shows it.
    edtNome->SetFocus();
    QTest::keyClick(view->WidgetOf(edtNome), Qt::Key_End);
    EXPECT_FALSE(Widget<QLineEdit>(edtNome)->hasSelectedText());
    QTest::keyClick(view->WidgetOf(edtNome), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Widget<QLineEdit>(edtNome)->selectedText(), u"Bia"_s);
    QTest::keyClicks(view->WidgetOf(edtNome), u"Ana"_s);
    EXPECT_EQ(edtNome->Text(), u"Ana"_s);

    // Enter clicks the default button.
    form.SetDefaultButton(sbtFiltrar);
    QTest::keyClick(view->WidgetOf(edtNome), Qt::Key_Return);
    EXPECT_EQ(filtrar, 1);
    EXPECT_EQ(edtNome->Text(), u"Ana"_s);
}

TEST_F(FormView, DraggingASplitterResizesThroughTheLayout)
{
    QWidget* handle = view->WidgetOf(splGrid);
    const int before = panTop->Height();
    const auto send = [&](QEvent::Type type, int y, Qt::MouseButton button,
                          Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(10, y), handle->mapToGlobal(QPointF(10, y)), button, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(handle, &e);
    };
    send(QEvent::MouseButtonPress, 2, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, 32, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, 32, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(panTop->Height(), before + 30);
    EXPECT_EQ(PlaceOf(grid), grid->FormRect());
}

TEST_F(FormView, AFormThatGoesAwayLeavesAViewThatTouchesNothing)
{
    bool told = false;
    view->OnFormDestroyed = [&] {
        told = true;
    };
    auto* gridView = Widget<TGridView>(grid);
    {
        // A second form, destroyed while its view lives.
        auto other = std::make_unique<TForm>(u"frmOutro"_s);
        other->SetClientSize(200, 100);
        other->Add<TLabel>(u"lbl"_s)->SetCaption(u"x"_s);
        TFormView otherView(*other);
        bool otherTold = false;
        otherView.OnFormDestroyed = [&] {
            otherTold = true;
        };
        other.reset();
        EXPECT_TRUE(otherTold);
        EXPECT_EQ(otherView.Form(), nullptr);
        otherView.grab(); // paints without the form
    }
    EXPECT_FALSE(told);
    EXPECT_EQ(gridView->Grid(), grid);
}

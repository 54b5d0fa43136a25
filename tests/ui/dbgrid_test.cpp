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

TRow Row(double day, Value worked, Value approved, const char* text)
{
    return std::make_shared<const TRowValues>(
        TRowValues{Value::FromNumber(day), worked, approved,
                   text ? Value::FromString(QString::fromUtf8(text)) : Value()});
}

// A grid of days: the date and hours worked are read-only, the approval is
// typed as HH:MM under a mask, the note is free text.
struct Grid : ::testing::Test
{
    HeadlessFormHost host;
    TForm form{u"frmDias"_s};
    TClientDataSet ds{u"cdsDias"_s};
    TDataSource dts{u"dtsDias"_s};
    TDBGrid* grid = nullptr;
    TEdit* other = nullptr;
    TField* approved = nullptr;
    QStringList errors;

    void SetUp() override
    {
        SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR"_s));
        SetExceptionHandler([this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const EAbort&) {
            } catch (const Exception& x) {
                errors << x.Message();
            }
        });
        ds.AddField(u"DTSERVPREST"_s, TFieldType::ftDateTime)->SetReadOnly(true);
        ds.AddField(u"QTHRTRAB"_s, TFieldType::ftFloat)->SetReadOnly(true);
        approved = ds.AddField(u"QTHRAPROFATU"_s, TFieldType::ftFloat);
        ds.AddField(u"DSOBS"_s, TFieldType::ftString, 10);
        approved->SetEditMask(u"!90:00;1; "_s);
        approved->OnGetText = [](TField* f, QString& text, bool) {
            if (!f->IsNull())
                text = u"%1:%2"_s.arg(static_cast<int>(f->AsFloat()), 2, 10, QLatin1Char('0'))
                           .arg(qRound((f->AsFloat() - static_cast<int>(f->AsFloat())) * 60), 2, 10,
                                QLatin1Char('0'));
        };
        approved->OnSetText = [](TField* f, const QString& text) {
            f->SetAsFloat(text.left(2).trimmed().toInt() + text.mid(3, 2).toInt() / 60.0);
        };
        TDataPacket p;
        p.Fields = ds.FieldDefs();
        p.Rows = {Row(45352, Value::FromNumber(8), Value(), nullptr),
                  Row(45353, Value::FromNumber(7.5), Value::FromNumber(7.5), "ok"),
                  Row(45354, Value::FromNumber(6), Value(), nullptr)};
        ds.SetData(p);
        dts.SetDataSet(&ds);
        form.SetClientSize(600, 300);
        form.SetVisible(true);
        grid = form.Add<TDBGrid>(u"dbgDias"_s);
        grid->SetAlign(TAlign::alClient);
        grid->SetDataSource(&dts);
        grid->AddColumn(u"DTSERVPREST"_s, u"Data"_s, 81);
        grid->AddColumn(u"QTHRTRAB"_s, u"Trabalhadas"_s, 60);
        grid->AddColumn(u"QTHRAPROFATU"_s, u"Faturar"_s);
        grid->AddColumn(u"DSOBS"_s, u"Obs."_s, 63, TColumnButtonStyle::cbsEllipsis);
        other = form.Add<TEdit>(u"edtOutro"_s);
        grid->SetFocus();
    }
    void TearDown() override { SetExceptionHandler(nullptr); }

    void GoToColumn(const char* field)
    {
        grid->SetSelectedIndex(grid->ColumnIndex(QString::fromUtf8(field)));
    }
};

} // namespace

TEST_F(Grid, TypingIntoAnEditableCellPutsTheRowInEditAndStoresOnColumnExit)
{
    GoToColumn("QTHRAPROFATU");
    double seenOnExit = -1;
    grid->OnColExit = [&](TObject*) {
        seenOnExit = approved->AsFloat();
    };
    TypeText(form, u"0730"_s);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
    EXPECT_TRUE(grid->EditorMode());
    EXPECT_EQ(grid->EditorText(), u"07:30"_s);
    EXPECT_TRUE(approved->IsNull()) << "nothing stored while typing";
    PressKey(form, VK_TAB);
    EXPECT_EQ(seenOnExit, 7.5) << "the column exit sees the stored value";
    EXPECT_EQ(approved->AsFloat(), 7.5);
    EXPECT_EQ(grid->SelectedField()->FieldName(), u"DSOBS"_s);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Grid, ReadOnlyColumnsAndGridsWithoutEditingTakeNoTyping)
{
    GoToColumn("QTHRTRAB");
    TypeText(form, u"1"_s);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    GoToColumn("DSOBS");
    grid->SetOptions(grid->Options() & ~dgEditing);
    TypeText(form, u"x"_s);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_FALSE(grid->EditorMode());
    grid->SetOptions(grid->Options() | dgEditing);
    TypeText(form, u"x"_s);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
}

TEST_F(Grid, SilentAbortFromBeforeEditDropsTheKey)
{
    ds.BeforeEdit = [](TDataSet*) {
        Abort();
    };
    GoToColumn("DSOBS");
    TypeText(form, u"abc"_s);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_FALSE(grid->EditorMode());
    EXPECT_TRUE(errors.isEmpty()) << "the abort shows nothing";
}

TEST_F(Grid, HandlersConsumeKeysAndDropCharacters)
{
    GoToColumn("DSOBS");
    grid->OnKeyPress = [](TObject*, QChar& key) {
        if (key == u'z')
            key = QChar();
    };
    grid->OnKeyDown = [](TObject*, TWord& key, TShiftState) {
        if (key == VK_DOWN)
            key = 0;
    };
    TypeText(form, u"zaz"_s);
    EXPECT_EQ(grid->EditorText(), u"a"_s);
    PressKey(form, VK_DOWN);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
}

TEST_F(Grid, ColumnExitCanRefuseAndTheCursorStays)
{
    GoToColumn("QTHRAPROFATU");
    grid->OnColExit = [&](TObject*) {
        if (approved->AsFloat() > ds.FieldByName(u"QTHRTRAB"_s)->AsFloat())
            throw Exception(u"maior que as horas trabalhadas"_s);
    };
    int enters = 0;
    grid->OnColEnter = [&](TObject*) {
        ++enters;
    };
    TypeText(form, u"0900"_s);
    PressKey(form, VK_TAB);
    EXPECT_EQ(errors, QStringList{u"maior que as horas trabalhadas"_s});
    EXPECT_EQ(grid->SelectedIndex(), 2);
    EXPECT_EQ(enters, 0);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
    EXPECT_EQ(approved->AsFloat(), 9) << "stored before the check";
    TypeText(form, u"0800"_s);
    PressKey(form, VK_TAB);
    EXPECT_EQ(grid->SelectedIndex(), 3);
    EXPECT_EQ(enters, 1);
}

TEST_F(Grid, LeavingTheRowPostsItAndARefusedPostKeepsTheCursor)
{
    GoToColumn("QTHRAPROFATU");
    ds.BeforePost = [&](TDataSet*) {
        if (approved->AsFloat() > 8)
            throw Exception(u"recusado"_s);
    };
    TypeText(form, u"0900"_s);
    PressKey(form, VK_DOWN);
    EXPECT_EQ(errors, QStringList{u"recusado"_s});
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
    EXPECT_EQ(approved->AsFloat(), 9) << "the typed text was stored before the post";
    PressKey(form, VK_ESCAPE); // the cell edit has been stored; Escape abandons the row
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(approved->IsNull());
    TypeText(form, u"0730"_s);
    PressKey(form, VK_DOWN);
    EXPECT_EQ(ds.RecNo(), 2);
    ds.First();
    EXPECT_EQ(approved->AsFloat(), 7.5);
    EXPECT_EQ(ds.ChangeCount(), 1);
}

TEST_F(Grid, PostingTheDataSetStoresThePendingEditorText)
{
    GoToColumn("QTHRAPROFATU");
    TypeText(form, u"0615"_s);
    ds.Post();
    EXPECT_EQ(approved->AsFloat(), 6.25);
}

TEST_F(Grid, EscapeAbandonsTheCellEditThenTheRowEdit)
{
    GoToColumn("DSOBS");
    TypeText(form, u"ab"_s);
    PressKey(form, VK_RETURN); // stored into the field, the editor closes
    EXPECT_FALSE(grid->EditorMode());
    TypeText(form, u"cd"_s);
    EXPECT_EQ(grid->EditorText(), u"cd"_s);
    PressKey(form, VK_ESCAPE);
    EXPECT_FALSE(grid->EditorMode());
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
    EXPECT_EQ(ds.FieldByName(u"DSOBS"_s)->AsString(), u"ab"_s);
    PressKey(form, VK_ESCAPE);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(ds.FieldByName(u"DSOBS"_s)->IsNull());
}

TEST_F(Grid, IncompleteMaskedEntryIsRefusedUntilCompletedOrAbandoned)
{
    GoToColumn("QTHRAPROFATU");
    TypeText(form, u"07"_s);
    PressKey(form, VK_TAB);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(grid->SelectedIndex(), 2);
    EXPECT_TRUE(grid->EditorMode());
    PressKey(form, VK_ESCAPE);
    PressKey(form, VK_TAB);
    EXPECT_EQ(grid->SelectedIndex(), 3);
    EXPECT_TRUE(approved->IsNull());
}

TEST_F(Grid, LeavingAnEditorUntouchedStoresNothing)
{
    GoToColumn("QTHRAPROFATU");
    PressKey(form, VK_F2);
    EXPECT_TRUE(grid->EditorMode());
    PressKey(form, VK_TAB);
    EXPECT_TRUE(approved->IsNull());
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
}

TEST_F(Grid, DownOnTheLastRowAppendsInsertInsertsCtrlDeleteDeletes)
{
    ds.Last();
    PressKey(form, VK_DOWN);
    EXPECT_EQ(ds.State(), TDataSetState::dsInsert);
    EXPECT_EQ(ds.RecordCount(), 4);
    PressKey(form, VK_UP); // an untouched appended row goes away
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);

    ds.First();
    PressKey(form, VK_INSERT);
    EXPECT_EQ(ds.State(), TDataSetState::dsInsert);
    EXPECT_EQ(ds.RecNo(), 1);
    PressKey(form, VK_ESCAPE);
    EXPECT_EQ(ds.RecordCount(), 3);

    host.answer = false;
    PressKey(form, VK_DELETE, ssCtrl);
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(host.questions, QStringList{u"Excluir registro?"_s});
    host.answer = true;
    PressKey(form, VK_DELETE, ssCtrl);
    EXPECT_EQ(ds.RecordCount(), 2);
    grid->SetOptions(grid->Options() & ~dgEditing);
    PressKey(form, VK_DELETE, ssCtrl);
    PressKey(form, VK_INSERT);
    ds.Last();
    PressKey(form, VK_DOWN);
    EXPECT_EQ(ds.RecordCount(), 2) << "without editing no row is added or removed";
}

TEST_F(Grid, TabWalksColumnsThenRowsAndShiftTabBack)
{
    for (int i = 0; i < 4; ++i)
        PressKey(form, VK_TAB);
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(grid->SelectedIndex(), 0);
    PressKey(form, VK_TAB, ssShift);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(grid->SelectedIndex(), 3);
    grid->SetOptions(grid->Options() & ~dgTabs);
    PressKey(form, VK_TAB);
    EXPECT_TRUE(other->Focused()) << "without tabs the form moves the focus";
}

TEST_F(Grid, TabPastTheLastCellAppendsARowOnlyWhereRowsMayBeAdded)
{
    ds.Last();
    GoToColumn("DSOBS");
    PressKey(form, VK_TAB);
    EXPECT_EQ(ds.State(), TDataSetState::dsInsert);
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(grid->SelectedIndex(), 0);
    PressKey(form, VK_ESCAPE);
    ASSERT_EQ(ds.RecordCount(), 3);
    ds.Last();
    GoToColumn("DSOBS");
    grid->SetReadOnly(true);
    PressKey(form, VK_TAB);
    EXPECT_EQ(ds.RecordCount(), 3) << "a read-only grid adds no row";
    EXPECT_EQ(grid->SelectedIndex(), 3);
}

TEST_F(Grid, HomeEndAndArrowsWorkInTheCellEditorFirstThenAcrossTheGrid)
{
    GoToColumn("DSOBS");
    TypeText(form, u"abc"_s);
    PressKey(form, VK_HOME);
    TypeText(form, u"x"_s);
    PressKey(form, VK_END);
    TypeText(form, u"y"_s);
    PressKey(form, VK_LEFT);
    TypeText(form, u"z"_s);
    EXPECT_EQ(grid->EditorText(), u"xabczy"_s);
    PressKey(form, VK_BACK);
    PressKey(form, VK_HOME);
    PressKey(form, VK_DELETE);
    PressKey(form, VK_RIGHT);
    EXPECT_EQ(grid->EditorText(), u"abcy"_s);
    EXPECT_EQ(grid->SelectedIndex(), 3) << "inside the text the arrows move the caret";

    PressKey(form, VK_ESCAPE);
    PressKey(form, VK_ESCAPE);
    ASSERT_FALSE(grid->EditorMode());
    PressKey(form, VK_LEFT);
    EXPECT_EQ(grid->SelectedIndex(), 2);
    PressKey(form, VK_HOME);
    EXPECT_EQ(grid->SelectedIndex(), 0);
    PressKey(form, VK_END);
    EXPECT_EQ(grid->SelectedIndex(), 3);
    PressKey(form, VK_END, ssCtrl);
    EXPECT_EQ(ds.RecNo(), 3);
    PressKey(form, VK_HOME, ssCtrl);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(grid->SelectedIndex(), 3) << "Ctrl moves between rows, not columns";
    PressKey(form, VK_NEXT);
    EXPECT_EQ(ds.RecNo(), 3);
    PressKey(form, VK_PRIOR);
    EXPECT_EQ(ds.RecNo(), 1);

    grid->SetOptions(grid->Options() | dgRowSelect);
    PressKey(form, VK_LEFT);
    PressKey(form, VK_RIGHT);
    EXPECT_EQ(grid->SelectedIndex(), 3) << "whole rows selected: no column to move to";
}

// Once the text in the cell's editor is refused, or on Ctrl+A, the whole
// text is selected: what is typed next replaces it instead of going nowhere
// at the end of a full mask.
TEST_F(Grid, TheEditorSelectsItsWholeTextAfterARefusalAndOnCtrlA)
{
    const struct
    {
        const char* name;
        bool refuse;          // the handler refuses hours from 20:00 on
        TShiftState selectBy; // the key pressed after the first text: Ctrl+A or Tab
        const char* expected; // the editor once "0715" is typed
    } cases[] = {
        {"refused on Tab", true, ssNone, "07:15"},
        {"Ctrl+A", false, ssCtrl, "07:15"},
    };
    approved->OnSetText = [](TField* f, const QString& text) {
        if (text.left(2).toInt() >= 20)
            throw Exception(u"Hora inválida: '%1'."_s.arg(text));
        f->SetAsFloat(text.left(2).trimmed().toInt() + text.mid(3, 2).toInt() / 60.0);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        errors.clear();
        GoToColumn("QTHRAPROFATU");
        TypeText(form, c.refuse ? u"9999"_s : u"0930"_s);
        PressKey(form, c.selectBy == ssCtrl ? TWord('A') : TWord(VK_TAB), c.selectBy);
        EXPECT_EQ(errors.size(), c.refuse ? 1 : 0);
        EXPECT_TRUE(grid->EditorAllSelected());
        TypeText(form, u"0715"_s);
        EXPECT_EQ(grid->EditorText(), QString::fromUtf8(c.expected));
        EXPECT_FALSE(grid->EditorAllSelected());
        PressKey(form, VK_ESCAPE);
        PressKey(form, VK_ESCAPE);
    }
}

// A grid selecting whole rows still walks its columns with Left and Right,
// so that the view brings the last one into sight.
TEST_F(Grid, LeftAndRightReachEveryColumnOfARowSelectGrid)
{
    grid->SetOptions(grid->Options() | dgRowSelect);
    GoToColumn("DTSERVPREST");
    QList<int> walked;
    for (TWord key : {VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_LEFT}) {
        PressKey(form, key);
        walked << grid->SelectedIndex();
    }
    EXPECT_EQ(walked, (QList<int>{1, 2, 3, 3, 2}));
    EXPECT_EQ(ds.RecNo(), 1) << "the row stays";
}

TEST_F(Grid, ASetTextHandlerThatRefusesKeepsTheTypedTextToFix)
{
    approved->OnSetText = [](TField*, const QString&) {
        throw Exception(u"Horas inválidas."_s);
    };
    GoToColumn("QTHRAPROFATU");
    TypeText(form, u"0930"_s);
    PressKey(form, VK_TAB);
    EXPECT_EQ(errors, QStringList{u"Horas inválidas."_s});
    EXPECT_EQ(grid->SelectedIndex(), 2);
    EXPECT_TRUE(grid->EditorModified()) << "the text is still to be stored";
    EXPECT_EQ(grid->EditorText(), u"09:30"_s);
    PressKey(form, VK_RETURN);
    EXPECT_EQ(errors.size(), 2) << "storing it again asks the handler again";
    EXPECT_TRUE(approved->IsNull());
}

TEST_F(Grid, EditButtonOnlyOnItsColumnWhileEditable)
{
    int clicks = 0;
    grid->OnEditButtonClick = [&](TObject*) {
        ++clicks;
    };
    GoToColumn("QTHRAPROFATU");
    EXPECT_FALSE(grid->ShowsEditButton(3));
    grid->ClickEditButton();
    GoToColumn("DSOBS");
    EXPECT_TRUE(grid->ShowsEditButton(3));
    grid->ClickEditButton();
    grid->SetEnabled(false);
    grid->ClickEditButton();
    EXPECT_EQ(clicks, 1);
}

TEST_F(Grid, DisabledGridIgnoresInput)
{
    GoToColumn("DSOBS");
    grid->SetEnabled(false);
    QChar key = u'a';
    grid->KeyPress(key);
    TWord down = VK_DOWN;
    grid->KeyDown(down, ssNone);
    grid->ClickCell(2, 0);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
}

TEST_F(Grid, ClickingACellMovesRowAndColumnAndFocusControlMovesColumn)
{
    grid->ClickCell(2, 3);
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_EQ(grid->SelectedIndex(), 3);
    ds.FieldByName(u"QTHRAPROFATU"_s)->FocusControl();
    EXPECT_EQ(grid->SelectedIndex(), 2);
}

TEST_F(Grid, PaintingPreparesTheCanvasAndCallsTheDrawHandlerPerRow)
{
    grid->SetDefaultDrawing(false);
    QList<double> painted;
    grid->OnDrawColumnCell = [&](TObject*, const QRect& rect, int, TColumn* column,
                                 TGridDrawState) {
        painted << ds.FieldByName(u"QTHRTRAB"_s)->AsFloat();
        TCanvas* canvas = grid->Canvas();
        canvas->FillRect(rect);
        if (ds.FieldByName(u"QTHRTRAB"_s)->AsFloat() > 7)
            canvas->Font.Color = clRed;
        canvas->TextRect(rect, rect.left() + 2, rect.top() + 2, column->Field()->DisplayText());
    };
    RecordingCanvas canvas;
    for (int row = 0; row < grid->RowCount(); ++row)
        grid->PaintCell(canvas, row, 1, QRect(0, row * 18, 60, 18));
    EXPECT_EQ(painted, (QList<double>{8, 7.5, 6}));
    ASSERT_EQ(canvas.texts.size(), 3);
    EXPECT_EQ(canvas.texts[0].color, clRed);
    EXPECT_EQ(canvas.texts[2].color, clWindowText);
    EXPECT_EQ(ds.RecNo(), 1) << "painting does not move the cursor";
}

TEST_F(Grid, DefaultDrawingRightAlignsNumbersAndShowsTheSelection)
{
    RecordingCanvas canvas;
    const QRect rect(100, 0, 60, 18);
    grid->PaintCell(canvas, 0, 1, rect); // current row, not the current column
    ASSERT_EQ(canvas.texts.size(), 1);
    EXPECT_EQ(canvas.texts[0].text, u"8"_s);
    EXPECT_EQ(canvas.texts[0].x, rect.right() - 1 - 6);
    EXPECT_EQ(canvas.fillColors[0], clWindow);
    grid->PaintCell(canvas, 0, 0, QRect(0, 0, 81, 18));
    EXPECT_EQ(canvas.fillColors[1], clHighlight) << "the focused current cell is selected";
    EXPECT_EQ(canvas.texts[1].x, 2);
    EXPECT_EQ(grid->CellText(1, 2), u"07:30"_s);
}

TEST_F(Grid, CtrlEnterRunsTheEllipsisButtonOfTheCellAsTheMouseDoes)
{
    int clicks = 0;
    grid->OnEditButtonClick = [&](TObject*) {
        ++clicks;
    };
    GoToColumn("QTHRAPROFATU");
    PressKey(form, VK_RETURN, ssCtrl);
    EXPECT_EQ(clicks, 0) << "a cell without a button";
    EXPECT_TRUE(grid->EditorMode()) << "there Ctrl+Enter is Enter";
    PressKey(form, VK_ESCAPE);

    GoToColumn("DSOBS");
    PressKey(form, VK_RETURN, ssCtrl);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(grid->EditorMode()) << "the button ran instead of the editor";
    PressKey(form, VK_RETURN);
    EXPECT_EQ(clicks, 1) << "plain Enter opens the editor";
    EXPECT_TRUE(grid->EditorMode());

    grid->SetReadOnly(true); // no button is offered now
    PressKey(form, VK_RETURN, ssCtrl);
    EXPECT_EQ(clicks, 1);
}

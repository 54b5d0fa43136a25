// The grid on screen: a thin model over the headless grid, cells painted by
// the grid's own painting, the in-place editor, keys and clicks handed back.
#include "host/ui/editors.h"
#include "tests/qt/gui_fixture.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// A grid of days: the approved hours typed under the hour mask, the note
// with an ellipsis button; a day over eight hours is painted red.
struct GridView : GuiTest
{
    TForm form{u"frmDias"_s};
    TClientDataSet ds{u"cdsDias"_s};
    TDataSource dts{u"dtsDias"_s};
    TDBGrid* grid = nullptr;
    TField* horas = nullptr;
    int painted = 0;
    int buttonClicks = 0;
    std::unique_ptr<TFormView> view;
    TGridView* gridView = nullptr;

    void SetUp() override
    {
        GuiTest::SetUp();
        horas = ds.AddField(u"HORAS"_s, TFieldType::ftFloat);
        HoursField(horas);
        ds.AddField(u"DIA"_s, TFieldType::ftString, 10);
        ds.AddField(u"OBS"_s, TFieldType::ftString, 20);
        dts.SetDataSet(&ds);
        form.SetClientSize(400, 300);
        form.SetVisible(true);
        grid = form.Add<TDBGrid>(u"dbgDias"_s);
        grid->SetAlign(TAlign::alClient);
        grid->SetDataSource(&dts);
        grid->SetColor(clInfoBk);
        grid->AddColumn(u"HORAS"_s, u"Horas"_s, 70);
        grid->AddColumn(u"DIA"_s, u"Dia"_s, 90);
        grid->AddColumn(u"OBS"_s, u"Obs."_s, 120, TColumnButtonStyle::cbsEllipsis);
        grid->SetOptions(grid->Options() & ~dgIndicator);
        grid->SetDefaultDrawing(false);
        grid->OnDrawColumnCell = [this](TObject*, const QRect& rect, int, TColumn* column,
                                        TGridDrawState) {
            ++painted;
            TCanvas* canvas = grid->Canvas();
            canvas->FillRect(rect);
            if (ds.FieldByName(u"HORAS"_s)->AsFloat() > 8)
                canvas->Font.Color = clRed;
            canvas->TextRect(rect, rect.left() + 2, rect.top() + 2, column->Field()->DisplayText());
        };
        grid->OnEditButtonClick = [this](TObject*) {
            ++buttonClicks;
        };
    }
    void TearDown() override
    {
        view.reset();
        GuiTest::TearDown();
    }

    void Fill(int rows, int redRow = -1)
    {
        ds.Close();
        ds.CreateDataSet();
        ds.DisableControls();
        for (int i = 0; i < rows; ++i) {
            ds.Append();
            ds.FieldByName(u"DIA"_s)->SetAsString(u"dia %1"_s.arg(i + 1));
            ds.FieldByName(u"HORAS"_s)->SetAsFloat(i == redRow ? 10.5 : 8);
            ds.Post();
        }
        ds.First();
        ds.EnableControls();
    }
    void Show()
    {
        view = std::make_unique<TFormView>(form);
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
        gridView = dynamic_cast<TGridView*>(view->WidgetOf(grid));
        ASSERT_NE(gridView, nullptr);
    }
    QRect CellRect(int row, int column)
    {
        return gridView->visualRect(gridView->model()->index(row, column));
    }
};

} // namespace

TEST_F(GridView, TypingIntoAMaskedColumnReachesTheHeadlessGrid)
{
    Fill(3);
    Show();
    QTest::mouseClick(gridView->viewport(), Qt::LeftButton, {}, CellRect(1, 0).center());
    ASSERT_EQ(form.ActiveControl(), grid);
    ASSERT_EQ(ds.RecNo(), 2);
    ASSERT_EQ(grid->SelectedIndex(), 0);

    QTest::keyClicks(gridView, u"07"_s);
    // The in-place editor shows the grid's editor text, mask blanks and all.
    ASSERT_TRUE(gridView->CellEditor()->isVisible());
    EXPECT_EQ(gridView->CellEditor()->text(), grid->EditorText());
    EXPECT_EQ(gridView->CellEditor()->text(), u"07:  "_s);
    EXPECT_EQ(gridView->CellEditor()->geometry(), CellRect(1, 0));
    QTest::keyClicks(gridView, u"30"_s);
    EXPECT_EQ(gridView->CellEditor()->text(), u"07:30"_s);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);

    QTest::keyClick(gridView, Qt::Key_Tab);
    EXPECT_EQ(horas->AsFloat(), 7.5);
    EXPECT_EQ(grid->SelectedIndex(), 1);
    EXPECT_FALSE(gridView->CellEditor()->isVisible());
    EXPECT_EQ(gridView->model()->data(gridView->model()->index(1, 0)).toString(), u"07:30"_s);

    // An incomplete entry is refused by the grid, and said so.
    QTest::keyClick(gridView, Qt::Key_Tab, Qt::ShiftModifier);
    QTest::keyClicks(gridView, u"1"_s);
    QTest::keyClick(gridView, Qt::Key_Tab);
    EXPECT_EQ(grid->SelectedIndex(), 0);
    ASSERT_EQ(desktop->Messages().size(), 1);
    EXPECT_TRUE(desktop->Messages()[0].startsWith(u"Valor de entrada inválido"_s));
    QTest::keyClick(gridView, Qt::Key_Escape);
    EXPECT_EQ(horas->AsFloat(), 7.5) << "Escape gives the cell back";
}

TEST_F(GridView, ARedRowIsRedInAPictureOfTheGrid)
{
    Fill(4, 2);
    Show();
    const QImage picture = gridView->viewport()->grab().toImage();
    for (int row = 0; row < 4; ++row) {
        const QRect line = CellRect(row, 0).united(CellRect(row, 1));
        if (row == 2)
            EXPECT_GT(RedPixels(picture, line), 20) << "row " << row;
        else
            EXPECT_EQ(RedPixels(picture, line), 0) << "row " << row;
    }
    // The grid's info-tip colour is the cells' background.
    const QColor back = picture.pixelColor(CellRect(3, 1).right() - 3, CellRect(3, 1).center().y());
    EXPECT_EQ(back, gridView->palette().color(QPalette::Active, QPalette::ToolTipBase));
}

TEST_F(GridView, ClicksMoveTheCursorAndTheEllipsisButtonRunsItsHandler)
{
    Fill(5);
    Show();
    QTest::mouseClick(gridView->viewport(), Qt::LeftButton, {}, CellRect(3, 2).center());
    EXPECT_EQ(ds.RecNo(), 4);
    EXPECT_EQ(grid->SelectedIndex(), 2);
    ASSERT_TRUE(gridView->EditButton()->isVisible());
    EXPECT_TRUE(CellRect(3, 2).contains(gridView->EditButton()->geometry()));
    gridView->EditButton()->click();
    EXPECT_EQ(buttonClicks, 1);
    QTest::keyClick(gridView, Qt::Key_Up);
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_TRUE(CellRect(2, 2).contains(gridView->EditButton()->geometry()));
}

TEST_F(GridView, TheModelFollowsRowsAddedAndRemoved)
{
    Fill(3);
    Show();
    QAbstractItemModelTester tester(gridView->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    ds.Last();
    ds.Append();
    ds.FieldByName(u"DIA"_s)->SetAsString(u"novo"_s);
    ds.Post();
    EXPECT_EQ(gridView->model()->rowCount(), 4);
    EXPECT_EQ(gridView->model()->data(gridView->model()->index(3, 1)).toString(), u"novo"_s);
    ds.First();
    ds.Delete();
    EXPECT_EQ(gridView->model()->rowCount(), 3);
    ds.Close();
    EXPECT_EQ(gridView->model()->rowCount(), 0);
    Fill(2);
    EXPECT_EQ(gridView->model()->rowCount(), 2);
}

TEST_F(GridView, ALargeDataSetIsReadOnlyWhereItShows)
{
    const int rows = 100000;
    Fill(rows, rows - 1);
    Show();
    painted = 0;
    QElapsedTimer timer;
    timer.start();
    gridView->viewport()->grab();
    const qint64 firstPaint = timer.nsecsElapsed() / 1000;
    const int visibleRows = gridView->viewport()->height() / TDBGrid::kRowHeight + 2;
    EXPECT_GT(painted, 0);
    EXPECT_LE(painted, visibleRows * 3) << "only the rows on screen are painted";

    // Ctrl+End goes to the last row through the headless grid; the view
    // follows and shows it (red: over eight hours).
    QTest::mouseClick(gridView->viewport(), Qt::LeftButton, {}, CellRect(0, 1).center());
    timer.restart();
    QTest::keyClick(gridView, Qt::Key_End, Qt::ControlModifier);
    painted = 0;
    const QImage picture = gridView->viewport()->grab().toImage();
    const qint64 jump = timer.nsecsElapsed() / 1000;
    EXPECT_EQ(ds.RecNo(), rows);
    EXPECT_EQ(gridView->verticalScrollBar()->value(), gridView->verticalScrollBar()->maximum());
    EXPECT_GT(RedPixels(picture, CellRect(rows - 1, 1)), 10);
    EXPECT_LE(painted, visibleRows * 3);
    RecordProperty("first_paint_us", static_cast<int>(firstPaint));
    RecordProperty("jump_to_end_us", static_cast<int>(jump));
    std::printf("grade de %d linhas: primeira pintura %lld us, Ctrl+End e pintura %lld us\n", rows,
                static_cast<long long>(firstPaint), static_cast<long long>(jump));
}

TEST_F(GridView, CtrlEnterRunsTheEllipsisButtonFromTheKeyboard)
{
    Fill(3);
    Show();
    grid->SetFocus();
    QTest::keyClick(gridView, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(buttonClicks, 0) << "the hours have no button";
    QTest::keyClick(gridView, Qt::Key_Escape);
    QTest::keyClick(gridView, Qt::Key_End);
    ASSERT_EQ(grid->SelectedIndex(), 2);
    QTest::keyClick(gridView, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(buttonClicks, 1);
    QTest::keyClick(gridView, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(buttonClicks, 2) << "the keypad's Enter too";
    EXPECT_FALSE(grid->EditorMode());
}

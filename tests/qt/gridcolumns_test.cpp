// Column widths are given in pixels of the design font; the font standing
// in for it on screen is wider, and titles and values still show whole.
#include "host/qt/qtconvert.h"
#include "tests/qt/gui_fixture.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// The approval screen's days and CHT grids as the screen lays them out:
// narrow design widths, dates drawn with their weekday by the screen's
// draw handler, hours right-aligned by the grid.
struct GridColumns : GuiTest
{
    TForm form{u"frmColunas"_s};
    TClientDataSet days{u"cdsDias"_s};
    TClientDataSet chts{u"cdsCHT"_s};
    TDataSource dtsDays{u"dtsDias"_s};
    TDataSource dtsChts{u"dtsCHT"_s};
    TDBGrid* dbgCSA = nullptr;
    TDBGrid* dbgCHT = nullptr;
    std::unique_ptr<TFormView> view;

    void SetUp() override
    {
        GuiTest::SetUp();
        form.SetClientSize(900, 300);
        form.SetVisible(true);
        BuildDays();
        BuildChts();
        view = std::make_unique<TFormView>(form);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }
    void TearDown() override
    {
        view.reset();
        GuiTest::TearDown();
    }

    void BuildDays()
    {
        days.AddField(u"DTSERVPREST"_s, TFieldType::ftString, 10);
        const QStringList hours{u"QTHRTRAB"_s, u"QTHRAPROFATU"_s, u"QTHRAPRCOMIS"_s};
        for (const QString& name : hours)
            HoursField(days.AddField(name, TFieldType::ftFloat));
        days.AddField(u"DSOCORR"_s, TFieldType::ftString, 40);
        dtsDays.SetDataSet(&days);
        days.CreateDataSet();
        const QStringList notes{u"Atestado médico"_s, QString(), u"Feriado municipal"_s};
        for (int i = 0; i < 3; ++i) {
            days.Append();
            days.FieldByName(u"DTSERVPREST"_s)->SetAsString(u"0%1/02/2025"_s.arg(i + 3));
            for (const QString& name : hours)
                days.FieldByName(name)->SetAsFloat(10.5);
            days.FieldByName(u"DSOCORR"_s)->SetAsString(notes[i]);
            days.Post();
        }
        days.First();
        dbgCSA = form.Add<TDBGrid>(u"dbgCSA"_s);
        dbgCSA->SetBounds(0, 0, 500, 300);
        dbgCSA->SetDataSource(&dtsDays);
        dbgCSA->AddColumn(u"DTSERVPREST"_s, u"Data"_s, 81);
        dbgCSA->AddColumn(u"QTHRTRAB"_s, u"Hrs.Serv.Prestado"_s, 94);
        dbgCSA->AddColumn(u"QTHRAPROFATU"_s, u"Hrs.Serv.Fat."_s);
        dbgCSA->AddColumn(u"QTHRAPRCOMIS"_s, u"Hrs.Comissão"_s, 67);
        dbgCSA->AddColumn(u"DSOCORR"_s, u"Ocorrência"_s, 63, TColumnButtonStyle::cbsEllipsis);
        dbgCSA->SetDefaultDrawing(false);
        dbgCSA->OnDrawColumnCell = [this](TObject*, const QRect& rect, int col, TColumn* column,
                                          TGridDrawState state) {
            TCanvas* canvas = dbgCSA->Canvas();
            canvas->FillRect(rect);
            QString text = column->Field()->DisplayText();
            if (column->FieldName() == u"DTSERVPREST")
                text += u" qua"_s;
            canvas->TextRect(rect, rect.left() + 2, rect.top() + 2, text);
            if (column->FieldName().startsWith(u"QT"))
                dbgCSA->DefaultDrawColumnCell(*canvas, rect, col, column, state);
        };
    }
    void BuildChts()
    {
        chts.AddField(u"NRSEQUCHT"_s, TFieldType::ftString, 6);
        chts.AddField(u"DTINCLCHT"_s, TFieldType::ftString, 10);
        chts.AddField(u"NMOPERADOR"_s, TFieldType::ftString, 50);
        dtsChts.SetDataSet(&chts);
        chts.CreateDataSet();
        chts.Append();
        chts.FieldByName(u"NRSEQUCHT"_s)->SetAsString(u"123456"_s);
        chts.FieldByName(u"DTINCLCHT"_s)->SetAsString(u"28/02/2025"_s);
        chts.FieldByName(u"NMOPERADOR"_s)->SetAsString(u"Administrador do Sistema"_s);
        chts.Post();
        dbgCHT = form.Add<TDBGrid>(u"dbgCHT"_s);
        dbgCHT->SetBounds(500, 0, 400, 300);
        dbgCHT->SetDataSource(&dtsChts);
        dbgCHT->AddColumn(u"NRSEQUCHT"_s, u"Nr. CHT"_s, 45);
        dbgCHT->AddColumn(u"DTINCLCHT"_s, u"Dt. Geração CHT"_s, 90);
        dbgCHT->AddColumn(u"NMOPERADOR"_s, u"Operador"_s, 112);
    }

    TGridView* ViewOf(TDBGrid* grid) { return dynamic_cast<TGridView*>(view->WidgetOf(grid)); }
    // The room a title needs in its header section: its text and the
    // style's margins on both sides.
    static int TitleRoom(const TGridView* gridView, const TDBGrid* grid, int column)
    {
        const QHeaderView* header = gridView->horizontalHeader();
        const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        return QFontMetrics(QtFont(grid->TitleFont()))
                   .horizontalAdvance(grid->Column(column)->TitleCaption()) +
               2 * margin;
    }
};

} // namespace

TEST_F(GridColumns, EveryTitleShowsWholeInTheFontOnScreen)
{
    const int designWidths[] = {81, 94, dbgCSA->Column(2)->Width(), 67, 63};
    for (TDBGrid* grid : {dbgCSA, dbgCHT}) {
        TGridView* gridView = ViewOf(grid);
        ASSERT_NE(gridView, nullptr);
        for (int i = 0; i < grid->ColumnCount(); ++i)
            EXPECT_LE(TitleRoom(gridView, grid, i), gridView->columnWidth(i))
                << grid->Column(i)->TitleCaption().toStdString();
    }
    // The headless grid keeps the widths it was given.
    for (int i = 0; i < dbgCSA->ColumnCount(); ++i)
        EXPECT_EQ(dbgCSA->Column(i)->Width(), designWidths[i]);
}

TEST_F(GridColumns, EveryValueOnScreenShowsWholeAsItIsDrawn)
{
    const QFontMetrics metrics(QtFont(dbgCSA->Font()));
    TGridView* gridView = ViewOf(dbgCSA);
    ASSERT_NE(gridView, nullptr);
    EXPECT_LE(metrics.horizontalAdvance(u"03/02/2025 qua"_s) + 4, gridView->columnWidth(0))
        << "the date with its weekday, as the draw handler writes it";
    EXPECT_LE(metrics.horizontalAdvance(u"Feriado municipal"_s) + 4, gridView->columnWidth(4));
    TGridView* chtView = ViewOf(dbgCHT);
    ASSERT_NE(chtView, nullptr);
    EXPECT_LE(metrics.horizontalAdvance(u"Administrador do Sistema"_s) + 4,
              chtView->columnWidth(2));

    // A value typed in later widens its column as soon as it is there.
    days.Last();
    days.Edit();
    days.FieldByName(u"DSOCORR"_s)->SetAsString(u"Licença maternidade prorrogada"_s);
    days.Post();
    EXPECT_LE(metrics.horizontalAdvance(u"Licença maternidade prorrogada"_s) + 4,
              gridView->columnWidth(4));
}

TEST_F(GridColumns, AColumnTheUserResizedKeepsItsWidth)
{
    TGridView* gridView = ViewOf(dbgCSA);
    ASSERT_NE(gridView, nullptr);
    gridView->horizontalHeader()->resizeSection(0, 40);
    EXPECT_EQ(dbgCSA->Column(0)->Width(), 40);
    days.Next();
    EXPECT_EQ(gridView->columnWidth(0), 40) << "the user's narrow column is not fitted again";
}

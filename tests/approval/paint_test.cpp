// Red rows and code captions.
#include "tests/approval/approval_fixture.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct Painting : ApprovalScreen
{
    // The colour every column of a row is written in, and the x of each.
    QList<TColor> RowColours(TDBGrid* grid, int row)
    {
        QList<TColor> colours;
        for (int col = 0; col < grid->ColumnCount(); ++col) {
            RecordingCanvas canvas;
            grid->PaintCell(canvas, row, col, QRect(col * 80, row * 18, 80, 18));
            for (const auto& t : canvas.texts)
                colours << t.color;
        }
        return colours;
    }
    bool Red(TDBGrid* grid, int row)
    {
        const QList<TColor> c = RowColours(grid, row);
        EXPECT_FALSE(c.isEmpty());
        const bool red = c.first() == clRed;
        for (TColor x : c)
            EXPECT_EQ(x == clRed, red) << "one colour per row";
        return red;
    }
};

} // namespace

TEST_F(Painting, OvertimeAndWeekendDaysAreRed)
{
    const double mon = EncodeDate(2030, 3, 4), sat = EncodeDate(2030, 3, 9),
                 sun = EncodeDate(2030, 3, 10);
    Days({{mon, 8.0, {}, {}},
          {mon + 1, 8.01, {}, {}},
          {sat, 0.5, {}, {}},
          {sun, 0.0, {}, {}},
          {sun + 7, std::nullopt, {}, {}}});
    TDBGrid* grid = form->dbgCSA;
    EXPECT_FALSE(Red(grid, 0)) << "exactly 8 hours on a weekday";
    EXPECT_TRUE(Red(grid, 1));
    EXPECT_TRUE(Red(grid, 2)) << "half an hour on a Saturday";
    EXPECT_FALSE(Red(grid, 3)) << "a Sunday with no hours";
    EXPECT_FALSE(Red(grid, 4)) << "a gap day on a Sunday";
    // Under a locale whose day names are others, only the hours count.
    SetFormatSettings(TFormatSettings::ForLocale(u"C"_s));
    EXPECT_FALSE(Red(grid, 2));
    EXPECT_TRUE(Red(grid, 1));
}

TEST_F(Painting, HoursAreRightAlignedAndTheOtherColumnsLeft)
{
    Days({{EncodeDate(2030, 3, 4), 7.5, {}, {}}});
    TDBGrid* grid = form->dbgCSA;
    for (int col = 0; col < grid->ColumnCount(); ++col) {
        RecordingCanvas canvas;
        const QRect rect(0, 0, 80, 18);
        grid->PaintCell(canvas, 0, col, rect);
        ASSERT_FALSE(canvas.texts.isEmpty());
        const auto& last = canvas.texts.last();
        const QString name = grid->Column(col)->FieldName();
        if (name.startsWith(u"QTHR"))
            EXPECT_EQ(last.x, rect.right() - 1 - canvas.TextWidth(last.text)) << name.toStdString();
        else
            EXPECT_EQ(last.x, rect.left() + 2) << name.toStdString();
        EXPECT_EQ(canvas.fills.first(), rect);
    }
}

TEST_F(Painting, ASelectedCellKeepsItsBackgroundAndRedText)
{
    Days({{EncodeDate(2030, 3, 4), 9.0, {}, {}}});
    form->Show();
    form->dbgCSA->SetFocus();
    RecordingCanvas canvas;
    form->dbgCSA->PaintCell(canvas, 0, form->dbgCSA->SelectedIndex(), QRect(0, 0, 80, 18));
    EXPECT_EQ(canvas.fillColors.first(), clHighlight);
    EXPECT_EQ(canvas.texts.first().color, clRed);
}

TEST_F(Painting, FixedValueChtShortOfItsHoursIsRed)
{
    TClientDataSet& cht = form->cdsCHT;
    TDataPacket p;
    p.Fields = cht.FieldDefs();
    const auto row = [&](const char* billing, double contracted, double worked,
                         const char* status) {
        TRowValues r(static_cast<std::size_t>(p.Fields.size()));
        r[static_cast<std::size_t>(p.FieldIndex(u"IDTIPOCOBRCONT"_s))] =
            Value::FromString(QString::fromUtf8(billing));
        r[static_cast<std::size_t>(p.FieldIndex(u"QTSERVCONT"_s))] = Value::FromNumber(contracted);
        r[static_cast<std::size_t>(p.FieldIndex(u"QTHRTRAB"_s))] = Value::FromNumber(worked);
        r[static_cast<std::size_t>(p.FieldIndex(u"IDSTATUSCHT"_s))] =
            Value::FromString(QString::fromUtf8(status));
        p.Rows.push_back(std::make_shared<const TRowValues>(std::move(r)));
    };
    row("F", 40, 32, "P");
    row("F", 40, 40, "A");
    row("H", 40, 32, "R");
    row("F", 40, 41, "N");
    row("F", 40, 41, "r");
    cht.AfterScroll = nullptr;
    cht.SetData(p);
    EXPECT_TRUE(Red(form->dbgCHT, 0));
    EXPECT_FALSE(Red(form->dbgCHT, 1));
    EXPECT_FALSE(Red(form->dbgCHT, 2));
    EXPECT_FALSE(Red(form->dbgCHT, 3));
    QStringList words;
    for (int r = 0; r < 5; ++r)
        words << form->dbgCHT->CellText(r, 0);
    EXPECT_EQ(words, (QStringList{u"Pendente"_s, u"Aprovada"_s, u"Faturada"_s, u"Não faturar"_s,
                                  QString()}));
}

TEST_F(Painting, BillingTypesShowAsWords)
{
    for (const auto& [code, word] : {std::pair{"H", "Vr. Hora"},
                                     {"F", "Vr. Fixo"},
                                     {"P", "Vr. Pacote"},
                                     {"p", ""},
                                     {"", ""}}) {
        Service(*code ? code : nullptr, 40, 10);
        EXPECT_EQ(form->cdsServPrest.FieldByName(u"IDTIPOCOBRCONT"_s)->DisplayText(),
                  QString::fromUtf8(word))
            << code;
    }
}

// The number texts written without heap strings (PDF coordinates, a
// statement's dates and weekdays, the export's cells) against the Qt and
// system formatters they stand in for, over many values: random ones,
// exact halves, the edges of each fast range and values past them (which
// must either match or be left to the formatter).
#include "host/data/formatsettings.h"
#include "server/common/clock.h"
#include "server/documents/pdfwriter.h"
#include "server/documents/statement.h"
#include "server/documents/statementparts.h"
#include "server/firmdata/tables.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

// Values of every kind the writers meet: random decimals, multiples of an
// eighth (exact halves at two decimals), whole days and moments over the
// years, any bit pattern, and the edges.
std::vector<double> Values()
{
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> small(0, 1000), days(-700000, 3100000);
    std::vector<double> values = {0.0,    -0.0,    0.005,   0.125, 0.375,   2.675,    1e-7,
                                  1e9,    1e15,    -1e15,   1e16,  2.5e-5,  -0.125,   595.28,
                                  841.89, 2958465, 2958466, -1,    -657434, 657434.5, 1e300};
    for (int i = 0; i < 50000; ++i) {
        values.push_back(small(random));
        values.push_back(std::round(small(random) * 8) / 8);
        values.push_back(std::round(days(random)));
        values.push_back(days(random));
        const std::uint64_t bits = random();
        double any = 0;
        std::memcpy(&any, &bits, sizeof any);
        if (std::isfinite(any))
            values.push_back(any);
    }
    return values;
}

TEST(NumberText, PdfNumbersAreQtsTwoDecimals)
{
    for (const double v : Values()) {
        QByteArray ours;
        TPdfWriter::AppendNumber(ours, v);
        ASSERT_EQ(ours, QByteArray::number(v, 'f', 2)) << v;
    }
}

TEST(NumberText, ExportCellsAreFormatCellsText)
{
    const TColumnKind kinds[] = {TColumnKind::Day, TColumnKind::Moment, TColumnKind::Integer,
                                 TColumnKind::Number, TColumnKind::Hours};
    int fast = 0;
    for (const TColumnKind kind : kinds) {
        TColumn column;
        column.Kind = kind;
        for (const double v : Values()) {
            QByteArray ours;
            if (!AppendFormattedNumber(ours, column, v)) {
                ASSERT_TRUE(ours.isEmpty());
                continue;
            }
            ++fast;
            // The export hands FormatCell a whole number as an integer.
            const bool whole = kind == TColumnKind::Day || kind == TColumnKind::Integer;
            const QVariant stored = whole ? QVariant(static_cast<qlonglong>(v)) : QVariant(v);
            ASSERT_EQ(ours.toStdString(), FormatCell(column, stored).toStdString())
                << v << " of kind " << static_cast<int>(kind);
        }
    }
    EXPECT_GT(fast, 250000) << "most values take the fast way";
}

TEST(NumberText, StatementDaysAreFormatDateTimes)
{
    for (const double v : Values()) {
        if (v < kMinDateTime || v > kMaxDateTime)
            continue;
        TChtStatementLine line;
        line.Day = v;
        line.Worked = std::fmod(std::abs(v), 25);
        const TDayTexts texts(line);
        ASSERT_EQ(texts.Date(), FormatDateTime(u"dd/mm/yyyy"_s, v, BrazilFormat()).toStdString())
            << v;
        ASSERT_EQ(texts.Weekday(), FormatDateTime(u"dddd"_s, v, BrazilFormat()).toStdString()) << v;
    }
}

} // namespace

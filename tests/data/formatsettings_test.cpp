#include "host/data/formatsettings.h"
#include "tests/support/env.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

const TFormatSettings kBr = TFormatSettings::ForLocale(u"pt_BR.UTF-8"_s);
const TFormatSettings kC = TFormatSettings::ForLocale(u"C"_s);

} // namespace

TEST(FormatSettings, BrazilianDayNamesHaveNoTrailingDot)
{
    EXPECT_EQ(kBr.ShortDayNames,
              (QStringList{u"dom"_s, u"seg"_s, u"ter"_s, u"qua"_s, u"qui"_s, u"sex"_s, u"sáb"_s}));
    EXPECT_EQ(kBr.ShortDateFormat, u"dd/mm/yyyy"_s);
    EXPECT_EQ(kBr.DecimalSeparator, u',');
    EXPECT_EQ(kBr.ThousandSeparator, u'.');
    EXPECT_EQ(kC.ShortDayNames.first(), u"Sun"_s);
    EXPECT_EQ(kC.ShortDayNames.last(), u"Sat"_s);
}

TEST(FormatSettings, EnvironmentChoosesTheLocale)
{
    {
        test::ScopedEnv all("LC_ALL", nullptr), time("LC_TIME", nullptr),
            numeric("LC_NUMERIC", nullptr), lang("LANG", "pt_BR.UTF-8");
        EXPECT_EQ(TFormatSettings::FromEnvironment().ShortDayNames[6], u"sáb"_s);
    }
    {
        test::ScopedEnv all("LC_ALL", "C"), lang("LANG", "pt_BR.UTF-8");
        EXPECT_EQ(TFormatSettings::FromEnvironment().ShortDayNames[6], u"Sat"_s);
    }
    {
        test::ScopedEnv all("LC_ALL", nullptr), time("LC_TIME", "pt_BR.UTF-8"),
            numeric("LC_NUMERIC", "C"), lang("LANG", nullptr);
        const TFormatSettings fs = TFormatSettings::FromEnvironment();
        EXPECT_EQ(fs.ShortDayNames[0], u"dom"_s);
        EXPECT_EQ(fs.DecimalSeparator, u'.');
    }
    {
        test::ScopedEnv all("LC_ALL", "de_DE.UTF-8");
        const TFormatSettings fs = TFormatSettings::FromEnvironment();
        EXPECT_EQ(fs.DecimalSeparator, u',');
        EXPECT_TRUE(fs.ShortDateFormat.contains(u"yyyy"_s)) << fs.ShortDateFormat.toStdString();
        EXPECT_FALSE(fs.ShortDayNames[0].endsWith(u'.'));
    }
}

TEST(FormatDateTime, PatternsOfTheScreens)
{
    const TDateTime sat = EncodeDate(2024, 3, 2);
    EXPECT_EQ(FormatDateTime(u"ddddd ddd"_s, sat, kBr), u"02/03/2024 sáb"_s);
    EXPECT_EQ(FormatDateTime(u"ddd"_s, sat + 1, kBr), u"dom"_s);
    EXPECT_EQ(FormatDateTime(u"ddddd ddd"_s, sat, kC), u"03/02/2024 Sat"_s);
    EXPECT_EQ(FormatDateTime(u"dddd, d 'de' mmmm 'de' yyyy"_s, sat, kBr),
              u"sábado, 2 de março de 2024"_s);
    EXPECT_EQ(FormatDateTime(u"dd/mm/yy hh:nn:ss"_s, sat + 0.75 + 30.0 / 86400, kBr),
              u"02/03/24 18:00:30"_s);
    EXPECT_EQ(DateTimeToStr(sat, kBr), u"02/03/2024"_s);
    EXPECT_EQ(DateTimeToStr(sat + 0.5, kBr), u"02/03/2024 12:00:00"_s);
}

TEST(FormatDateTime, MRightAfterAnHourIsMinutesOtherwiseTheMonth)
{
    const TDateTime t = EncodeDate(2024, 3, 2) + (9 * 60 + 5) / 1440.0;
    EXPECT_EQ(FormatDateTime(u"hh:mm"_s, t, kC), u"09:05"_s);
    EXPECT_EQ(FormatDateTime(u"h:m"_s, t, kC), u"9:5"_s);
    EXPECT_EQ(FormatDateTime(u"hh:mm mm"_s, t, kC), u"09:05 03"_s) << "only the first run";
    EXPECT_EQ(FormatDateTime(u"hh mmmm"_s, t, kC), u"09 March"_s) << "names are never minutes";
    EXPECT_EQ(FormatDateTime(u"m-d mmm"_s, t, kC), u"3-2 Mar"_s);
    EXPECT_EQ(FormatDateTime(u"dddddd"_s, t, kC), FormatDateTime(u"ddddd"_s, t, kC));
}

TEST(FormatDateTime, OleDatesCountFromTheEndOf1899)
{
    EXPECT_EQ(DateToOle(QDate(1899, 12, 30)), 0.0);
    EXPECT_EQ(DateToOle(QDate(2024, 12, 6)), 45632.0);
    EXPECT_EQ(OleToDate(45632.75), QDate(2024, 12, 6));
    EXPECT_EQ(DateOf(45632.75), 45632.0);
}

TEST(StrToDate, ReadsTheShortDateOrderAndRefusesNonDates)
{
    TDateTime d = 0;
    ASSERT_TRUE(TryStrToDate(u"21/06/2008"_s, d, kBr));
    EXPECT_EQ(OleToDate(d), QDate(2008, 6, 21));
    ASSERT_TRUE(TryStrToDate(u"06/21/2008"_s, d, kC));
    EXPECT_EQ(OleToDate(d), QDate(2008, 6, 21));
    ASSERT_TRUE(TryStrToDate(u" 1/2/08 "_s, d, kBr));
    EXPECT_EQ(OleToDate(d), QDate(2008, 2, 1));
    for (const char* bad : {"", "31/02/2024", "aa/bb/cccc", "12/13/2024", "1/1/1/1", "01/01/2024x",
                            "  /  /    ", "1//2024", "99999/1/1"})
        EXPECT_FALSE(TryStrToDate(QString::fromUtf8(bad), d, kBr)) << bad;
}

TEST(StrToMonth, ReadsAMonthAndYearInBothFormsAndNoWholeDate)
{
    struct Row
    {
        const char* text;
        QDate first; // null: no month
    };
    const Row rows[] = {
        {"10/2025", QDate(2025, 10, 1)},
        {"102025", QDate(2025, 10, 1)},
        {"1/2025", QDate(2025, 1, 1)},
        {" 12-1999 ", QDate(1999, 12, 1)},
        {"10.2025", QDate(2025, 10, 1)},
        {"13/2025", {}},
        {"00/2025", {}},
        {"10/25", {}},
        {"10/12/2025", {}},
        {"1/10/25", {}},
        {"1012025", {}},
        {"10/2025x", {}},
        {"/2025", {}},
        {"", {}},
        {"10//2025", {}},
        {"aa/bbbb", {}},
    };
    for (const Row& row : rows) {
        QDate first;
        EXPECT_EQ(TryStrToMonth(QString::fromUtf8(row.text), first, kBr), row.first.isValid())
            << row.text;
        if (row.first.isValid()) {
            EXPECT_EQ(first, row.first) << row.text;
        }
    }
    // The order of the two follows the short date form's.
    TFormatSettings yearFirst = kBr;
    yearFirst.ShortDateFormat = u"yyyy-mm-dd"_s;
    QDate first;
    ASSERT_TRUE(TryStrToMonth(u"2025-10"_s, first, yearFirst));
    EXPECT_EQ(first, QDate(2025, 10, 1));
    EXPECT_FALSE(TryStrToMonth(u"10-2025"_s, first, yearFirst));
}

TEST(FormatFloat, MoneyPatternUnderBothLocales)
{
    const QString money = u"#,###,##0.00"_s;
    EXPECT_EQ(FormatFloat(money, 0, kBr), u"0,00"_s);
    EXPECT_EQ(FormatFloat(money, 1234567.891, kBr), u"1.234.567,89"_s);
    EXPECT_EQ(FormatFloat(money, 1234.5, kC), u"1,234.50"_s);
    EXPECT_EQ(FormatFloat(money, -1234.5, kBr), u"-1.234,50"_s);
    EXPECT_EQ(FormatFloat(money, 999.995, kBr), u"1.000,00"_s);
    EXPECT_EQ(FormatFloat(money, 7.5075, kBr), u"7,51"_s);
}

TEST(FormatFloat, HalvesRoundAwayFromZeroOnTheDecimalForm)
{
    EXPECT_EQ(FormatFloat(u"0.00"_s, 1.005, kC), u"1.01"_s);
    EXPECT_EQ(FormatFloat(u"0.00"_s, 2.675, kC), u"2.68"_s);
    EXPECT_EQ(FormatFloat(u"0.00"_s, -0.125, kC), u"-0.13"_s);
    EXPECT_EQ(FormatFloat(u"0"_s, 0.5, kC), u"1"_s);
    EXPECT_EQ(FormatFloat(u"0.00"_s, -0.001, kC), u"0.00"_s);
}

TEST(FormatFloat, OptionalDigitsSectionsAndLiterals)
{
    EXPECT_EQ(FormatFloat(u"#.##"_s, 0.5, kC), u".5"_s);
    EXPECT_EQ(FormatFloat(u"0.0#"_s, 3, kC), u"3.0"_s);
    EXPECT_EQ(FormatFloat(u"000"_s, 7, kC), u"007"_s);
    EXPECT_EQ(FormatFloat(u"0.00;(0.00);'zero'"_s, -2, kC), u"(2.00)"_s);
    EXPECT_EQ(FormatFloat(u"0.00;(0.00);'zero'"_s, 0.001, kC), u"zero"_s);
    EXPECT_EQ(FormatFloat(u"'R$ '#,##0.00"_s, 1500, kBr), u"R$ 1.500,00"_s);
    EXPECT_EQ(FormatFloat(u""_s, 2.5, kBr), u"2,5"_s);
    // A pattern that is no number pattern must not crash.
    EXPECT_FALSE(FormatFloat(u"!990:00;1; "_s, 7.5, kBr).isEmpty());
}

TEST(FloatToStr, GeneralFormWithFifteenDigits)
{
    EXPECT_EQ(FloatToStr(40, kBr), u"40"_s);
    EXPECT_EQ(FloatToStr(37.5, kBr), u"37,5"_s);
    EXPECT_EQ(FloatToStr(0.1 + 0.2, kC), u"0.3"_s);
    EXPECT_EQ(FloatToStr(-0.0, kC), u"0"_s);
}

TEST(StrToFloat, LocaleSeparatorsAndRefusals)
{
    double v = 0;
    ASSERT_TRUE(TryStrToFloat(u"1.234,5"_s, v, kBr));
    EXPECT_EQ(v, 1234.5);
    ASSERT_TRUE(TryStrToFloat(u"-7,25"_s, v, kBr));
    EXPECT_EQ(v, -7.25);
    ASSERT_TRUE(TryStrToFloat(u"1e3"_s, v, kC));
    EXPECT_EQ(v, 1000);
    for (const char* bad : {"", "abc", "7.5", "1.23,4", "1,2,3", "--1", "1e", "1e999", "1 000"})
        EXPECT_FALSE(TryStrToFloat(QString::fromUtf8(bad), v, kBr)) << bad;
}

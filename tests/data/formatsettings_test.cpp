#include "host/data/formatsettings.h"
#include "tests/support/env.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace aph;
using aph::test::S;

namespace {

const TFormatSettings kBr = TFormatSettings::ForLocale(S("pt_BR.UTF-8"));
const TFormatSettings kC = TFormatSettings::ForLocale(S("C"));

} // namespace

TEST(FormatSettings, BrazilianDayNamesHaveNoTrailingDot)
{
    EXPECT_EQ(kBr.ShortDayNames,
              (QStringList{S("dom"), S("seg"), S("ter"), S("qua"), S("qui"), S("sex"), S("sáb")}));
    EXPECT_EQ(kBr.ShortDateFormat, S("dd/mm/yyyy"));
    EXPECT_EQ(kBr.DecimalSeparator, u',');
    EXPECT_EQ(kBr.ThousandSeparator, u'.');
    EXPECT_EQ(kC.ShortDayNames.first(), S("Sun"));
    EXPECT_EQ(kC.ShortDayNames.last(), S("Sat"));
}

TEST(FormatSettings, EnvironmentChoosesTheLocale)
{
    {
        test::ScopedEnv all("LC_ALL", nullptr), time("LC_TIME", nullptr),
            numeric("LC_NUMERIC", nullptr), lang("LANG", "pt_BR.UTF-8");
        EXPECT_EQ(TFormatSettings::FromEnvironment().ShortDayNames[6], S("sáb"));
    }
    {
        test::ScopedEnv all("LC_ALL", "C"), lang("LANG", "pt_BR.UTF-8");
        EXPECT_EQ(TFormatSettings::FromEnvironment().ShortDayNames[6], S("Sat"));
    }
    {
        test::ScopedEnv all("LC_ALL", nullptr), time("LC_TIME", "pt_BR.UTF-8"),
            numeric("LC_NUMERIC", "C"), lang("LANG", nullptr);
        const TFormatSettings fs = TFormatSettings::FromEnvironment();
        EXPECT_EQ(fs.ShortDayNames[0], S("dom"));
        EXPECT_EQ(fs.DecimalSeparator, u'.');
    }
    {
        test::ScopedEnv all("LC_ALL", "de_DE.UTF-8");
        const TFormatSettings fs = TFormatSettings::FromEnvironment();
        EXPECT_EQ(fs.DecimalSeparator, u',');
        EXPECT_TRUE(fs.ShortDateFormat.contains(S("yyyy"))) << fs.ShortDateFormat.toStdString();
        EXPECT_FALSE(fs.ShortDayNames[0].endsWith(u'.'));
    }
}

TEST(FormatDateTime, PatternsOfTheScreens)
{
    const TDateTime sat = EncodeDate(2024, 3, 2);
    EXPECT_EQ(FormatDateTime(S("ddddd ddd"), sat, kBr), S("02/03/2024 sáb"));
    EXPECT_EQ(FormatDateTime(S("ddd"), sat + 1, kBr), S("dom"));
    EXPECT_EQ(FormatDateTime(S("ddddd ddd"), sat, kC), S("03/02/2024 Sat"));
    EXPECT_EQ(FormatDateTime(S("dddd, d 'de' mmmm 'de' yyyy"), sat, kBr),
              S("sábado, 2 de março de 2024"));
    EXPECT_EQ(FormatDateTime(S("dd/mm/yy hh:nn:ss"), sat + 0.75 + 30.0 / 86400, kBr),
              S("02/03/24 18:00:30"));
    EXPECT_EQ(DateTimeToStr(sat, kBr), S("02/03/2024"));
    EXPECT_EQ(DateTimeToStr(sat + 0.5, kBr), S("02/03/2024 12:00:00"));
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
    ASSERT_TRUE(TryStrToDate(S("21/06/2008"), d, kBr));
    EXPECT_EQ(OleToDate(d), QDate(2008, 6, 21));
    ASSERT_TRUE(TryStrToDate(S("06/21/2008"), d, kC));
    EXPECT_EQ(OleToDate(d), QDate(2008, 6, 21));
    ASSERT_TRUE(TryStrToDate(S(" 1/2/08 "), d, kBr));
    EXPECT_EQ(OleToDate(d), QDate(2008, 2, 1));
    for (const char* bad : {"", "31/02/2024", "aa/bb/cccc", "12/13/2024", "1/1/1/1", "01/01/2024x",
                            "  /  /    ", "1//2024", "99999/1/1"})
        EXPECT_FALSE(TryStrToDate(S(bad), d, kBr)) << bad;
}

TEST(FormatFloat, MoneyPatternUnderBothLocales)
{
    const QString money = S("#,###,##0.00");
    EXPECT_EQ(FormatFloat(money, 0, kBr), S("0,00"));
    EXPECT_EQ(FormatFloat(money, 1234567.891, kBr), S("1.234.567,89"));
    EXPECT_EQ(FormatFloat(money, 1234.5, kC), S("1,234.50"));
    EXPECT_EQ(FormatFloat(money, -1234.5, kBr), S("-1.234,50"));
    EXPECT_EQ(FormatFloat(money, 999.995, kBr), S("1.000,00"));
    EXPECT_EQ(FormatFloat(money, 7.5075, kBr), S("7,51"));
}

TEST(FormatFloat, HalvesRoundAwayFromZeroOnTheDecimalForm)
{
    EXPECT_EQ(FormatFloat(S("0.00"), 1.005, kC), S("1.01"));
    EXPECT_EQ(FormatFloat(S("0.00"), 2.675, kC), S("2.68"));
    EXPECT_EQ(FormatFloat(S("0.00"), -0.125, kC), S("-0.13"));
    EXPECT_EQ(FormatFloat(S("0"), 0.5, kC), S("1"));
    EXPECT_EQ(FormatFloat(S("0.00"), -0.001, kC), S("0.00"));
}

TEST(FormatFloat, OptionalDigitsSectionsAndLiterals)
{
    EXPECT_EQ(FormatFloat(S("#.##"), 0.5, kC), S(".5"));
    EXPECT_EQ(FormatFloat(S("0.0#"), 3, kC), S("3.0"));
    EXPECT_EQ(FormatFloat(S("000"), 7, kC), S("007"));
    EXPECT_EQ(FormatFloat(S("0.00;(0.00);'zero'"), -2, kC), S("(2.00)"));
    EXPECT_EQ(FormatFloat(S("0.00;(0.00);'zero'"), 0.001, kC), S("zero"));
    EXPECT_EQ(FormatFloat(S("'R$ '#,##0.00"), 1500, kBr), S("R$ 1.500,00"));
    EXPECT_EQ(FormatFloat(S(""), 2.5, kBr), S("2,5"));
    // A pattern that is no number pattern must not crash.
    EXPECT_FALSE(FormatFloat(S("!990:00;1; "), 7.5, kBr).isEmpty());
}

TEST(FloatToStr, GeneralFormWithFifteenDigits)
{
    EXPECT_EQ(FloatToStr(40, kBr), S("40"));
    EXPECT_EQ(FloatToStr(37.5, kBr), S("37,5"));
    EXPECT_EQ(FloatToStr(0.1 + 0.2, kC), S("0.3"));
    EXPECT_EQ(FloatToStr(-0.0, kC), S("0"));
}

TEST(StrToFloat, LocaleSeparatorsAndRefusals)
{
    double v = 0;
    ASSERT_TRUE(TryStrToFloat(S("1.234,5"), v, kBr));
    EXPECT_EQ(v, 1234.5);
    ASSERT_TRUE(TryStrToFloat(S("-7,25"), v, kBr));
    EXPECT_EQ(v, -7.25);
    ASSERT_TRUE(TryStrToFloat(S("1e3"), v, kC));
    EXPECT_EQ(v, 1000);
    for (const char* bad : {"", "abc", "7.5", "1.23,4", "1,2,3", "--1", "1e", "1e999", "1 000"})
        EXPECT_FALSE(TryStrToFloat(S(bad), v, kBr)) << bad;
}

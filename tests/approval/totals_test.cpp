// The totals panel for the three billing types.
#include "tests/approval/approval_fixture.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct Totals : ApprovalScreen
{
    const double day = EncodeDate(2030, 3, 4);
    QString Caption(TLabel* label) const { return label->Caption(); }
    void Check(const char* worked, const char* billed, const char* commission, double amount,
               const char* hourNow, const char* hourContract, const char* finalHours,
               const char* finalValue)
    {
        form->TotalizaCSA();
        EXPECT_EQ(form->lblTotHoraTrab->Caption(), QString::fromUtf8(worked));
        EXPECT_EQ(form->lblTotHoraFat->Caption(), QString::fromUtf8(billed));
        EXPECT_EQ(form->lblTotHoraComis->Caption(), QString::fromUtf8(commission));
        EXPECT_EQ(form->nedVrFaturar->Value(), amount);
        EXPECT_EQ(form->lblValorHoraAtual->Caption(), QString::fromUtf8(hourNow));
        EXPECT_EQ(form->lblVrHoraContratual->Caption(), QString::fromUtf8(hourContract));
        EXPECT_EQ(form->lblTotHorasFinal->Caption(), QString::fromUtf8(finalHours));
        EXPECT_EQ(form->lblValorHoraFinal->Caption(), QString::fromUtf8(finalValue));
    }
};

} // namespace

TEST_F(Totals, ByTheHourSumsBilledHoursTimesTheValueToBill)
{
    Service("H", 40, 10, 12.5);
    Days({{day, 8.0, 7.5, 8.0}, {day + 1, 8.0, 8.0, 6.0}});
    Check("16:00", "15:30", "14:00", 155, "10,00", "12,50", "15:30", "10,00");
    EXPECT_EQ(form->nedVrFaturar->Text(), u"R$ 155,00"_s);
}

// The bottom line reads "Valor a Faturar", hours, "X", hour value, "="
// and the amount: read back from its captions, the hours times the hour
// value is the amount, for each way of charging, while the two hour values
// above it show what they always have (zero for a package).
TEST_F(Totals, TheBottomLineMultipliesOutForEachWayOfCharging)
{
    struct TCase
    {
        const char* Billing;
        double Contracted, ToBill, Contract;
        Day First, Second;
        const char *Hours, *Value, *Now, *Contractual;
        double Amount;
    };
    const std::vector<TCase> cases = {
        {"H",
         40,
         175.5,
         180,
         {day, 60.0, 60.0, 60.0},
         {day + 1, 62.5, 62.5, 62.5},
         "122:30",
         "175,50",
         "175,50",
         "180,00",
         21498.75},
        {"F",
         40,
         210,
         200,
         {day, 8.0, 8.0, 8.0},
         {day + 1, 9.0, 9.0, 9.0},
         "40:00",
         "210,00",
         "210,00",
         "200,00",
         8400},
        {"P",
         100,
         150,
         160,
         {day, 70.0, 70.0, 70.0},
         {day + 1, 54.0, 54.0, 54.0},
         "124:00",
         "150,00",
         "0,00",
         "0,00",
         18600},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Billing);
        Service(c.Billing, c.Contracted, c.ToBill, c.Contract);
        Days({c.First, c.Second});
        form->TotalizaCSA();
        EXPECT_EQ(form->lblTotHorasFinal->Caption(), QString::fromUtf8(c.Hours));
        EXPECT_EQ(form->lblValorHoraFinal->Caption(), QString::fromUtf8(c.Value));
        EXPECT_EQ(form->lblValorHoraAtual->Caption(), QString::fromUtf8(c.Now));
        EXPECT_EQ(form->lblVrHoraContratual->Caption(), QString::fromUtf8(c.Contractual));
        EXPECT_EQ(form->nedVrFaturar->Value(), c.Amount);
        // The product as a reader works it out from what the line shows.
        const QStringList hm = form->lblTotHorasFinal->Caption().split(u':');
        ASSERT_EQ(hm.size(), 2);
        const double hours = hm[0].toDouble() + hm[1].toDouble() / 60;
        const double value =
            QString(form->lblValorHoraFinal->Caption()).remove(u'.').replace(u',', u'.').toDouble();
        EXPECT_DOUBLE_EQ(hours * value, form->nedVrFaturar->Value());
    }
}

TEST_F(Totals, TheAmountIsRoundedOnceAfterSumming)
{
    Service("H", 40, 10.01);
    Days({{day, 1.0, 0.25, 0.25}, {day + 1, 1.0, 0.25, 0.25}, {day + 2, 1.0, 0.25, 0.25}});
    form->TotalizaCSA();
    EXPECT_EQ(form->nedVrFaturar->Value(), 7.51);
}

TEST_F(Totals, FixedValueCountsOnceAndTheBottomLineShowsTheContractedQuantity)
{
    Service("F", 40, 90, 100);
    Days({{day, 8.0, 8.0, 8.0}, {day + 1, 6.0, 6.0, 6.0}, {day + 2, 9.0, 9.0, 9.0}});
    Check("23:00", "23:00", "23:00", 3600, "90,00", "100,00", "40:00", "90,00");
    // A fractional contracted quantity is written as hours; a missing one
    // bills nothing.
    Service("F", 37.5, 90, 100);
    form->TotalizaCSA();
    EXPECT_EQ(form->lblTotHorasFinal->Caption(), u"37:30"_s);
    Service("F", std::nullopt, 90, 100);
    form->TotalizaCSA();
    EXPECT_EQ(form->lblTotHorasFinal->Caption(), u"00:00"_s);
    EXPECT_EQ(form->nedVrFaturar->Value(), 0);
}

TEST_F(Totals, PackageShowsZeroHourValuesButStillBillsTheHours)
{
    Service("P", 40, 90, 100);
    Days({{day, 8.0, 7.0, 8.0}});
    Check("08:00", "07:00", "08:00", 630, "0,00", "0,00", "07:00", "90,00");
}

TEST_F(Totals, NoDaysStillFillsTheValuesFromTheService)
{
    Service("F", 40, 90, 100);
    Days({});
    Check("00:00", "00:00", "00:00", 0, "90,00", "100,00", "00:00", "90,00");
    Service("H", 40, 90, 100);
    Check("00:00", "00:00", "00:00", 0, "90,00", "100,00", "00:00", "90,00");
}

TEST_F(Totals, EmptyApprovalsAddNothingAndLowerCaseIsByTheHour)
{
    Service("h", 40, 10);
    Days({{day, 8.0, std::nullopt, std::nullopt},
          {day + 1, std::nullopt, std::nullopt, std::nullopt},
          {day + 2, 4.0, 4.0, 4.0}});
    Check("12:00", "04:00", "04:00", 40, "10,00", "100,00", "04:00", "10,00");
}

TEST_F(Totals, TheCurrentRowStaysAndAFailureIsSwallowed)
{
    Service("H", 40, 10);
    Days({{day, 8.0, 8.0, 8.0}, {day + 1, 8.0, 8.0, 8.0}, {day + 2, 8.0, 8.0, 8.0}});
    form->cdsAuxCSA.SetRecNo(2);
    int stateReports = 0;
    form->dtsPadrao->OnStateChange = [&](TObject*) {
        ++stateReports;
    };
    form->TotalizaCSA();
    EXPECT_EQ(form->cdsAuxCSA.RecNo(), 2);
    EXPECT_EQ(stateReports, 0) << "the walk reports nothing";
    ASSERT_TRUE(form->dtsPadrao->OnStateChange) << "the handler is bound again";
    EXPECT_FALSE(form->cdsAuxCSA.ControlsDisabled());
    // A closed working copy: nothing shown changes and nothing escapes.
    form->cdsAuxCSA.Close();
    form->lblTotHoraTrab->SetCaption(u"antes"_s);
    EXPECT_NO_THROW(form->TotalizaCSA());
    EXPECT_EQ(form->lblTotHoraTrab->Caption(), u"antes"_s);
    EXPECT_FALSE(form->cdsAuxCSA.ControlsDisabled());
    EXPECT_TRUE(form->dtsPadrao->OnStateChange);
}

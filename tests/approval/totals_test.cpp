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

TEST_F(Totals, TheAmountIsRoundedOnceAfterSumming)
{
    Service("H", 40, 10.01);
    Days({{day, 1.0, 0.25, 0.25}, {day + 1, 1.0, 0.25, 0.25}, {day + 2, 1.0, 0.25, 0.25}});
    form->TotalizaCSA();
    EXPECT_EQ(form->nedVrFaturar->Value(), 7.51);
}

TEST_F(Totals, FixedValueCountsOnceAndTheBottomLineShowsTheContract)
{
    Service("F", 40, 90, 100);
    Days({{day, 8.0, 8.0, 8.0}, {day + 1, 6.0, 6.0, 6.0}, {day + 2, 9.0, 9.0, 9.0}});
    Check("23:00", "23:00", "23:00", 3600, "90,00", "100,00", "40:00", "100,00");
    // A fractional or missing contracted quantity is written as its number.
    Service("F", 37.5, 90, 100);
    form->TotalizaCSA();
    EXPECT_EQ(form->lblTotHorasFinal->Caption(), u"37,5:00"_s);
    Service("F", std::nullopt, 90, 100);
    form->TotalizaCSA();
    EXPECT_EQ(form->lblTotHorasFinal->Caption(), u":00"_s);
    EXPECT_EQ(form->nedVrFaturar->Value(), 0);
}

TEST_F(Totals, PackageShowsZeroHourValuesButStillBillsTheHours)
{
    Service("P", 40, 90, 100);
    Days({{day, 8.0, 7.0, 8.0}});
    Check("08:00", "07:00", "08:00", 630, "0,00", "0,00", "07:00", "0,00");
}

TEST_F(Totals, NoDaysStillFillsTheValuesFromTheService)
{
    Service("F", 40, 90, 100);
    Days({});
    Check("00:00", "00:00", "00:00", 0, "90,00", "100,00", "40:00", "100,00");
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

// Hours shown and typed as hours and minutes.
#include "tests/approval/approval_fixture.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

using HourText = ApprovalScreen;

} // namespace

TEST_F(HourText, CalculaTempoGivesHoursAndMinutes)
{
    const std::pair<double, const char*> cases[] = {
        {0, "00:00"},      {7.5, "07:30"},           {8, "08:00"},       {12.25, "12:15"},
        {160.5, "160:30"}, {0.1, "00:06"},           {1.0 / 3, "00:20"}, {1.0 / 60, "00:01"},
        {23.99, "23:59"},  {0.125, "00:08"},         {0.375, "00:22"},   {0.625, "00:38"},
        {0.875, "00:52"},  {10.125, "10:08"},        {7.9999, "08:00"},  {0.999999, "01:00"},
        {9.999, "10:00"},  {7 + 59.5 / 60, "08:00"},
    };
    for (const auto& [hours, text] : cases)
        EXPECT_EQ(form->CalculaTempo(hours), QString::fromUtf8(text)) << hours;
}

TEST_F(HourText, ColumnsFollowTheHoursWorked)
{
    const double mon = EncodeDate(2030, 3, 4);
    Days({{mon, std::nullopt, 5.0, 6.0},
          {mon + 1, 7.5, std::nullopt, std::nullopt},
          {mon + 2, 8, 6.25, 0}});
    // A gap day shows nothing, whatever its approvals hold.
    EXPECT_EQ(Text("QTHRTRAB"), QString());
    EXPECT_EQ(Text("QTHRAPROFATU"), QString());
    EXPECT_EQ(Text("QTHRAPRCOMIS"), QString());
    // Empty approvals show the hours worked, for display and for the editor.
    form->cdsAuxCSA.Next();
    EXPECT_EQ(Text("QTHRTRAB"), u"07:30"_s);
    EXPECT_EQ(Text("QTHRAPROFATU"), u"07:30"_s);
    EXPECT_EQ(form->cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s)->Text(), u"07:30"_s);
    EXPECT_TRUE(form->cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s)->IsNull())
        << "the value stays empty";
    form->cdsAuxCSA.Next();
    EXPECT_EQ(Text("QTHRAPROFATU"), u"06:15"_s);
    EXPECT_EQ(Text("QTHRAPRCOMIS"), u"00:00"_s) << "zero is a value";
}

TEST_F(HourText, DateAndInclusionColumns)
{
    const double sat = EncodeDate(2030, 3, 2);
    Days({{sat, 4.0, {}, {}, " "},
          {sat + 1, 4.0, {}, {}, "  "},
          {sat + 2, 4.0, {}, {}, "Incluída por ANA"}});
    EXPECT_EQ(Text("DTSERVPREST"), u"02/03/2030 sáb"_s);
    EXPECT_EQ(Text("INCLUSAO"), QString()) << "one blank shows as nothing";
    form->cdsAuxCSA.Next();
    EXPECT_EQ(Text("DTSERVPREST"), u"03/03/2030 dom"_s);
    EXPECT_EQ(Text("INCLUSAO"), u"  "_s);
    form->cdsAuxCSA.Next();
    EXPECT_EQ(Text("INCLUSAO"), u"Incluída por ANA"_s);
    SetFormatSettings(TFormatSettings::ForLocale(u"C"_s));
    EXPECT_EQ(Text("DTSERVPREST"), u"03/04/2030 Mon"_s);
}

TEST_F(HourText, TypedHoursAreStoredAsDecimalHours)
{
    Days({{EncodeDate(2030, 3, 4), 8.0, {}, {}}});
    form->cdsAuxCSA.Edit();
    TField* billed = form->cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s);
    billed->SetText(u"07:30"_s);
    EXPECT_EQ(billed->AsFloat(), 7.5);
    billed->SetText(u" 7:45"_s);
    EXPECT_EQ(billed->AsFloat(), 7.75);
    // What the column shows, typed back, is what it shows.
    billed->SetAsFloat(8.0 + 20.0 / 60);
    billed->SetText(billed->Text());
    EXPECT_EQ(billed->Text(), u"08:20"_s);
    EXPECT_THROW(billed->SetText(u"07:60"_s), Exception);
}

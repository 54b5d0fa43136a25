#include "fixtures.h"
#include "host/data/exceptions.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace aph;
using namespace aph::test;

namespace {

struct Fields : ::testing::Test
{
    TClientDataSet ds{S("cdsServPrest")};
    TField* name = nullptr;
    TField* value = nullptr;
    TField* date = nullptr;
    void SetUp() override
    {
        SetFormatSettings(TFormatSettings::ForLocale(S("pt_BR")));
        name = ds.AddField(S("NMFANTCLIE"), TFieldType::ftString, 10);
        value = ds.AddField(S("VRHORACLIE"), TFieldType::ftFloat);
        date = ds.AddField(S("DTINCLCHT"), TFieldType::ftDateTime);
        ds.CreateDataSet();
        ds.Append();
    }
};

} // namespace

TEST_F(Fields, DefaultTextFollowsFormatsAndLocale)
{
    value->SetAsFloat(1234.5);
    EXPECT_EQ(value->DisplayText(), S("1234,5"));
    value->SetDisplayFormat(S("#,###,##0.00"));
    EXPECT_EQ(value->DisplayText(), S("1.234,50"));
    EXPECT_EQ(value->Text(), S("1234,5")) << "edit text has no display format";
    value->SetEditFormat(S("0.00"));
    EXPECT_EQ(value->Text(), S("1234,50"));
    date->SetAsDateTime(EncodeDate(2024, 3, 2));
    EXPECT_EQ(date->DisplayText(), S("02/03/2024"));
    date->SetDisplayFormat(S("ddddd ddd"));
    EXPECT_EQ(date->DisplayText(), S("02/03/2024 sáb"));
}

TEST_F(Fields, TextHandlersShapeTextButNotTheStoredValue)
{
    value->SetAsFloat(7.5);
    bool lastDisplayFlag = false;
    value->OnGetText = [&](TField* f, QString& text, bool displayText) {
        lastDisplayFlag = displayText;
        text = QStringLiteral("%1h").arg(f->AsFloat());
    };
    value->OnSetText = [](TField* f, const QString& text) {
        f->SetAsFloat(text.chopped(1).toDouble() * 2);
    };
    EXPECT_EQ(value->DisplayText(), S("7.5h"));
    EXPECT_TRUE(lastDisplayFlag);
    EXPECT_EQ(value->Text(), S("7.5h"));
    EXPECT_FALSE(lastDisplayFlag);
    EXPECT_EQ(value->AsFloat(), 7.5);
    value->SetText(S("3h"));
    EXPECT_EQ(value->AsFloat(), 6);
    // A handler that sets nothing yields the empty text.
    value->OnGetText = [](TField*, QString&, bool) {
    };
    EXPECT_EQ(value->DisplayText(), QString());
}

TEST_F(Fields, SetTextWithoutHandlerParsesByType)
{
    value->SetText(S("1.234,5"));
    EXPECT_EQ(value->AsFloat(), 1234.5);
    value->SetText(S(""));
    EXPECT_TRUE(value->IsNull());
    EXPECT_THROW(value->SetText(S("sete")), EDatabaseError);
    date->SetText(S("21/06/2008"));
    EXPECT_EQ(OleToDate(date->AsDateTime()), QDate(2008, 6, 21));
    EXPECT_THROW(date->SetText(S("32/01/2008")), EDatabaseError);
}

TEST_F(Fields, ValuesThatDoNotFitAreRefused)
{
    EXPECT_THROW(name->SetAsString(S("12345678901")), EDatabaseError);
    name->SetAsString(S("1234567890"));
    EXPECT_EQ(name->AsString().size(), 10);
    EXPECT_THROW(value->SetAsFloat(std::numeric_limits<double>::quiet_NaN()), EDatabaseError);
    EXPECT_THROW(value->SetAsFloat(INFINITY), EDatabaseError);
    EXPECT_THROW(date->SetAsDateTime(1e9), EDatabaseError);
    value->SetReadOnly(true);
    EXPECT_THROW(value->SetAsFloat(1), EDatabaseError);
}

TEST_F(Fields, LookupIsCaseInsensitiveAndUnknownNamesAreRefused)
{
    EXPECT_EQ(ds.FieldByName(S("nmfantclie")), name);
    EXPECT_EQ(ds.FindField(S("NOPE")), nullptr);
    try {
        ds.FieldByName(S("NOPE"));
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(S("NOPE")));
    }
}

TEST_F(Fields, PresentationDefaults)
{
    EXPECT_EQ(name->DisplayLabel(), S("NMFANTCLIE"));
    name->SetDisplayLabel(S("Cliente"));
    EXPECT_EQ(name->DisplayLabel(), S("Cliente"));
    EXPECT_EQ(name->DisplayWidth(), 10);
    EXPECT_EQ(value->Alignment(), TAlignment::taRightJustify);
    EXPECT_EQ(date->Alignment(), TAlignment::taLeftJustify);
    EXPECT_TRUE(name->Visible());
}

TEST_F(Fields, VariantConversions)
{
    value->SetAsVariant(QVariant(3));
    EXPECT_EQ(value->AsFloat(), 3);
    date->SetAsVariant(QDate(2008, 6, 21));
    EXPECT_EQ(date->AsDateTime(), EncodeDate(2008, 6, 21));
    name->SetAsVariant(QVariant());
    EXPECT_TRUE(name->IsNull());
    EXPECT_EQ(value->AsVariant(), QVariant(3.0));
    EXPECT_FALSE(name->AsVariant().isValid());
}

#include "fixtures.h"
#include "host/data/exceptions.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct Fields : ::testing::Test
{
    TClientDataSet ds{u"cdsServPrest"_s};
    TField* name = nullptr;
    TField* value = nullptr;
    TField* date = nullptr;
    void SetUp() override
    {
        SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR"_s));
        name = ds.AddField(u"NMFANTCLIE"_s, TFieldType::ftString, 10);
        value = ds.AddField(u"VRHORACLIE"_s, TFieldType::ftFloat);
        date = ds.AddField(u"DTINCLCHT"_s, TFieldType::ftDateTime);
        ds.CreateDataSet();
        ds.Append();
    }
};

} // namespace

TEST_F(Fields, DefaultTextFollowsFormatsAndLocale)
{
    value->SetAsFloat(1234.5);
    EXPECT_EQ(value->DisplayText(), u"1234,5"_s);
    value->SetDisplayFormat(u"#,###,##0.00"_s);
    EXPECT_EQ(value->DisplayText(), u"1.234,50"_s);
    EXPECT_EQ(value->Text(), u"1234,5"_s) << "edit text has no display format";
    value->SetEditFormat(u"0.00"_s);
    EXPECT_EQ(value->Text(), u"1234,50"_s);
    date->SetAsDateTime(EncodeDate(2024, 3, 2));
    EXPECT_EQ(date->DisplayText(), u"02/03/2024"_s);
    date->SetDisplayFormat(u"ddddd ddd"_s);
    EXPECT_EQ(date->DisplayText(), u"02/03/2024 sáb"_s);
}

TEST_F(Fields, TextHandlersShapeTextButNotTheStoredValue)
{
    value->SetAsFloat(7.5);
    bool lastDisplayFlag = false;
    value->OnGetText = [&](TField* f, QString& text, bool displayText) {
        lastDisplayFlag = displayText;
        text = u"%1h"_s.arg(f->AsFloat());
    };
    value->OnSetText = [](TField* f, const QString& text) {
        f->SetAsFloat(text.chopped(1).toDouble() * 2);
    };
    EXPECT_EQ(value->DisplayText(), u"7.5h"_s);
    EXPECT_TRUE(lastDisplayFlag);
    EXPECT_EQ(value->Text(), u"7.5h"_s);
    EXPECT_FALSE(lastDisplayFlag);
    EXPECT_EQ(value->AsFloat(), 7.5);
    value->SetText(u"3h"_s);
    EXPECT_EQ(value->AsFloat(), 6);
    // A handler that sets nothing yields the empty text.
    value->OnGetText = [](TField*, QString&, bool) {
    };
    EXPECT_EQ(value->DisplayText(), QString());
}

TEST_F(Fields, SetTextWithoutHandlerParsesByType)
{
    value->SetText(u"1.234,5"_s);
    EXPECT_EQ(value->AsFloat(), 1234.5);
    value->SetText(u""_s);
    EXPECT_TRUE(value->IsNull());
    EXPECT_THROW(value->SetText(u"sete"_s), EDatabaseError);
    date->SetText(u"21/06/2008"_s);
    EXPECT_EQ(OleToDate(date->AsDateTime()), QDate(2008, 6, 21));
    EXPECT_THROW(date->SetText(u"32/01/2008"_s), EDatabaseError);
}

TEST_F(Fields, ValuesThatDoNotFitAreRefused)
{
    EXPECT_THROW(name->SetAsString(u"12345678901"_s), EDatabaseError);
    name->SetAsString(u"1234567890"_s);
    EXPECT_EQ(name->AsString().size(), 10);
    EXPECT_THROW(value->SetAsFloat(std::numeric_limits<double>::quiet_NaN()), EDatabaseError);
    EXPECT_THROW(value->SetAsFloat(INFINITY), EDatabaseError);
    EXPECT_THROW(date->SetAsDateTime(1e9), EDatabaseError);
    value->SetReadOnly(true);
    EXPECT_THROW(value->SetAsFloat(1), EDatabaseError);
}

TEST_F(Fields, LookupIsCaseInsensitiveAndUnknownNamesAreRefused)
{
    EXPECT_EQ(ds.FieldByName(u"nmfantclie"_s), name);
    EXPECT_EQ(ds.FindField(u"NOPE"_s), nullptr);
    try {
        ds.FieldByName(u"NOPE"_s);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(u"NOPE"_s));
    }
}

TEST_F(Fields, PresentationDefaults)
{
    EXPECT_EQ(name->DisplayLabel(), u"NMFANTCLIE"_s);
    name->SetDisplayLabel(u"Cliente"_s);
    EXPECT_EQ(name->DisplayLabel(), u"Cliente"_s);
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

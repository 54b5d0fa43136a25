#include "host/data/exceptions.h"
#include "host/ui/editmask.h"
#include "host/ui/editors.h"
#include "host/ui/form.h"
#include "tests/support/text.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

using namespace aph;
using namespace aph::test;

namespace {

const QString kHourMask = S("!90:00;1; ");

} // namespace

TEST(EditMask, HourMaskPositions)
{
    const TEditMask mask(kHourMask);
    ASSERT_EQ(mask.Length(), 5);
    EXPECT_FALSE(mask.IsRequired(0));
    EXPECT_TRUE(mask.IsRequired(1));
    EXPECT_TRUE(mask.IsLiteral(2));
    EXPECT_EQ(mask.Literal(2), u':');
    EXPECT_TRUE(mask.SaveLiterals());
    EXPECT_EQ(mask.Blank(), u' ');
    EXPECT_TRUE(mask.LeadingBlanks());
    EXPECT_EQ(mask.EmptyDisplay(), S("  :  "));
    EXPECT_TRUE(mask.Accepts(0, u'7'));
    EXPECT_FALSE(mask.Accepts(0, u'a'));
    EXPECT_FALSE(mask.Accepts(2, u'1'));
}

TEST(EditMask, TypingFillsPositionsAndPassesOverTheSeparator)
{
    TMaskedEditor editor{TEditMask(kHourMask)};
    editor.SetValue(S("08:00"));
    editor.SelectAll();
    for (const QChar c : S("0730"))
        EXPECT_TRUE(editor.TypeChar(c));
    EXPECT_EQ(editor.Display(), S("07:30"));
    EXPECT_EQ(editor.Value(), S("07:30"));
    EXPECT_TRUE(editor.IsComplete());
    EXPECT_FALSE(editor.TypeChar(u'1')) << "no position left";
    editor.Backspace();
    EXPECT_EQ(editor.Display(), S("07:3 "));
    EXPECT_FALSE(editor.IsComplete());
    EXPECT_FALSE(editor.TypeChar(u'x'));
    // Any digit is accepted, minutes above 59 included: the mask does not
    // know about hours.
    EXPECT_TRUE(editor.TypeChar(u'9'));
    editor.Home();
    editor.TypeChar(u' ');
    EXPECT_EQ(editor.Value(), S(" 7:39")) << "a left-out optional digit is a leading blank";
    EXPECT_TRUE(editor.IsComplete());
}

TEST(EditMask, IncompleteEntriesAndValuesThatDoNotFit)
{
    TMaskedEditor editor{TEditMask(kHourMask)};
    editor.SetValue(QString());
    editor.TypeChar(u'7');
    EXPECT_FALSE(editor.IsComplete());
    editor.SetValue(S("160:30"));
    EXPECT_EQ(editor.Display(), S("  :  "))
        << "three hour digits do not fit: the editor opens empty";
    EXPECT_FALSE(editor.Modified());
    editor.SetValue(S(" 7:30"));
    EXPECT_EQ(editor.Display(), S(" 7:30"));
    editor.SetValue(S("7:30"));
    EXPECT_EQ(editor.Display(), S(" 7:30")) << "leading blanks right-align a short value";
}

TEST(EditMask, RegistrationNumbersThroughTheirMasks)
{
    EXPECT_EQ(FormatMaskText(S("000\\.000\\.000\\-00;0;_"), S("12345678901")), S("123.456.789-01"));
    EXPECT_EQ(FormatMaskText(S("00\\.000\\.000\\/0000\\-00;0;_"), S("12345678000195")),
              S("12.345.678/0001-95"));
    EXPECT_EQ(FormatMaskText(S("000\\.000\\.000\\-00;0;_"), S("123")), S("123.___.___-__"));
    EXPECT_EQ(FormatMaskText(S("000\\.000\\.000\\-00;0;_"), S("1234567890123")), S("1234567890123"))
        << "a value that does not fit is shown as it is";
    EXPECT_EQ(FormatMaskText(QString(), S("abc")), S("abc"));
    EXPECT_EQ(FormatMaskText(S(">LL;0;_"), S("sp")), S("SP"));
}

TEST(Editors, DateEditShowsWholeDaysAndRefusesNonDates)
{
    SetFormatSettings(TFormatSettings::ForLocale(S("pt_BR")));
    TForm form(S("f"));
    auto* edit = form.Add<TDateEditPlus>(S("depDtInicial"));
    edit->SetDate(EncodeDate(2008, 6, 21) + 0.75);
    EXPECT_EQ(edit->Text(), S("21/06/2008"));
    EXPECT_EQ(edit->GetDate(), EncodeDate(2008, 6, 21));
    EXPECT_TRUE(edit->IsDateValid());
    EXPECT_NO_THROW(edit->CheckValidDate());
    edit->SetText(S("31/02/2008"));
    EXPECT_FALSE(edit->IsDateValid());
    EXPECT_EQ(edit->GetDate(), 0);
    EXPECT_THROW(edit->CheckValidDate(), Exception);
    edit->SetText(S("  "));
    EXPECT_NO_THROW(edit->CheckValidDate()) << "an empty date is the checks' business";
    edit->SetDate(0);
    EXPECT_EQ(edit->Text(), QString());
    EXPECT_EQ(edit->Color(), clInfoBk);
}

TEST(Editors, TypingReplacesTheSelectionOnEntry)
{
    SetFormatSettings(TFormatSettings::ForLocale(S("pt_BR")));
    TForm form(S("f"));
    form.SetVisible(true);
    auto* edit = form.Add<TDateEditPlus>(S("depDtFinal"));
    edit->SetDate(EncodeDate(2024, 1, 1));
    int changes = 0;
    edit->OnChange = [&](TObject*) {
        ++changes;
    };
    edit->SetFocus();
    TypeText(form, S("05/02/2024"));
    EXPECT_EQ(edit->GetDate(), EncodeDate(2024, 2, 5));
    EXPECT_EQ(changes, 10);
    PressKey(form, VK_BACK);
    EXPECT_EQ(edit->Text(), S("05/02/202"));
    edit->SetReadOnly(true);
    TypeText(form, S("4"));
    EXPECT_EQ(edit->Text(), S("05/02/202"));
}

TEST(Editors, NumberEditFormatsItsValue)
{
    SetFormatSettings(TFormatSettings::ForLocale(S("pt_BR")));
    TForm form(S("f"));
    auto* edit = form.Add<TNumberEdit>(S("nedVrFaturar"));
    edit->SetCurrency(true);
    edit->SetThousandSeparator(false);
    edit->SetDecimals(2);
    edit->SetNumber(1234.567);
    EXPECT_EQ(edit->Text(), S("R$ 1234,57"));
    EXPECT_EQ(edit->Value(), 1234.567);
    edit->SetThousandSeparator(true);
    EXPECT_EQ(edit->Text(), S("R$ 1.234,57"));
    edit->Clear();
    EXPECT_EQ(edit->Text(), QString());
    EXPECT_EQ(edit->Value(), 0);
    edit->SetCurrency(false);
    edit->SetNumber(7.5075);
    EXPECT_EQ(edit->Text(), S("7,51"));
}

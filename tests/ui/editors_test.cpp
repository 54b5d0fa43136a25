#include "host/data/exceptions.h"
#include "host/ui/editmask.h"
#include "host/ui/editors.h"
#include "host/ui/form.h"
#include "tests/support/text.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const QString kHourMask = u"!90:00;1; "_s;

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
    EXPECT_EQ(mask.EmptyDisplay(), u"  :  "_s);
    EXPECT_TRUE(mask.Accepts(0, u'7'));
    EXPECT_FALSE(mask.Accepts(0, u'a'));
    EXPECT_FALSE(mask.Accepts(2, u'1'));
}

TEST(EditMask, TypingFillsPositionsAndPassesOverTheSeparator)
{
    TMaskedEditor editor{TEditMask(kHourMask)};
    editor.SetValue(u"08:00"_s);
    editor.SelectAll();
    for (const QChar c : u"0730"_s)
        EXPECT_TRUE(editor.TypeChar(c));
    EXPECT_EQ(editor.Display(), u"07:30"_s);
    EXPECT_EQ(editor.Value(), u"07:30"_s);
    EXPECT_TRUE(editor.IsComplete());
    EXPECT_FALSE(editor.TypeChar(u'1')) << "no position left";
    editor.Backspace();
    EXPECT_EQ(editor.Display(), u"07:3 "_s);
    EXPECT_FALSE(editor.IsComplete());
    EXPECT_FALSE(editor.TypeChar(u'x'));
    // Any digit is accepted, minutes above 59 included: the mask does not
    // know about hours.
    EXPECT_TRUE(editor.TypeChar(u'9'));
    editor.Home();
    editor.TypeChar(u' ');
    EXPECT_EQ(editor.Value(), u" 7:39"_s) << "a left-out optional digit is a leading blank";
    EXPECT_TRUE(editor.IsComplete());
}

TEST(EditMask, IncompleteEntriesAndValuesThatDoNotFit)
{
    TMaskedEditor editor{TEditMask(kHourMask)};
    editor.SetValue(QString());
    editor.TypeChar(u'7');
    EXPECT_FALSE(editor.IsComplete());
    editor.SetValue(u"160:30"_s);
    EXPECT_EQ(editor.Display(), u"  :  "_s)
        << "three hour digits do not fit: the editor opens empty";
    EXPECT_FALSE(editor.Modified());
    editor.SetValue(u" 7:30"_s);
    EXPECT_EQ(editor.Display(), u" 7:30"_s);
    editor.SetValue(u"7:30"_s);
    EXPECT_EQ(editor.Display(), u" 7:30"_s) << "leading blanks right-align a short value";
}

TEST(EditMask, RegistrationNumbersThroughTheirMasks)
{
    EXPECT_EQ(FormatMaskText(u"000\\.000\\.000\\-00;0;_"_s, u"12345678901"_s), u"123.456.789-01"_s);
    EXPECT_EQ(FormatMaskText(u"00\\.000\\.000\\/0000\\-00;0;_"_s, u"12345678000195"_s),
              u"12.345.678/0001-95"_s);
    EXPECT_EQ(FormatMaskText(u"000\\.000\\.000\\-00;0;_"_s, u"123"_s), u"123.___.___-__"_s);
    EXPECT_EQ(FormatMaskText(u"000\\.000\\.000\\-00;0;_"_s, u"1234567890123"_s), u"1234567890123"_s)
        << "a value that does not fit is shown as it is";
    EXPECT_EQ(FormatMaskText(QString(), u"abc"_s), u"abc"_s);
    EXPECT_EQ(FormatMaskText(u">LL;0;_"_s, u"sp"_s), u"SP"_s);
}

TEST(Editors, DateEditShowsWholeDaysAndRefusesNonDates)
{
    SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR"_s));
    TForm form(u"f"_s);
    auto* edit = form.Add<TDateEditPlus>(u"depDtInicial"_s);
    edit->SetDate(EncodeDate(2008, 6, 21) + 0.75);
    EXPECT_EQ(edit->Text(), u"21/06/2008"_s);
    EXPECT_EQ(edit->GetDate(), EncodeDate(2008, 6, 21));
    EXPECT_TRUE(edit->IsDateValid());
    EXPECT_NO_THROW(edit->CheckValidDate());
    edit->SetText(u"31/02/2008"_s);
    EXPECT_FALSE(edit->IsDateValid());
    EXPECT_EQ(edit->GetDate(), 0);
    EXPECT_THROW(edit->CheckValidDate(), Exception);
    edit->SetText(u"  "_s);
    EXPECT_NO_THROW(edit->CheckValidDate()) << "an empty date is the checks' business";
    edit->SetDate(0);
    EXPECT_EQ(edit->Text(), QString());
    EXPECT_EQ(edit->Color(), clInfoBk);
}

TEST(Editors, TypingReplacesTheSelectionOnEntry)
{
    SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR"_s));
    TForm form(u"f"_s);
    form.SetVisible(true);
    auto* edit = form.Add<TDateEditPlus>(u"depDtFinal"_s);
    edit->SetDate(EncodeDate(2024, 1, 1));
    int changes = 0;
    edit->OnChange = [&](TObject*) {
        ++changes;
    };
    edit->SetFocus();
    TypeText(form, u"05/02/2024"_s);
    EXPECT_EQ(edit->GetDate(), EncodeDate(2024, 2, 5));
    EXPECT_EQ(changes, 10);
    PressKey(form, VK_BACK);
    EXPECT_EQ(edit->Text(), u"05/02/202"_s);
    edit->SetReadOnly(true);
    TypeText(form, u"4"_s);
    EXPECT_EQ(edit->Text(), u"05/02/202"_s);
}

TEST(Editors, NumberEditFormatsItsValue)
{
    SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR"_s));
    TForm form(u"f"_s);
    auto* edit = form.Add<TNumberEdit>(u"nedVrFaturar"_s);
    edit->SetCurrency(true);
    edit->SetThousandSeparator(false);
    edit->SetDecimals(2);
    edit->SetNumber(1234.567);
    EXPECT_EQ(edit->Text(), u"R$ 1234,57"_s);
    EXPECT_EQ(edit->Value(), 1234.567);
    edit->SetThousandSeparator(true);
    EXPECT_EQ(edit->Text(), u"R$ 1.234,57"_s);
    edit->Clear();
    EXPECT_EQ(edit->Text(), QString());
    EXPECT_EQ(edit->Value(), 0);
    edit->SetCurrency(false);
    edit->SetNumber(7.5075);
    EXPECT_EQ(edit->Text(), u"7,51"_s);
}

TEST(Editors, CtrlAThenTypingReplacesTheWholeText)
{
    SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR"_s));
    TForm form(u"f"_s);
    form.SetVisible(true);
    auto* date = form.Add<TDateEditPlus>(u"depDtInicial"_s);
    auto* name = form.Add<TEdit>(u"edtNome"_s);
    date->SetFocus();
    TypeText(form, u"31/02/20"_s);
    EXPECT_FALSE(date->AllSelected());
    PressKey(form, 'A', ssCtrl);
    EXPECT_TRUE(date->AllSelected());
    TypeText(form, u"01012025"_s);
    EXPECT_EQ(date->Text(), u"01/01/2025"_s);
    EXPECT_EQ(date->GetDate(), EncodeDate(2025, 1, 1));

    name->SetFocus();
    TypeText(form, u"Ana"_s);
    PressKey(form, 'A', ssCtrl | ssShift);
    TypeText(form, u"!"_s);
    EXPECT_EQ(name->Text(), u"Ana!"_s) << "only Ctrl+A selects";
    PressKey(form, 'A', ssCtrl);
    PressKey(form, VK_BACK);
    EXPECT_EQ(name->Text(), QString()) << "a deletion takes the selection too";
}

TEST(Editors, ADateTypedAsDigitsGetsItsSeparators)
{
    SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR"_s));
    TForm form(u"f"_s);
    form.SetVisible(true);
    auto* date = form.Add<TDateEditPlus>(u"depDtFinal"_s);
    date->SetFocus();
    TypeText(form, u"3103"_s);
    EXPECT_EQ(date->Text(), u"31/03"_s);
    TypeText(form, u"2030"_s);
    EXPECT_EQ(date->Text(), u"31/03/2030"_s);
    // Short parts typed with their separators stay as typed.
    date->SetText(QString());
    TypeText(form, u"1/3/2030"_s);
    EXPECT_EQ(date->Text(), u"1/3/2030"_s);
    EXPECT_EQ(date->GetDate(), EncodeDate(2030, 3, 1));
    // In the middle of the text a digit is only a digit.
    date->SetText(u"01/0/2030"_s);
    PressKey(form, VK_END);
    for (int i = 0; i < 5; ++i)
        PressKey(form, VK_LEFT);
    TypeText(form, u"3"_s);
    EXPECT_EQ(date->Text(), u"01/03/2030"_s);
    // A short date form with the year first keeps its own widths and
    // separator.
    TFormatSettings yearFirst = TFormatSettings::ForLocale(u"pt_BR"_s);
    yearFirst.ShortDateFormat = u"yyyy/mm/dd"_s;
    yearFirst.DateSeparator = u'-';
    SetFormatSettings(yearFirst);
    date->SetText(QString());
    TypeText(form, u"20300331"_s);
    EXPECT_EQ(date->Text(), u"2030-03-31"_s);
    SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR"_s));
}

TEST(Editors, EnteringAnEditByKeyboardSelectsItsText)
{
    SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR"_s));
    TForm form(u"f"_s);
    form.SetVisible(true);
    auto* name = form.Add<TEdit>(u"edtNome"_s);
    auto* value = form.Add<TNumberEdit>(u"nedValor"_s);
    value->SetNumber(12.5);
    name->SetFocus();
    PressKey(form, VK_TAB);
    ASSERT_TRUE(value->Focused());
    EXPECT_TRUE(value->AllSelected());
    TypeText(form, u"7"_s);
    EXPECT_EQ(value->Value(), 7);
    EXPECT_FALSE(value->AllSelected());
}

// A small screen of our own, driven as a user drives it: an hours column
// typed under the hour mask and read back as decimal hours.
#include "host/framework/functions.h"
#include "host/ui/dbgrid.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class TfrmHoras : public TForm
{
public:
    TfrmHoras() : TForm(u"frmHoras"_s)
    {
        cdsHoras.AddField(u"DTSERVPREST"_s, TFieldType::ftDateTime)->SetReadOnly(true);
        QTHRAPROFATU = cdsHoras.AddField(u"QTHRAPROFATU"_s, TFieldType::ftFloat);
        QTHRAPROFATU->SetEditMask(u"!90:00;1; "_s);
        QTHRAPROFATU->OnSetText = [](TField* Sender, const QString& Text) {
            Sender->SetAsFloat(static_cast<double>(StTimeToReal(Text)));
        };
        cdsHoras.CreateDataSet();
        cdsHoras.Append();
        cdsHoras.FieldByName(u"DTSERVPREST"_s)->SetReadOnly(false);
        cdsHoras.FieldByName(u"DTSERVPREST"_s)->SetAsDateTime(45352);
        cdsHoras.FieldByName(u"DTSERVPREST"_s)->SetReadOnly(true);
        cdsHoras.Post();
        cdsHoras.MergeChangeLog();
        dtsHoras.SetDataSet(&cdsHoras);
        SetClientSize(300, 200);
        dbgHoras = Add<TDBGrid>(u"dbgHoras"_s);
        dbgHoras->SetAlign(TAlign::alClient);
        dbgHoras->SetDataSource(&dtsHoras);
        dbgHoras->AddColumn(u"DTSERVPREST"_s, u"Data"_s, 81);
        dbgHoras->AddColumn(u"QTHRAPROFATU"_s, u"Horas"_s, 60);
    }
    TClientDataSet cdsHoras{u"cdsHoras"_s};
    TDataSource dtsHoras{u"dtsHoras"_s};
    TField* QTHRAPROFATU = nullptr;
    TDBGrid* dbgHoras = nullptr;
};

} // namespace

TEST(DemonstrationForm, TypingHoursUnderTheMaskStoresDecimalHours)
{
    ScriptedDesktop desktop;
    auto* form = Application()->CreateForm<TfrmHoras>();
    form->Show();
    UserFocus(form->dbgHoras);
    UserKey(*form, VK_RIGHT);
    UserType(*form, u"0730"_s);
    UserKey(*form, VK_RETURN);
    EXPECT_TRUE(desktop.errors.isEmpty()) << desktop.errors.join(u'\n').toStdString();
    EXPECT_EQ(form->QTHRAPROFATU->AsFloat(), 7.5);
    form->cdsHoras.Post();
    EXPECT_EQ(form->cdsHoras.ChangeCount(), 1);
}

TEST(DemonstrationForm, MinutesPastTheHourAreRefusedAndNothingIsStored)
{
    ScriptedDesktop desktop;
    auto* form = Application()->CreateForm<TfrmHoras>();
    form->Show();
    UserFocus(form->dbgHoras);
    UserKey(*form, VK_RIGHT);
    UserType(*form, u"0775"_s);
    UserKey(*form, VK_DOWN);
    ASSERT_EQ(desktop.errors.size(), 1);
    EXPECT_TRUE(desktop.errors[0].contains(u"07:75"_s));
    EXPECT_TRUE(form->QTHRAPROFATU->IsNull());
    EXPECT_EQ(form->cdsHoras.State(), TDataSetState::dsEdit);
    EXPECT_EQ(form->dbgHoras->EditorText(), u"07:75"_s) << "the typed text stays to be fixed";
    UserKey(*form, VK_BACK);
    UserKey(*form, VK_BACK);
    UserType(*form, u"45"_s);
    UserKey(*form, VK_RETURN);
    EXPECT_EQ(form->QTHRAPROFATU->AsFloat(), 7.75);
}

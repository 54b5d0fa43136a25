// A small screen of our own, driven as a user drives it: an hours column
// typed under the hour mask and read back as decimal hours.
#include "host/framework/functions.h"
#include "host/ui/dbgrid.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace aph;
using namespace aph::test;

namespace {

class TfrmHoras : public TForm
{
public:
    TfrmHoras() : TForm(S("frmHoras"))
    {
        cdsHoras.AddField(S("DTSERVPREST"), TFieldType::ftDateTime)->SetReadOnly(true);
        QTHRAPROFATU = cdsHoras.AddField(S("QTHRAPROFATU"), TFieldType::ftFloat);
        QTHRAPROFATU->SetEditMask(S("!90:00;1; "));
        QTHRAPROFATU->OnSetText = [](TField* Sender, const QString& Text) {
            Sender->SetAsFloat(static_cast<double>(StTimeToReal(Text)));
        };
        cdsHoras.CreateDataSet();
        cdsHoras.Append();
        cdsHoras.FieldByName(S("DTSERVPREST"))->SetReadOnly(false);
        cdsHoras.FieldByName(S("DTSERVPREST"))->SetAsDateTime(45352);
        cdsHoras.FieldByName(S("DTSERVPREST"))->SetReadOnly(true);
        cdsHoras.Post();
        cdsHoras.MergeChangeLog();
        dtsHoras.SetDataSet(&cdsHoras);
        SetClientSize(300, 200);
        dbgHoras = Add<TDBGrid>(S("dbgHoras"));
        dbgHoras->SetAlign(TAlign::alClient);
        dbgHoras->SetDataSource(&dtsHoras);
        dbgHoras->AddColumn(S("DTSERVPREST"), S("Data"), 81);
        dbgHoras->AddColumn(S("QTHRAPROFATU"), S("Horas"), 60);
    }
    TClientDataSet cdsHoras{S("cdsHoras")};
    TDataSource dtsHoras{S("dtsHoras")};
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
    UserType(*form, S("0730"));
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
    UserType(*form, S("0775"));
    UserKey(*form, VK_DOWN);
    ASSERT_EQ(desktop.errors.size(), 1);
    EXPECT_TRUE(desktop.errors[0].contains(S("07:75")));
    EXPECT_TRUE(form->QTHRAPROFATU->IsNull());
    EXPECT_EQ(form->cdsHoras.State(), TDataSetState::dsEdit);
    EXPECT_EQ(form->dbgHoras->EditorText(), S("07:75")) << "the typed text stays to be fixed";
    UserKey(*form, VK_BACK);
    UserKey(*form, VK_BACK);
    UserType(*form, S("45"));
    UserKey(*form, VK_RETURN);
    EXPECT_EQ(form->QTHRAPROFATU->AsFloat(), 7.75);
}

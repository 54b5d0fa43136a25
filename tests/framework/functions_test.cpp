#include "host/data/packetcodec.h"
#include "host/framework/functions.h"
#include "host/framework/messages.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/text.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>

using namespace aph;
using namespace aph::test;

namespace {

QJsonValue J(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

} // namespace

TEST(StTimeToReal, HoursAndMinutesToDecimalHours)
{
    EXPECT_EQ(StTimeToReal(S("07:30")), 7.5L);
    EXPECT_EQ(StTimeToReal(S(" 7:30")), 7.5L);
    EXPECT_EQ(StTimeToReal(S("00:00")), 0.0L);
    EXPECT_EQ(StTimeToReal(S("99:59")), 99.0L + 59.0L / 60.0L);
    // What the hour text shows, typed back, is the quantity it shows.
    EXPECT_EQ(static_cast<double>(StTimeToReal(S("08:20"))), 8.0 + 20.0 / 60.0);
}

TEST(StTimeToReal, RefusesMinutesPastTheHourAndOtherText)
{
    try {
        StTimeToReal(S("07:60"));
        FAIL() << "60 minutes accepted";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(S("00 a 59"))) << e.Message().toStdString();
    }
    for (const char* bad :
         {"7:30", "07:3", "ab:cd", "07-30", "", "  :  ", "007:30", "07:3x", "-1:00"})
        EXPECT_THROW(StTimeToReal(S(bad)), Exception) << bad;
}

TEST(RoundDec, HalvesAwayFromZeroOnTheDecimalForm)
{
    EXPECT_EQ(RoundDec(0.25 * 10.01 + 0.25 * 10.01 + 0.25 * 10.01, 2), 7.51);
    EXPECT_EQ(RoundDec(2.675, 2), 2.68);
    EXPECT_EQ(RoundDec(-2.5, 0), -3);
    EXPECT_EQ(RoundDec(7.49999, 5), 7.49999);
    EXPECT_EQ(RoundDec(7.5, 5), 7.5);
    EXPECT_EQ(RoundDec(0.000004, 5), 0);
    EXPECT_EQ(RoundDec(7.0 + 59.5 / 60.0, 5), 7.99167);
    EXPECT_TRUE(std::isnan(RoundDec(NAN, 2)));
}

TEST(Functions, EmptyStringAndRegistrationMasks)
{
    EXPECT_TRUE(EmptyString(S("")));
    EXPECT_TRUE(EmptyString(S("   ")));
    EXPECT_FALSE(EmptyString(S(" T ")));
    EXPECT_EQ(PictPess(S("F")), S("000\\.000\\.000\\-00;0;_"));
    EXPECT_EQ(PictPess(S("J")), S("00\\.000\\.000\\/0000\\-00;0;_"));
    EXPECT_EQ(PictPess(S("j")), QString());
    EXPECT_EQ(PictPess(S("X")), QString());
}

TEST(CheckResultServ, UnwrapsPacketsAndRaisesTheServersMessage)
{
    const auto packet = CheckResultServ(
        J(R"({"ok":true,"data":{"fields":[{"name":"NMFUNC","type":"string","size":40}],"rows":[["Ana"]]}})"),
        true, 0);
    ASSERT_TRUE(packet.has_value());
    EXPECT_EQ((*packet->Rows[0])[0].ToString(), S("Ana"));
    EXPECT_FALSE(CheckResultServ(J(R"({"ok":true,"data":null})"), true, 0).has_value());
    EXPECT_FALSE(CheckResultServ(J(R"({"ok":true})"), true, 0).has_value());
    try {
        CheckResultServ(J(R"({"ok":false,"message":"CHT já aprovada."})"), true, 0);
        FAIL();
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), S("CHT já aprovada."));
    }
    EXPECT_THROW(CheckResultServ(QJsonValue(3), true, 0), EServerError);
    EXPECT_THROW(CheckResultServ(J(R"({"data":null})"), true, 0), EServerError);
    EXPECT_THROW(CheckResultServ(J(R"({"ok":true,"data":{"fields":[]}})"), true, 0),
                 EDatabaseError);

    ScriptedDesktop desktop;
    EXPECT_FALSE(CheckResultServ(J(R"({"ok":false,"message":"recusado"})"), false, 0).has_value());
    EXPECT_EQ(desktop.errors, QStringList{S("recusado")});
}

TEST(MensErro, ShowsThenAbortsSilently)
{
    {
        ScriptedDesktop desktop;
        EXPECT_THROW(MensErro(S("Ocorrência deve ser informada."), true), EAbort);
        MensErro(S("aviso"), false);
        EXPECT_EQ(desktop.errors, (QStringList{S("Ocorrência deve ser informada."), S("aviso")}));
    }
    // Without a desktop the message must not vanish.
    EXPECT_THROW(MensErro(S("sem desktop"), true), Exception);
}

TEST(Application, ErrorDisplayShowsMessagesButNotTheSilentAbort)
{
    ScriptedDesktop desktop;
    TForm form(S("f"));
    auto* button = form.Add<TSpeedButton>(S("sbt"));
    button->OnClick = [](TObject*) {
        Abort();
    };
    UserClick(button);
    button->OnClick = [](TObject*) {
        throw Exception(S("Falha de rede."));
    };
    UserClick(button);
    button->OnClick = [](TObject*) {
        throw std::runtime_error("boom");
    };
    UserClick(button);
    EXPECT_EQ(desktop.errors, (QStringList{S("Falha de rede."), S("Erro inesperado: boom")}));
}

TEST(Application, BusyAnimationNestsAndShowsOnceAtTheOutermostLevel)
{
    ScriptedDesktop desktop;
    ActiveShowAvi(nullptr, 0);
    ActiveShowAvi(nullptr, 1);
    ActiveShowAvi(nullptr, 1);
    DeactiveShowAvi();
    DeactiveShowAvi();
    EXPECT_EQ(Application()->BusyDepth(), 1);
    DeactiveShowAvi();
    DeactiveShowAvi(); // an end without a start changes nothing
    EXPECT_EQ(desktop.busyChanges, (QList<bool>{true, false}));
    EXPECT_EQ(Application()->BusyDepth(), 0);
}

TEST(Messages, KeysMatchWithoutRegardToCase)
{
    ScriptedDesktop desktop;
    TMessages msg(S("msgPadrao"));
    msg.SetLines(
        {S("Cli_Inf|Cliente deve ser informado"), S("Hr_Aprov<|Quantidade|com barra"),
         S("CONF_GERAR_CHT|Confirma a geração da CHT para todas as CSA´s mostradas na tela?")});
    EXPECT_EQ(msg.Msg(S("cli_inf")), S("Cliente deve ser informado"));
    EXPECT_EQ(msg.Msg(S("HR_APROV<")), S("Quantidade|com barra"));
    EXPECT_EQ(msg.Msg(S("Cli")), QString());
    EXPECT_FALSE(msg.Contains(S("nada")));
    desktop.answers = {mrYes};
    EXPECT_EQ(msg.ShowMsg(S("conf_gerar_cht"), TMsgDlgType::mtConfirmation, mbYes | mbNo), 6);
    EXPECT_EQ(desktop.questions.last(),
              S("Confirma a geração da CHT para todas as CSA´s mostradas na tela?"));
    EXPECT_EQ(msg.ShowMsg(S("conf_gerar_cht"), TMsgDlgType::mtConfirmation, mbYes | mbNo), mrNo);
}

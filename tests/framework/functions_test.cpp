#include "host/data/packetcodec.h"
#include "host/framework/functions.h"
#include "host/framework/messages.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/text.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>

using namespace Qt::StringLiterals;

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
    EXPECT_EQ(StTimeToReal(u"07:30"_s), 7.5L);
    EXPECT_EQ(StTimeToReal(u" 7:30"_s), 7.5L);
    EXPECT_EQ(StTimeToReal(u"00:00"_s), 0.0L);
    EXPECT_EQ(StTimeToReal(u"99:59"_s), 99.0L + 59.0L / 60.0L);
    // What the hour text shows, typed back, is the quantity it shows.
    EXPECT_EQ(static_cast<double>(StTimeToReal(u"08:20"_s)), 8.0 + 20.0 / 60.0);
}

TEST(StTimeToReal, RefusesMinutesPastTheHourAndOtherText)
{
    try {
        StTimeToReal(u"07:60"_s);
        FAIL() << "60 minutes accepted";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(u"00 a 59"_s)) << e.Message().toStdString();
    }
    for (const char* bad :
         {"7:30", "07:3", "ab:cd", "07-30", "", "  :  ", "007:30", "07:3x", "-1:00"})
        EXPECT_THROW(StTimeToReal(QString::fromUtf8(bad)), Exception) << bad;
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
    EXPECT_TRUE(EmptyString(u""_s));
    EXPECT_TRUE(EmptyString(u"   "_s));
    EXPECT_FALSE(EmptyString(u" T "_s));
    EXPECT_EQ(PictPess(u"F"_s), u"000\\.000\\.000\\-00;0;_"_s);
    EXPECT_EQ(PictPess(u"J"_s), u"00\\.000\\.000\\/0000\\-00;0;_"_s);
    EXPECT_EQ(PictPess(u"j"_s), QString());
    EXPECT_EQ(PictPess(u"X"_s), QString());
}

TEST(CheckResultServ, UnwrapsPacketsAndRaisesTheServersMessage)
{
    const auto packet = CheckResultServ(
        J(R"({"ok":true,"data":{"fields":[{"name":"NMFUNC","type":"string","size":40}],"rows":[["Ana"]]}})"),
        true, 0);
    ASSERT_TRUE(packet.has_value());
    EXPECT_EQ((*packet->Rows[0])[0].ToString(), u"Ana"_s);
    EXPECT_FALSE(CheckResultServ(J(R"({"ok":true,"data":null})"), true, 0).has_value());
    EXPECT_FALSE(CheckResultServ(J(R"({"ok":true})"), true, 0).has_value());
    try {
        CheckResultServ(J(R"({"ok":false,"message":"CHT já aprovada."})"), true, 0);
        FAIL();
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), u"CHT já aprovada."_s);
    }
    EXPECT_THROW(CheckResultServ(QJsonValue(3), true, 0), EServerError);
    EXPECT_THROW(CheckResultServ(J(R"({"data":null})"), true, 0), EServerError);
    EXPECT_THROW(CheckResultServ(J(R"({"ok":true,"data":{"fields":[]}})"), true, 0),
                 EDatabaseError);

    ScriptedDesktop desktop;
    EXPECT_FALSE(CheckResultServ(J(R"({"ok":false,"message":"recusado"})"), false, 0).has_value());
    EXPECT_EQ(desktop.errors, QStringList{u"recusado"_s});
}

TEST(MensErro, ShowsThenAbortsSilently)
{
    {
        ScriptedDesktop desktop;
        EXPECT_THROW(MensErro(u"Ocorrência deve ser informada."_s, true), EAbort);
        MensErro(u"aviso"_s, false);
        EXPECT_EQ(desktop.errors, (QStringList{u"Ocorrência deve ser informada."_s, u"aviso"_s}));
    }
    // Without a desktop the message must not vanish.
    EXPECT_THROW(MensErro(u"sem desktop"_s, true), Exception);
}

TEST(Application, ErrorDisplayShowsMessagesButNotTheSilentAbort)
{
    ScriptedDesktop desktop;
    TForm form(u"f"_s);
    auto* button = form.Add<TSpeedButton>(u"sbt"_s);
    button->OnClick = [](TObject*) {
        Abort();
    };
    UserClick(button);
    button->OnClick = [](TObject*) {
        throw Exception(u"Falha de rede."_s);
    };
    UserClick(button);
    button->OnClick = [](TObject*) {
        throw std::runtime_error("boom");
    };
    UserClick(button);
    EXPECT_EQ(desktop.errors, (QStringList{u"Falha de rede."_s, u"Erro inesperado: boom"_s}));
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
    TMessages msg(u"msgPadrao"_s);
    msg.SetLines(
        {u"Cli_Inf|Cliente deve ser informado"_s, u"Hr_Aprov<|Quantidade|com barra"_s,
         u"CONF_GERAR_CHT|Confirma a geração da CHT para todas as CSA´s mostradas na tela?"_s});
    EXPECT_EQ(msg.Msg(u"cli_inf"_s), u"Cliente deve ser informado"_s);
    EXPECT_EQ(msg.Msg(u"HR_APROV<"_s), u"Quantidade|com barra"_s);
    EXPECT_EQ(msg.Msg(u"Cli"_s), QString());
    EXPECT_FALSE(msg.Contains(u"nada"_s));
    desktop.answers = {mrYes};
    EXPECT_EQ(msg.ShowMsg(u"conf_gerar_cht"_s, TMsgDlgType::mtConfirmation, mbYes | mbNo), 6);
    EXPECT_EQ(desktop.questions.last(),
              u"Confirma a geração da CHT para todas as CSA´s mostradas na tela?"_s);
    EXPECT_EQ(msg.ShowMsg(u"conf_gerar_cht"_s, TMsgDlgType::mtConfirmation, mbYes | mbNo), mrNo);
}

// What an operator's roles leave enabled on the approval screen: the
// commands the server would refuse them are disabled, and nothing else;
// the server, asked to take each CHT step for them, agrees.
#include "tests/screens/world.h"

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct ChtSteps : MarchScreen
{
    // The screen opened by another operator, on TF1's CHT T0001.
    void OpenAs(const QString& op)
    {
        QString token, err;
        ASSERT_EQ(RunServerCommand({u"token"_s, m_db->Spec(), op}, &token, &err), 0)
            << err.toStdString();
        m_opToken = token.trimmed();
        SetHostEnvironment({op, u"0001"_s, u"127.0.0.1"_s, m_server->Port(), m_opToken, QString()});
        OpenMarch();
        OpenTf1("T0001");
        UserFocus(f->dbgCSA);
    }

    // Whether the server lets the operator of the screen take each step:
    // "1" when it does not refuse it for want of a role (it is asked of a
    // CHT that does not exist, so that nothing changes).
    QString ServerAllowsSteps(const QString& op)
    {
        TRpcClient client;
        client.Connect(u"127.0.0.1"_s, m_server->Port());
        client.Login(op, m_opToken);
        QString allowed;
        for (const char* step : {"aprovar", "reabrir", "faturar", "desfazer"}) {
            try {
                client.Call(u"SetStatusCHT"_s,
                            {u"99999"_s, QString::fromLatin1(step), QString(), QString()});
                allowed += u'1';
            } catch (const ERpcError& e) {
                allowed += e.Code() == -32011 ? u'0' : u'1';
            }
        }
        return allowed;
    }

    QString m_opToken;
};

} // namespace

TEST_F(ChtSteps, EachOperatorSeesEnabledWhatTheServerWouldLetThemDo)
{
    struct TCase
    {
        const char* Operator;
        // Gerar CHT, Aprovar dias pendentes, Aprovar CHT, Reabrir CHT,
        // Marcar como faturada, Desfazer faturamento: 1 enabled.
        const char* Enabled;
        bool Edits; // typing into a day's hours edits it
    };
    const TCase cases[] = {
        {"ADMIN", "111111", true},  {"ANA", "111100", true},   {"BRUNO", "110000", true},
        {"CARLA", "000011", false}, {"DIEGO", "010000", true}, {"GABRIELA", "001100", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Operator);
        OpenAs(QString::fromLatin1(c.Operator));
        if (HasFatalFailure())
            return;
        QString enabled;
        for (const TMenuItem* item : {f->mnuGerarCHT, f->mnuAprovarPendentes})
            enabled += item->Enabled() ? u'1' : u'0';
        for (const TMenuItem* item : f->mnuPassosCHT)
            enabled += item->Enabled() ? u'1' : u'0';
        EXPECT_EQ(enabled, QString::fromLatin1(c.Enabled));
        EXPECT_EQ(enabled.mid(2), ServerAllowsSteps(QString::fromLatin1(c.Operator)))
            << "the screen and the server disagree on the CHT's steps";
        EXPECT_EQ(f->sbtGerarCHT->Enabled(), f->mnuGerarCHT->Enabled());
        EXPECT_TRUE(f->mnuHistoricoDia->Enabled() && f->mnuDemonstrativoCHT->Enabled());
        At(1, "QTHRAPROFATU");
        UserType(*f, u"05"_s);
        EXPECT_EQ(f->cdsAuxCSA.State() == TDataSetState::dsEdit, c.Edits);
        if (f->cdsAuxCSA.State() == TDataSetState::dsEdit)
            UserKey(*f, VK_ESCAPE);
        EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
        Input([this] { f->Close(); });
    }
}

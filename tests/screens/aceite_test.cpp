// The biller's step that sends an approved CHT to its client: offered only
// to whoever bills and only for an approved CHT, the e-mail corrected in
// its question, and the link the server made on the clipboard.
#include "service/policy.h"
#include "tests/screens/world.h"

#include <QCryptographicHash>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct AceiteStep : MarchScreen
{
    void OpenAs(const QString& op)
    {
        QString token, err;
        ASSERT_EQ(RunServerCommand({u"token"_s, m_db->Spec(), op}, &token, &err), 0)
            << err.toStdString();
        SetHostEnvironment(
            {op, u"0001"_s, u"127.0.0.1"_s, m_server->Port(), token.trimmed(), QString()});
        OpenMarch();
        OpenTf1("T0001");
    }
    void SetSituation(const char* situation)
    {
        m_db->Exec(u"UPDATE CHT SET IDSTATUSCHT = ? WHERE NRSEQUCHT = 'T0001'"_s,
                   {QString::fromLatin1(situation)});
        UserClick(f->sbtVerificar);
        OpenTf1("T0001");
    }
};

} // namespace

TEST_F(AceiteStep, TheBillerCopiesTheLinkOfAnApprovedCht)
{
    StartServer({u"--url-base"_s, u"https://horas.firma.test/"_s});
    // Who holds the role, by situation: only an approved CHT, only a biller.
    struct TCase
    {
        const char* Operator;
        const char* Situation;
        bool Enabled;
    };
    for (const TCase& c : {TCase{"CARLA", "P", false}, TCase{"CARLA", "A", true},
                           TCase{"CARLA", "R", false}, TCase{"ANA", "A", false}}) {
        SCOPED_TRACE(std::string(c.Operator) + " " + c.Situation);
        OpenAs(QString::fromLatin1(c.Operator));
        if (HasFatalFailure())
            return;
        SetSituation(c.Situation);
        EXPECT_EQ(f->mnuAceiteCHT->Enabled(), c.Enabled);
        Input([this] { f->Close(); });
    }

    OpenAs(u"CARLA"_s);
    SetSituation("A");
    desktop->inputs = {u"compras arroba cliente"_s, u" compras@cliente.com.br "_s};
    desktop->inputChecks.clear();
    UserKey(*f, f->mnuAceiteCHT->ShortCut().Key, ssCtrl | ssShift);
    EXPECT_EQ(desktop->inputChecks, QStringList{f->msgPadrao->Msg(u"ACEITE_EMAIL_INVALIDO"_s)});
    ASSERT_EQ(desktop->clipboard.size(), 1) << desktop->errors.join(u'\n').toStdString();
    const QString link = desktop->clipboard.first();
    const QString prefix = u"https://horas.firma.test/aceite/"_s;
    ASSERT_TRUE(link.startsWith(prefix)) << link.toStdString();
    // The link the server keeps the digest of, for that CHT and contact,
    // made by the biller.
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(link.mid(prefix.size()).toUtf8(), QCryptographicHash::Sha256)
            .toHex());
    EXPECT_EQ(m_db->Scalar(u"SELECT NRSEQUCHT || ' ' || DSEMAIL || ' ' || CDOPERADOR FROM "
                           "APH_ACEITE WHERE DSHASH = ?"_s,
                           {digest})
                  .toString(),
              u"T0001 compras@cliente.com.br CARLA"_s);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
}

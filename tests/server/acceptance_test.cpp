// The client's acceptance of a CHT through its link, on both engines:
// billing waits for it under --exigir-aceite, a reopen ends the links and
// what they decided, a decision is written all or nothing, and a contested
// day reaches the day's history and GetPendencias through a real server.
#include "server/documents/statement.h"
#include "server/methods/acceptance.h"
#include "server/storage/storage.h"
#include "tests/support/serverfixture.h"

#include <QJsonObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class AcceptanceTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        // Approved CHTs of TF1 on TP1/01/001: 00801 with 1 and 2 March,
        // 00802 with 3 March.
        AddCht(u"00801"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"A"_s);
        AddCht(u"00802"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"A"_s);
        for (int d : {1, 2})
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, d), 8, u"00801"_s,
                   8, 8);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 3), 8, u"00802"_s, 8,
               8);
        m_storage = TStorage::Open(TDatabaseSpec::Parse(m_db->Spec()));
    }
    void TearDown() override
    {
        m_storage.reset();
        ServerTest::TearDown();
    }

    QString FormTokenOf(const QString& token)
    {
        return FindAcceptanceLink(*m_storage, token).FormToken;
    }
    std::string Step(const QString& cht, const QString& action, const QString& reason = {},
                     const QString& invoice = {})
    {
        try {
            Checked(u"SetStatusCHT"_s, {cht, action, reason, invoice});
            return {};
        } catch (const Exception& e) {
            return e.Message().toStdString();
        }
    }
    bool Gone(const QString& token)
    {
        try {
            FindAcceptanceLink(*m_storage, token);
            return false;
        } catch (const ELinkGone&) {
            return true;
        }
    }

    std::unique_ptr<TStorage> m_storage;
};

TEST_F(AcceptanceTest, BillingWaitsForTheClientAndAReopenEndsItsLinks)
{
    // ANA, the fixture's operator, bills too.
    QString err;
    ASSERT_EQ(RunServerCommand({u"operator"_s, u"grant"_s, m_db->Spec(), u"ANA"_s, u"faturar"_s},
                               nullptr, &err),
              0)
        << err.toStdString();
    StartServer({u"--exigir-aceite"_s});
    EXPECT_TRUE(Step(u"00801"_s, u"faturar"_s, {}, u"NF-1"_s).find("ainda não foi aceita") !=
                std::string::npos);
    // Only an approved CHT gets a link.
    EXPECT_THROW(CreateAcceptanceLink(*m_storage, u"00803"_s, u"a@b.com.br"_s, 30, {}), ERefusal);
    const QString token =
        CreateAcceptanceLink(*m_storage, u"801"_s, u"compras@cliente.com.br"_s, 30, {});
    EXPECT_TRUE(QRegularExpression(u"^[0-9a-f]{64}$"_s).match(token).hasMatch()) << token.data();
    // Kept as its digest only: the token is nowhere in the database.
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM APH_ACEITE WHERE DSHASH = ? OR DSCHAVEFORM = ?"_s,
                           {token, token})
                  .toInt(),
              0);
    QString forged = token;
    forged[10] = forged[10] == u'0' ? u'1' : u'0';
    EXPECT_TRUE(Gone(forged));

    DecideAcceptance(*m_storage, token, FormTokenOf(token),
                     {true, u"Maria Souza"_s, u"10.1.2.3"_s, {}});
    const TChtStatement statement = LoadChtStatement(*m_storage, u"00801"_s);
    EXPECT_TRUE(statement.AcceptedBy.startsWith(u"Aceita por Maria Souza (compras@cliente.com.br) "
                                                "em "_s))
        << statement.AcceptedBy.toStdString();
    EXPECT_TRUE(ClientStatementCsv(statement).contains("Aceita por Maria Souza"));
    EXPECT_EQ(Step(u"00801"_s, u"faturar"_s, {}, u"NF-1"_s), "");

    // Undone and reopened: the acceptance no longer holds, the link is gone,
    // and billing waits again once the CHT is approved anew.
    EXPECT_EQ(Step(u"00801"_s, u"desfazer"_s, u"nota emitida errada"_s), "");
    EXPECT_EQ(Step(u"00801"_s, u"reabrir"_s, u"dias a corrigir"_s), "");
    EXPECT_TRUE(Gone(token));
    EXPECT_TRUE(LoadChtStatement(*m_storage, u"00801"_s).AcceptedBy.isEmpty());
    EXPECT_EQ(Step(u"00801"_s, u"aprovar"_s), "");
    EXPECT_TRUE(Step(u"00801"_s, u"faturar"_s, {}, u"NF-2"_s).find("ainda não foi aceita") !=
                std::string::npos);
}

TEST_F(AcceptanceTest, AContestedDayReachesTheHistoryAndPendenciasAllOrNothing)
{
    const QString token =
        CreateAcceptanceLink(*m_storage, u"00801"_s, u"financeiro@cliente.com.br"_s, 30, {});
    const QString form = FormTokenOf(token);
    const auto mar = [](int d) {
        return static_cast<TDay>(Day(2030, 3, d));
    };
    const QString comment = u"A equipe não esteve no cliente neste dia."_s;
    // 3 March is 00802's: the whole decision is refused, and nothing of it
    // is written.
    EXPECT_THROW(
        DecideAcceptance(
            *m_storage, token, form,
            {false, u"João Lima"_s, u"10.0.0.9"_s, {{mar(2), comment}, {mar(3), comment}}}),
        ERefusal);
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM APH_ACEITEDIA"_s).toInt(), 0);
    EXPECT_EQ(
        m_db->Scalar(u"SELECT COUNT(*) FROM APH_ACEITE WHERE IDDECISAO IS NOT NULL"_s).toInt(), 0);

    DecideAcceptance(*m_storage, token, form,
                     {false, u"João Lima"_s, u"10.0.0.9"_s, {{mar(2), comment}}});
    EXPECT_THROW(
        DecideAcceptance(*m_storage, token, form, {true, u"João Lima"_s, u"10.0.0.9"_s, {}}),
        ERefusal);
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE CDOPERADOR = 'cliente' AND "
                           "DSEVENTO LIKE '%00801%contestada%'"_s)
                  .toInt(),
              1);

    // The day's history, through the server: by the client, with who and
    // from where, and the comment.
    const TDataPacket history =
        Checked(u"GetHistCSA"_s, {u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, Day(2030, 3, 2)});
    const int event = history.FieldIndex(u"IDEVENTO"_s);
    const int reason = history.FieldIndex(u"DSMOTIVO"_s);
    QStringList contested;
    for (const TRow& row : history.Rows)
        if ((*row)[static_cast<std::size_t>(event)].ToString() == u"C")
            contested << (*row)[static_cast<std::size_t>(reason)].ToString();
    EXPECT_EQ(contested,
              QStringList{u"João Lima (financeiro@cliente.com.br), de 10.0.0.9: "_s + comment});

    // The clerk's exceptions: that day, once, of the new kind, with the
    // comment; 1 March, not contested, is not among them.
    const QJsonObject reply =
        m_client
            ->Call(u"GetPendencias"_s, {Day(2030, 3, 1), Day(2030, 3, 31), u"T"_s, u"T"_s, u"T"_s,
                                        u"T"_s, u"ANA"_s, u"T"_s})
            .toObject();
    ASSERT_TRUE(reply.value(u"ok").toBool()) << reply.value(u"message").toString().toStdString();
    const TDataPacket pend = CheckedPacket(reply);
    const int kind = pend.FieldIndex(u"IDPENDENCIA"_s);
    const int day = pend.FieldIndex(u"DTSERVPREST"_s);
    const int note = pend.FieldIndex(u"DSCOMENTARIO"_s);
    QStringList kinds;
    for (const TRow& row : pend.Rows)
        if ((*row)[static_cast<std::size_t>(kind)].ToString() == u"C")
            kinds << u"%1 %2"_s.arg((*row)[static_cast<std::size_t>(day)].ToNumber())
                         .arg((*row)[static_cast<std::size_t>(note)].ToString());
    EXPECT_EQ(kinds, QStringList{u"%1 %2"_s.arg(Day(2030, 3, 2)).arg(comment)});

    // A reopen ends the contestation with the link: the day leaves the list.
    Checked(u"SetStatusCHT"_s, {u"00801"_s, u"reabrir"_s, u"dias a corrigir"_s, QString()});
    const TDataPacket after =
        CheckedPacket(m_client
                          ->Call(u"GetPendencias"_s, {Day(2030, 3, 1), Day(2030, 3, 31), u"T"_s,
                                                      u"T"_s, u"T"_s, u"T"_s, u"ANA"_s, u"T"_s})
                          .toObject());
    for (const TRow& row : after.Rows)
        EXPECT_NE((*row)[static_cast<std::size_t>(kind)].ToString(), u"C");
}

} // namespace

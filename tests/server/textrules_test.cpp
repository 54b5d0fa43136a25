// Text that could mislead a reader, through a real server: a CHT step's
// reason counted as a reader sees it and without control characters, an
// invoice without control or direction characters and compared without
// case or invisible characters, an operator code taken in any case at
// Login and held as kept. Each case is checked against what the database
// holds afterwards.
#include "host/data/exceptions.h"
#include "tests/support/serverfixture.h"

#include <QJsonObject>

#include <functional>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class TextRulesTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        // Approved CHTs 00811 to 00814 of TF1, one March day each.
        for (int d = 1; d <= 4; ++d) {
            const QString cht = u"0081%1"_s.arg(d);
            AddCht(cht, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"A"_s);
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, d), 8, cht, 8, 8);
        }
        QString err;
        EXPECT_EQ(RunServerCommand({u"operator"_s, u"grant"_s, m_db->Spec(), u"ANA"_s,
                                    u"supervisionar,faturar"_s},
                                   nullptr, &err),
                  0)
            << err.toStdString();
    }

    // Empty when the call was answered; the error code, or the refusal's
    // message, otherwise.
    static QString Outcome(const std::function<void()>& call)
    {
        try {
            call();
            return QString();
        } catch (const ERpcError& e) {
            return QString::number(e.Code()) + u": "_s + e.Message();
        } catch (const Exception& e) {
            return e.Message();
        }
    }
    QString Step(TRpcClient& client, const QString& cht, const QString& action,
                 const QString& reason, const QString& invoice = {})
    {
        return Outcome([&] {
            CheckedPacket(client.Call(u"SetStatusCHT"_s, {cht, action, reason, invoice}));
        });
    }
    // A new connection logged in with ANA's token under the code typed.
    std::unique_ptr<TRpcClient> LoggedInAs(const QString& typed, QString* outcome)
    {
        auto client = NewClient(false);
        *outcome = Outcome([&] { client->Login(typed, m_token); });
        return client;
    }
};

} // namespace

TEST_F(TextRulesTest, MisleadingTextIsRefusedAndLookAlikesAreOneValue)
{
    const QString reasonOf = u"SELECT MAX(DSMOTIVO) FROM APH_HISTEVENTO WHERE NRSEQUCHT = ? AND "
                             "IDSTATUSCHT = 'P'"_s;
    const QString situationOf = u"SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = ?"_s;
    const QString invoiceOf = u"SELECT NRNOTAFISCAL FROM CHT WHERE NRSEQUCHT = ?"_s;
    const QString lastStepBy = u"SELECT MAX(CDOPERADOR) FROM APH_HISTEVENTO WHERE NRSEQUCHT = ? "
                               "AND IDSTATUSCHT = 'P'"_s;
    const QString tenVisible = u"\u200b\u200b\u200bConferir \u200bhoras"_s;
    std::unique_ptr<TRpcClient> lower;
    struct TCase
    {
        const char* What;
        std::function<QString()> Act;
        const char* Refusal; // a part of the refusal; null: accepted
        QString Sql;         // what the database holds afterwards
        QString Cht;
        QVariant Expected;
    };
    const QVariant none;
    const TCase cases[] = {
        {"a reason of ten zero-width characters",
         [&] { return Step(*m_client, u"00811"_s, u"reabrir"_s, QString(10, QChar(0x200b))); },
         "pelo menos 10 caracteres", situationOf, u"00811"_s, u"A"_s},
        {"a reason with an escape",
         [&] { return Step(*m_client, u"00811"_s, u"reabrir"_s, u"Motivo \u001b[2J longo"_s); },
         "caracteres de controle", situationOf, u"00811"_s, u"A"_s},
        {"a reason of two lines",
         [&] { return Step(*m_client, u"00811"_s, u"reabrir"_s, u"Motivo com\nduas linhas"_s); },
         "quebras de linha", situationOf, u"00811"_s, u"A"_s},
        {"ten visible characters among zero-width ones",
         [&] { return Step(*m_client, u"00811"_s, u"reabrir"_s, tenVisible); }, nullptr, reasonOf,
         u"00811"_s, tenVisible},
        {"an invoice with an escape",
         [&] { return Step(*m_client, u"00812"_s, u"faturar"_s, {}, u"NF\u001b100"_s); },
         "caracteres de", invoiceOf, u"00812"_s, none},
        {"an invoice with a direction override",
         [&] { return Step(*m_client, u"00812"_s, u"faturar"_s, {}, u"NF-\u202e001"_s); },
         "direção do texto", invoiceOf, u"00812"_s, none},
        {"an invoice of two lines",
         [&] { return Step(*m_client, u"00812"_s, u"faturar"_s, {}, u"NF-1\r\n2"_s); },
         "quebras de linha", invoiceOf, u"00812"_s, none},
        {"an invoice of zero-width characters only",
         [&] { return Step(*m_client, u"00812"_s, u"faturar"_s, {}, u"\u200b\u2060"_s); },
         "Informe o número", invoiceOf, u"00812"_s, none},
        {"an invoice in lower case",
         [&] { return Step(*m_client, u"00812"_s, u"faturar"_s, {}, u"nf-100"_s); }, nullptr,
         invoiceOf, u"00812"_s, u"nf-100"_s},
        {"the same invoice in upper case with a zero-width space",
         [&] { return Step(*m_client, u"00813"_s, u"faturar"_s, {}, u"NF-100\u200b"_s); },
         "já está na CHT 00812", invoiceOf, u"00813"_s, none},
        {"another invoice, kept without its zero-width space",
         [&] { return Step(*m_client, u"00813"_s, u"faturar"_s, {}, u"NF-\u200b200"_s); }, nullptr,
         invoiceOf, u"00813"_s, u"NF-200"_s},
        {"a code with a zero-width space at Login",
         [&] {
             QString outcome;
             LoggedInAs(u"ANA\u200b"_s, &outcome);
             return outcome;
         },
         "Login recusado", situationOf, u"00814"_s, u"A"_s},
        {"a code in lower case at Login",
         [&] {
             QString outcome;
             lower = LoggedInAs(u"ana"_s, &outcome);
             return outcome;
         },
         nullptr, situationOf, u"00814"_s, u"A"_s},
        {"a step on that connection, recorded under the code as kept",
         [&] { return Step(*lower, u"00814"_s, u"reabrir"_s, u"Conferir as horas"_s); }, nullptr,
         lastStepBy, u"00814"_s, u"ANA"_s},
        {"a read naming the operator in another case",
         [&] {
             return Outcome([&] {
                 lower->Call(u"GetServPrest"_s, {Day(2030, 3, 1), Day(2030, 3, 31), u"T"_s, u"T"_s,
                                                 u"T"_s, u"T"_s, u"aNa"_s, u"T"_s});
             });
         },
         nullptr, situationOf, u"00814"_s, u"P"_s},
        {"a read naming another operator",
         [&] {
             return Outcome([&] {
                 lower->Call(u"GetServPrest"_s, {Day(2030, 3, 1), Day(2030, 3, 31), u"T"_s, u"T"_s,
                                                 u"T"_s, u"T"_s, u"BETO"_s, u"T"_s});
             });
         },
         "-32004: O operador \"BETO\" não é o operador desta conexão (ANA)", situationOf,
         u"00814"_s, u"P"_s},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const QString outcome = c.Act();
        if (c.Refusal)
            EXPECT_TRUE(outcome.contains(QString::fromUtf8(c.Refusal))) << outcome.toStdString();
        else
            EXPECT_EQ(outcome, QString()) << outcome.toStdString();
        const QVariant held = m_db->Scalar(c.Sql, {c.Cht});
        if (c.Expected.isNull())
            EXPECT_TRUE(held.isNull()) << held.toString().toStdString();
        else
            EXPECT_EQ(held.toString(), c.Expected.toString());
    }
}

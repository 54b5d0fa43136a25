// SetCHT: one CHT per contracted service and employee, nothing billed
// twice, by the filter's choices, and from two connections at once.
#include "tests/support/serverfixture.h"

#include <latch>
#include <thread>

using namespace aph;
using namespace aph::test;

namespace {

QString S(const char* s)
{
    return QString::fromUtf8(s);
}

const double kMar1 = Day(2030, 3, 1);
const double kMar31 = Day(2030, 3, 31);

// TF1 on TP1/001 (1..3 March, 3 March already approved at 6 of 8 h) and on
// TP1/002 (5 March); TF2 on TP1/001 (2 March) and TP2/001 (4 March and 2
// April); TF2 on TP2/001 also 9 March, already in CHT 90021.
class SetChtTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        AddCsa(S("TP1"), S("01"), S("001"), S("TF1"), S("01"), Day(2030, 3, 1), 8);
        AddCsa(S("TP1"), S("01"), S("001"), S("TF1"), S("01"), Day(2030, 3, 2), 9.5);
        AddCsa(S("TP1"), S("01"), S("001"), S("TF1"), S("01"), Day(2030, 3, 3), 8, {}, 6.0, 8.0);
        AddCsa(S("TP1"), S("01"), S("002"), S("TF1"), S("01"), Day(2030, 3, 5), 4);
        AddCsa(S("TP1"), S("01"), S("001"), S("TF2"), S("02"), Day(2030, 3, 2), 8);
        AddCsa(S("TP2"), S("01"), S("001"), S("TF2"), S("02"), Day(2030, 3, 4), 7);
        AddCsa(S("TP2"), S("01"), S("001"), S("TF2"), S("02"), Day(2030, 4, 2), 7);
        AddCht(S("90021"), S("TP2"), S("01"), S("001"), S("TF2"), S("02"), S("P"));
        AddCsa(S("TP2"), S("01"), S("001"), S("TF2"), S("02"), Day(2030, 3, 9), 5, S("90021"), 5,
               5);
    }

    void Generate(TRpcClient& client, const QString& clients, const QString& employees,
                  const QString& proposals, double from = kMar1, double to = kMar31)
    {
        const auto all = [](const QString& list) {
            return list == u"T" ? S("T") : QString();
        };
        Checked(client, S("SetCHT"),
                {from, to, S("ANA"), clients, all(clients), employees, all(employees), proposals,
                 all(proposals)});
    }
    void Generate(const QString& clients, const QString& employees, const QString& proposals,
                  double from = kMar1, double to = kMar31)
    {
        Generate(*m_client, clients, employees, proposals, from, to);
    }

    int Count(const char* sql) { return m_db->Scalar(S(sql)).toInt(); }
    int NewChts() { return Count("SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA'"); }
    int FreeCsas()
    {
        return Count("SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL AND CDFUNC LIKE 'TF%'");
    }
};

} // namespace

TEST_F(SetChtTest, OneChtPerServiceAndEmployeeWithEmptyApprovalsFilled)
{
    Generate(S("T"), S("T"), S("T"));
    EXPECT_EQ(NewChts(), 4);  // TF1 on 001 and 002, TF2 on 001 of TP1 and TP2
    EXPECT_EQ(FreeCsas(), 1); // April stays out
    // Every CHT holds exactly its own service's and employee's CSAs.
    EXPECT_EQ(
        Count("SELECT COUNT(*) FROM CSA A JOIN CHT H ON H.NRSEQUCHT = A.NRSEQUCHT WHERE "
              "H.CDOPERINCL = 'ANA' AND (H.CDFUNC <> A.CDFUNC OR H.NRSERVCONT <> A.NRSERVCONT "
              "OR H.NRPROPOSFAS <> A.NRPROPOSFAS OR H.CDEMPRESA <> A.CDEMPRESA)"),
        0);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CHT H WHERE CDOPERINCL = 'ANA' AND IDSTATUSCHT = 'P' AND "
                    "NOT EXISTS (SELECT 1 FROM CSA A WHERE A.NRSEQUCHT = H.NRSEQUCHT)"),
              0);
    // Empty approvals took the hours worked; a set approval was kept.
    const QList<QVariantList> rows = m_db->Rows(
        S("SELECT DTSERVPREST, QTHRAPROFATU, QTHRAPRCOMIS FROM CSA WHERE CDFUNC = 'TF1' AND "
          "NRSERVCONT = '001' ORDER BY DTSERVPREST"));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[1][1].toDouble(), 9.5);
    EXPECT_EQ(rows[1][2].toDouble(), 9.5);
    EXPECT_EQ(rows[2][1].toDouble(), 6.0);

    const TDataPacket chts = Checked(
        S("GetCHT"), {S("DES"), S("TP1"), S("01"), kMar1, kMar31, S("TF1"), S("01"), S("_P")});
    ASSERT_EQ(chts.Rows.size(), 1u);
    EXPECT_EQ(Column(chts, "QTHRTRAB"), QStringList{S("25.5")});
    EXPECT_EQ(Column(chts, "CDOPERINCL"), QStringList{S("ANA")});
    EXPECT_TRUE(Column(chts, "DSREFECHT")[0].contains(S("01/03/2030 a 03/03/2030")));
    EXPECT_EQ(Column(chts, "NRSEQUCHT")[0].size(), 5);
}

TEST_F(SetChtTest, RunningItTwiceBillsNothingTwice)
{
    Generate(S("T"), S("T"), S("T"));
    const int chts = NewChts();
    Generate(S("T"), S("T"), S("T"));
    EXPECT_EQ(NewChts(), chts);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT = '90021'"), 1);
}

TEST_F(SetChtTest, OnlyTheChosenClientsEmployeesProposalsAndPeriod)
{
    Generate(Sel({"TC2"}), S("T"), S("T"));
    EXPECT_EQ(NewChts(), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA' AND NRPROPOSFAS = 'TP2'"),
              1);
    Generate(S("T"), Sel({"TF2"}), Sel({"TP1|01"}));
    EXPECT_EQ(NewChts(), 2);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL AND CDFUNC = 'TF2'"), 1);
    Generate(S("T"), S("T"), S("T"), Day(2030, 3, 1), Day(2030, 3, 1));
    EXPECT_EQ(NewChts(), 3);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL AND CDFUNC = 'TF1'"), 3);
    // Nothing picked generates nothing.
    Generate(QString(), S("T"), S("T"));
    EXPECT_EQ(NewChts(), 3);
}

TEST_F(SetChtTest, TwoServersAtOnceNeverPutACsaInTwoChts)
{
    // Enough work that the two generations overlap.
    for (int e = 0; e < 12; ++e) {
        const QString func = QStringLiteral("TX%1").arg(e);
        AddEmployee(func, func, S("01"));
        for (int d = 1; d <= 28; ++d)
            AddCsa(S("TP1"), S("01"), e % 2 ? S("001") : S("002"), func, S("01"), Day(2030, 3, d),
                   8);
    }
    const int groups = 4 + 12;
    QString failA, failB;
    std::latch ready(2);
    // A second server on the same database: the guarantee is the database's.
    TServerProcess second(m_db->Spec());
    const auto generate = [&](QString& failure, quint16 port) {
        try {
            auto client = NewClient(true, port); // a connection of its own thread
            ready.arrive_and_wait();
            Generate(*client, S("T"), S("T"), S("T"));
        } catch (const Exception& e) {
            failure = e.Message();
        }
    };
    std::thread ta(generate, std::ref(failA), m_server->Port());
    std::thread tb(generate, std::ref(failB), second.Port());
    ta.join();
    tb.join();
    EXPECT_TRUE(failA.isEmpty()) << failA.toStdString();
    EXPECT_TRUE(failB.isEmpty()) << failB.toStdString();
    EXPECT_EQ(NewChts(), groups);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CHT H WHERE CDOPERINCL = 'ANA' AND NOT EXISTS (SELECT 1 "
                    "FROM CSA A WHERE A.NRSEQUCHT = H.NRSEQUCHT)"),
              0);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM (SELECT NRPROPOSFAS, NRSERVCONT, CDFUNC FROM CHT WHERE "
                    "CDOPERINCL = 'ANA' GROUP BY NRPROPOSFAS, NRSERVCONT, CDFUNC HAVING COUNT(*) > "
                    "1) X"),
              0);
    EXPECT_EQ(FreeCsas(), 1);
}

TEST_F(SetChtTest, RefusesAnotherOperatorAndBadChoicesWritingNothing)
{
    const auto code = [this](const QJsonArray& params) {
        try {
            Checked(S("SetCHT"), params);
        } catch (const ERpcError& e) {
            return e.Code();
        }
        return 0;
    };
    EXPECT_EQ(code({kMar1, kMar31, S("ADMIN"), S("T"), S("T"), S("T"), S("T"), S("T"), S("T")}),
              -32004);
    EXPECT_EQ(
        code({kMar1, kMar31, S("ANA"), S("TC1;TC2"), QString(), S("T"), S("T"), S("T"), S("T")}),
        -32602);
    EXPECT_EQ(code({kMar1, kMar31, S("ANA"), S("T"), S("X"), S("T"), S("T"), S("T"), S("T")}),
              -32602);
    EXPECT_EQ(
        code({kMar1, kMar31, S("ANA"), S("T"), S("T"), S("T"), S("T"), Sel({"TP1"}), QString()}),
        -32602);
    EXPECT_EQ(code({kMar1, kMar31, S("ANA"), S("T"), S("T")}), -32602);
    EXPECT_EQ(NewChts(), 0);
    EXPECT_EQ(FreeCsas(), 7);
}

TEST_F(SetChtTest, WithoutLoginTheOperatorMustStillBeActive)
{
    StartServer({S("--no-auth")});
    try {
        Checked(S("SetCHT"),
                {kMar1, kMar31, S("FABIO"), S("T"), S("T"), S("T"), S("T"), S("T"), S("T")});
        ADD_FAILURE();
    } catch (const ERefused& e) {
        EXPECT_TRUE(e.Message().contains(S("FABIO"))) << e.what();
    }
    EXPECT_EQ(FreeCsas(), 7);
    Checked(S("SetCHT"),
            {kMar1, kMar31, S("ADMIN"), S("T"), S("T"), S("T"), S("T"), S("T"), S("T")});
    EXPECT_EQ(FreeCsas(), 1);
}

// SetCHT: one CHT per contracted service and employee, nothing billed
// twice, by the filter's choices, and from two connections at once.
#include "server/methods/queries.h"
#include "server/methods/requests.h"
#include "server/storage/storage.h"
#include "tests/support/serverfixture.h"

#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <latch>
#include <thread>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

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
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 1), 8);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 2), 9.5);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 3), 8, {}, 6.0, 8.0);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 5), 4);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 2), 8);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 4), 7);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 4, 2), 7);
        AddCht(u"90021"_s, u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"P"_s);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 9), 5, u"90021"_s, 5,
               5);
    }

    void Generate(TRpcClient& client, const QString& clients, const QString& employees,
                  const QString& proposals, double from = kMar1, double to = kMar31)
    {
        const auto all = [](const QString& list) {
            return list == u"T" ? u"T"_s : QString();
        };
        Checked(client, u"SetCHT"_s,
                {from, to, u"ANA"_s, clients, all(clients), employees, all(employees), proposals,
                 all(proposals)});
    }
    void Generate(const QString& clients, const QString& employees, const QString& proposals,
                  double from = kMar1, double to = kMar31)
    {
        Generate(*m_client, clients, employees, proposals, from, to);
    }

    int Count(const char* sql) { return m_db->Scalar(QString::fromUtf8(sql)).toInt(); }
    int NewChts() { return Count("SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA'"); }
    int FreeCsas()
    {
        return Count("SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL AND CDFUNC LIKE 'TF%'");
    }
};

} // namespace

TEST_F(SetChtTest, OneChtPerServiceAndEmployeeWithEmptyApprovalsFilled)
{
    Generate(u"T"_s, u"T"_s, u"T"_s);
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
        u"SELECT DTSERVPREST, QTHRAPROFATU, QTHRAPRCOMIS FROM CSA WHERE CDFUNC = 'TF1' AND "
        "NRSERVCONT = '001' ORDER BY DTSERVPREST"_s);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[1][1].toDouble(), 9.5);
    EXPECT_EQ(rows[1][2].toDouble(), 9.5);
    EXPECT_EQ(rows[2][1].toDouble(), 6.0);

    const TDataPacket chts = Checked(
        u"GetCHT"_s, {u"DES"_s, u"TP1"_s, u"01"_s, kMar1, kMar31, u"TF1"_s, u"01"_s, u"_P"_s});
    ASSERT_EQ(chts.Rows.size(), 1u);
    EXPECT_EQ(Column(chts, "QTHRTRAB"), QStringList{u"25.5"_s});
    EXPECT_EQ(Column(chts, "CDOPERINCL"), QStringList{u"ANA"_s});
    EXPECT_TRUE(Column(chts, "DSREFECHT")[0].contains(u"01/03/2030 a 03/03/2030"_s));
    EXPECT_EQ(Column(chts, "NRSEQUCHT")[0].size(), 5);
}

TEST_F(SetChtTest, TheReplySaysWhatWasGenerated)
{
    const auto generated = [this] {
        return m_client
            ->Call(u"SetCHT"_s,
                   {kMar1, kMar31, u"ANA"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s})
            .toObject();
    };
    const QJsonObject first = generated();
    EXPECT_TRUE(first.value(u"ok"_s).toBool());
    EXPECT_TRUE(first.value(u"data"_s).isNull()) << "a client reading only ok and data";
    // TF1 on 001 (3 days) and 002 (1), TF2 on TP1/001 (1) and TP2/001 (1).
    const QJsonObject figures = first.value(u"generated"_s).toObject();
    EXPECT_EQ(figures.value(u"chts"_s).toInt(), 4);
    EXPECT_EQ(figures.value(u"employees"_s).toInt(), 2);
    EXPECT_EQ(figures.value(u"csas"_s).toInt(), 6);
    const QJsonObject none = generated().value(u"generated"_s).toObject();
    EXPECT_EQ(none.value(u"chts"_s).toInt(), 0);
    EXPECT_EQ(none.value(u"employees"_s).toInt(), 0);
    EXPECT_EQ(none.value(u"csas"_s).toInt(), 0);
}

TEST_F(SetChtTest, RunningItTwiceBillsNothingTwice)
{
    Generate(u"T"_s, u"T"_s, u"T"_s);
    const int chts = NewChts();
    Generate(u"T"_s, u"T"_s, u"T"_s);
    EXPECT_EQ(NewChts(), chts);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT = '90021'"), 1);
}

TEST_F(SetChtTest, OnlyTheChosenClientsEmployeesProposalsAndPeriod)
{
    Generate(Sel({"TC2"}), u"T"_s, u"T"_s);
    EXPECT_EQ(NewChts(), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA' AND NRPROPOSFAS = 'TP2'"),
              1);
    Generate(u"T"_s, Sel({"TF2"}), Sel({"TP1|01"}));
    EXPECT_EQ(NewChts(), 2);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL AND CDFUNC = 'TF2'"), 1);
    Generate(u"T"_s, u"T"_s, u"T"_s, Day(2030, 3, 1), Day(2030, 3, 1));
    EXPECT_EQ(NewChts(), 3);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL AND CDFUNC = 'TF1'"), 3);
    // Nothing picked generates nothing.
    Generate(QString(), u"T"_s, u"T"_s);
    EXPECT_EQ(NewChts(), 3);
}

TEST_F(SetChtTest, TwoServersAtOnceNeverPutACsaInTwoChts)
{
    // Enough work that the two generations overlap.
    for (int e = 0; e < 12; ++e) {
        const QString func = u"TX%1"_s.arg(e);
        AddEmployee(func, func, u"01"_s);
        for (int d = 1; d <= 28; ++d)
            AddCsa(u"TP1"_s, u"01"_s, e % 2 ? u"001"_s : u"002"_s, func, u"01"_s, Day(2030, 3, d),
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
            Generate(*client, u"T"_s, u"T"_s, u"T"_s);
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

TEST_F(SetChtTest, WhenTheFiveDigitNumbersWouldRunOutNothingIsGenerated)
{
    // March asks for 4 new CHTs; only 99,998 and 99,999 are left.
    m_db->Exec(u"UPDATE APH_SEQUENCIA SET NRVALOR = 99997 WHERE NMSEQUENCIA = 'CHT'"_s);
    const int free = FreeCsas();
    try {
        Generate(u"T"_s, u"T"_s, u"T"_s);
        ADD_FAILURE() << "generated past 99999";
    } catch (const EServerError& e) {
        EXPECT_TRUE(e.Message().contains(u"numeração de CHTs se esgotaria"_s)) << e.what();
        EXPECT_TRUE(e.Message().contains(u"99999"_s)) << e.what();
    }
    EXPECT_EQ(NewChts(), 0);
    EXPECT_EQ(FreeCsas(), free);
    EXPECT_EQ(Count("SELECT NRVALOR FROM APH_SEQUENCIA WHERE NMSEQUENCIA = 'CHT'"), 99997);
    // What fits still goes: one client's service.
    Generate(Sel({"TC2"}), u"T"_s, u"T"_s);
    EXPECT_EQ(NewChts(), 1);
}

TEST_F(SetChtTest, RefusesAnotherOperatorAndBadChoicesWritingNothing)
{
    const auto code = [this](const QJsonArray& params) {
        try {
            Checked(u"SetCHT"_s, params);
        } catch (const ERpcError& e) {
            return e.Code();
        }
        return 0;
    };
    EXPECT_EQ(code({kMar1, kMar31, u"ADMIN"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s}),
              -32004);
    EXPECT_EQ(
        code({kMar1, kMar31, u"ANA"_s, u"TC1;TC2"_s, QString(), u"T"_s, u"T"_s, u"T"_s, u"T"_s}),
        -32602);
    EXPECT_EQ(code({kMar1, kMar31, u"ANA"_s, u"T"_s, u"X"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s}),
              -32602);
    EXPECT_EQ(
        code({kMar1, kMar31, u"ANA"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, Sel({"TP1"}), QString()}),
        -32602);
    EXPECT_EQ(code({kMar1, kMar31, u"ANA"_s, u"T"_s, u"T"_s}), -32602);
    EXPECT_EQ(NewChts(), 0);
    EXPECT_EQ(FreeCsas(), 7);
}

TEST_F(SetChtTest, WithoutLoginTheOperatorMustStillBeActive)
{
    StartServer({u"--no-auth"_s});
    try {
        Checked(u"SetCHT"_s,
                {kMar1, kMar31, u"FABIO"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s});
        ADD_FAILURE();
    } catch (const EServerError& e) {
        EXPECT_TRUE(e.Message().contains(u"FABIO"_s)) << e.what();
    }
    EXPECT_EQ(FreeCsas(), 7);
    Checked(u"SetCHT"_s,
            {kMar1, kMar31, u"ADMIN"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s});
    EXPECT_EQ(FreeCsas(), 1);
}

// On SQLite the generation must not reach the CSAs through "no CHT yet",
// which is most of the table: the grouping reads the period's (or the
// employee's) rows, and the update goes from each new CHT to its CSAs by
// their key.
TEST(SetChtPlan, TheWorkFollowsTheRowsBilledNotTheTable)
{
    if (TTestDatabase::UsesPostgres())
        GTEST_SKIP() << "PostgreSQL plans it right by itself";
    QTemporaryDir dir;
    const QString spec = u"sqlite:"_s + dir.filePath(u"plan.db"_s);
    QString err;
    ASSERT_EQ(RunServerCommand({u"init"_s, spec, u"--scale"_s, u"20000"_s}, nullptr, &err), 0)
        << err.toStdString();
    {
        // The planner's statistics of a million CSAs, two thirds of them
        // without CHT: an average of 64 CSAs per CHT number hides that.
        auto init = TStorage::Open(TDatabaseSpec::Parse(spec));
        init->Exec(u"DELETE FROM sqlite_stat1 WHERE tbl IN ('CSA', 'CHT')"_s);
        const char* const stats[][3] = {
            {"CSA", "IX_CSA_FUNC", "1000000 340 2"},
            {"CSA", "IX_CSA_CHT", "1000000 64"},
            {"CSA", "IX_CSA_DIA", "1000000 3664"},
            {"CSA", "IX_CSA_SERVICO_DIA", "1000000 2874 2874 959 5 1 1"},
            {"CSA", "sqlite_autoindex_CSA_1", "1000000 2874 2874 959 192 1"},
            {"CHT", "IX_CHT_SERVICO", "15633 45 45 15 3"},
            {"CHT", "sqlite_autoindex_CHT_1", "15633 1"}};
        for (const auto& row : stats)
            init->Exec(u"INSERT INTO sqlite_stat1 (tbl, idx, stat) VALUES (?, ?, ?)"_s,
                       {QString::fromLatin1(row[0]), QString::fromLatin1(row[1]),
                        QString::fromLatin1(row[2])});
    }
    auto storage = TStorage::Open(TDatabaseSpec::Parse(spec));
    const auto plan = [&](const TQueryText& q) {
        QSqlQuery& p = storage->Select(u"EXPLAIN QUERY PLAN "_s + q.Sql, q.Values);
        QStringList steps;
        while (p.next())
            steps << p.value(3).toString();
        TStorage::Done(p);
        return steps;
    };
    const double start = Day(2025, 6, 2), end = Day(2025, 6, 8);
    for (const QString& employees : {u"T"_s, Sel({"F0000001"})}) {
        TSetChtRequest request;
        request.Start = start;
        request.End = end;
        request.Operator = u"ADMIN"_s;
        request.Clients = request.AllClients = request.AllEmployees = request.Proposals =
            request.AllProposals = u"T"_s;
        request.Employees = employees;
        request.AllEmployees = employees == u"T" ? u"T"_s : QString();
        const QStringList steps = plan(ChtGroupsQuery(*storage, request));
        ASSERT_FALSE(steps.isEmpty());
        EXPECT_FALSE(steps.join(u'\n').contains(u"IX_CSA_CHT"_s))
            << steps.join(u'\n').toStdString();
    }
    const QStringList update = plan(AttachCsasToChts(*storage, u"00001"_s, u"00009"_s, start, end));
    ASSERT_GE(update.size(), 2);
    EXPECT_TRUE(update[0].startsWith(u"SEARCH H"_s)) << update.join(u'\n').toStdString();
    EXPECT_TRUE(update[1].contains(u"CSA USING INDEX sqlite_autoindex_CSA_1"_s))
        << update.join(u'\n').toStdString();
    // The generation's history reads the same rows the same way, already in
    // the order of its table's key: no sort.
    const QStringList history =
        plan(HistoryGenerationCsaInsert(*storage, u"00001"_s, u"00009"_s, start, end));
    ASSERT_EQ(history.size(), 2) << history.join(u'\n').toStdString();
    EXPECT_TRUE(history[0].startsWith(u"SEARCH H"_s)) << history.join(u'\n').toStdString();
    EXPECT_TRUE(history[1].startsWith(u"SEARCH C USING INDEX sqlite_autoindex_CSA_1"_s))
        << history.join(u'\n').toStdString();
}

// A generation takes the CSAs it bills in the key order, as a save does:
// while another transaction holds TF1's 1 March, it waits there without
// having taken TF1's later days. Once let go it bills them all.
TEST_F(SetChtTest, AGenerationLocksItsCsasInKeyOrder)
{
    if (!TTestDatabase::UsesPostgres())
        GTEST_SKIP() << "SQLite locks the whole file for a write";
    m_db->ExecDirect(u"BEGIN"_s);
    m_db->Exec(u"SELECT 1 FROM CSA WHERE CDFUNC = 'TF1' AND DTSERVPREST = ? FOR UPDATE"_s,
               {static_cast<qint64>(kMar1)});
    QString failure;
    std::thread generator([&] {
        try {
            auto client = NewClient();
            Generate(*client, u"T"_s, u"T"_s, u"T"_s);
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
    });
    const bool waiting = m_db->AwaitLockWait();
    const bool laterFree =
        m_db->LockedAtOnce(u"SELECT 1 FROM CSA WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
                           {static_cast<qint64>(Day(2030, 3, 2))});
    m_db->ExecDirect(u"ROLLBACK"_s);
    generator.join();
    EXPECT_TRUE(waiting);
    EXPECT_TRUE(laterFree);
    EXPECT_EQ(failure, QString());
    EXPECT_EQ(FreeCsas(), 1); // only TF2's 2 April, outside March
}

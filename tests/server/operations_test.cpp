// Running the server for a firm: one log line per request, connections
// asked to move on after their age, and several servers sharing the
// database's workers.
#include "server/rpc/workerpool.h"
#include "tests/support/serverfixture.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
#include <future>
#include <map>
#include <numeric>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class OperationsTest : public ServerTest
{
protected:
    // The log lines of requests, in order.
    QStringList RequestLines(const QString& waitFor)
    {
        const QString log = m_server->Log(waitFor);
        QStringList lines;
        for (const QString& line : log.split(u'\n'))
            if (line.contains(u"requisicao="))
                lines << line;
        return lines;
    }
};

} // namespace

TEST_F(OperationsTest, EveryRequestLeavesOneLineSayingWhoWhatHowLongAndHowItEnded)
{
    // The fixture's client logged in as ANA; one read answered, one refused
    // by its arguments, one unknown method whose name tries to forge a line.
    EXPECT_NO_THROW(Checked(u"GetCHT"_s, {u"DES"_s, u"TP1"_s, u"01"_s, Day(2030, 3, 1),
                                          Day(2030, 3, 31), u"TF1"_s, u"01"_s, u"T"_s}));
    EXPECT_THROW(m_client->Call(u"GetFunc"_s, {1}), ERpcError);
    m_client->SendRaw(
        R"({"jsonrpc":"2.0","id":"x y","method":"Get\nrequisicao=9-9 resultado=ok","params":[]})");
    const QStringList lines = RequestLines(u"codigo=-32601"_s);
    ASSERT_EQ(lines.size(), 4) << lines.join(u'\n').toStdString();
    const QRegularExpression shape(
        uR"(^aph-server: requisicao=(\d+)-(\d+) origem=127\.0\.0\.1 operador=(\S+) metodo=(\S+) )"
        uR"(id=(\S+) ms=\d+\.\d\d resultado=(ok|recusa|erro codigo=-\d+)$)"_s);
    for (const QString& line : lines)
        EXPECT_TRUE(shape.match(line).hasMatch()) << line.toStdString();
    EXPECT_TRUE(lines[0].contains(u"operador=ANA metodo=Login id=1 "_s)) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(u"resultado=ok"_s));
    EXPECT_TRUE(lines[1].contains(u"operador=ANA metodo=GetCHT"_s)) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(u"metodo=GetFunc id=3 "_s)) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].endsWith(u"resultado=erro codigo=-32602"_s));
    // The client's text stays inside its field: no second line, no space.
    EXPECT_TRUE(
        lines[3].contains(u"metodo=Get\\x0arequisicao=9-9\\x20resultado=ok id=\"x\\x20y\""_s))
        << lines[3].toStdString();
    // Numbered per connection, in order.
    const QString connection = shape.match(lines[0]).captured(1);
    for (int i = 0; i < lines.size(); ++i) {
        const auto m = shape.match(lines[i]);
        EXPECT_EQ(m.captured(1), connection);
        EXPECT_EQ(m.captured(2).toInt(), i + 1);
    }
}

// Characters a Unicode-aware reader draws as a line break, a space or a
// reversal: each stays escaped in the method and the id, and the line
// holds printable ASCII only (besides the cut mark).
TEST_F(OperationsTest, TheLogEscapesEveryCharacterThatIsNotPrintableAscii)
{
    if (TTestDatabase::UsesPostgres())
        GTEST_SKIP() << "the log is the same on every database";
    struct Case
    {
        QString sent;    // as JSON carries it inside the quotes
        QString escaped; // in the method, as the log writes it
        QString id = {}; // in the id (as the client wrote it) when not the same
    };
    const QList<Case> cases{
        {u"\u0085"_s, u"\\u0085"_s},              // next line (C1)
        {u"\u009b"_s, u"\\u009b"_s},              // control sequence introducer (C1)
        {u"\u2028"_s, u"\\u2028"_s},              // line separator
        {u"\u2029"_s, u"\\u2029"_s},              // paragraph separator
        {u"\u00a0"_s, u"\\u00a0"_s},              // no-break space
        {u"\u202e"_s, u"\\u202e"_s},              // right-to-left override
        {u"\u200b"_s, u"\\u200b"_s},              // zero-width space
        {u"\ufeff"_s, u"\\ufeff"_s},              // byte order mark
        {u"\\\\"_s, u"\\x5c"_s, u"\\x5c\\x5c"_s}, // an escape of the client's own
    };
    for (const Case& c : cases) {
        const QByteArray text = "M" + c.sent.toUtf8() + "requisicao=1-1";
        m_client->SendRaw(R"({"jsonrpc":"2.0","id":")" + text + R"(","method":")" + text +
                          R"(","params":[]})");
    }
    const QStringList lines = RequestLines(u"metodo=M\\x5c"_s);
    ASSERT_EQ(lines.size(), cases.size() + 1) << lines.join(u'\n').toStdString();
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const QString& line = lines[i + 1];
        const QString method = u"M"_s + cases[i].escaped + u"requisicao=1-1"_s;
        const QString id =
            u"M"_s + (cases[i].id.isEmpty() ? cases[i].escaped : cases[i].id) + u"requisicao=1-1"_s;
        EXPECT_TRUE(line.contains(u" metodo="_s + method + u" id=\""_s + id + u"\" "_s))
            << line.toStdString();
        for (const QChar ch : line)
            EXPECT_TRUE(ch.unicode() >= 0x20 && ch.unicode() < 0x7f) << line.toStdString();
    }
}

TEST_F(OperationsTest, TheLogLevelKeepsRefusedLoginsAndDropsTheRest)
{
    StartServer({u"--log-level"_s, u"warning"_s});
    auto intruder = NewClient(false);
    EXPECT_THROW(intruder->Login(u"ANA"_s, u"not-the-token"_s), std::exception);
    EXPECT_NO_THROW(Checked(u"GetCHT"_s, {u"DES"_s, u"TP1"_s, u"01"_s, Day(2030, 3, 1),
                                          Day(2030, 3, 31), u"TF1"_s, u"01"_s, u"T"_s}));
    const QStringList lines = RequestLines(u"codigo=-32001"_s);
    ASSERT_EQ(lines.size(), 1) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[0].contains(u"metodo=Login"_s));

    QString err;
    EXPECT_EQ(RunServerCommand(
                  {u"serve"_s, m_db->Spec(), u"--port"_s, u"0"_s, u"--log-level"_s, u"verbose"_s},
                  nullptr, &err),
              2);
    EXPECT_TRUE(err.contains(u"Nível de registro inválido: 'verbose'"_s)) << err.toStdString();
}

// Behind a balancer, clients that keep their connections never come back
// to a restarted server; past its age a connection is told, after its
// reply and before anything more runs, to connect again.
TEST_F(OperationsTest, AnOldConnectionIsAskedToReconnectAfterItsReply)
{
    StartServer({u"--max-connection-age"_s, u"400"_s});
    const QJsonArray cht{u"DES"_s,         u"TP1"_s, u"01"_s, Day(2030, 3, 1),
                         Day(2030, 3, 31), u"TF1"_s, u"01"_s, u"T"_s};
    EXPECT_NO_THROW(Checked(u"GetCHT"_s, cht));
    QThread::msleep(600); // past the age, however it was spread
    // The reply comes, then the notice: the next call on this connection
    // finds it ended, and a new connection works.
    EXPECT_NO_THROW(Checked(u"GetCHT"_s, cht));
    try {
        m_client->Call(u"GetCHT"_s, cht);
        ADD_FAILURE() << "the connection should have been ended";
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(e.Message().contains(u"distribuir a carga"_s)) << e.Message().toStdString();
    }
    auto again = NewClient();
    EXPECT_NO_THROW(Checked(*again, u"GetCHT"_s, cht));
    // The call sent after the notice was never run.
    EXPECT_EQ(RequestLines(u"requisicao="_s).filter(u"metodo=GetCHT"_s).size(), 3);
}

TEST(WorkerShares, AddUpToTheDatabasesWorkersAndNeverDropBelowOne)
{
    for (int total : {1, 3, 4, 8, 13})
        for (int instances = 1; instances <= 5; ++instances) {
            std::vector<int> shares;
            for (int rank = 0; rank < instances; ++rank)
                shares.push_back(TWorkerPool::ShareOf(total, instances, rank));
            const int sum = std::accumulate(shares.begin(), shares.end(), 0);
            if (instances <= total) {
                EXPECT_EQ(sum, total) << total << " / " << instances;
            }
            for (int s : shares) {
                EXPECT_GE(s, 1);
                EXPECT_LE(s - total / instances, 1);
            }
        }
}

// Heavy jobs hold at most half the workers and two of them per owner;
// an owner past six running and waiting is refused; the light calls
// queued behind them run on the other workers meanwhile.
TEST_F(OperationsTest, HeavyJobsLeaveTheOtherWorkersToTheRest)
{
    struct TCase
    {
        int Workers;
        QStringList Owners; // of the heavy jobs, in the order submitted
        int MostAtOnce;     // heavy jobs running together at most
        int Refused;
    };
    const QStringList one(8, u"A"_s);
    const TCase cases[] = {
        {4, {u"A"_s, u"B"_s, u"C"_s, u"D"_s}, 2, 0},
        {2, {u"A"_s, u"B"_s, u"C"_s}, 1, 0},
        {8, one, 2, 2},
        {8, {u"A"_s, u"A"_s, u"A"_s, u"B"_s, u"C"_s}, 4, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Workers);
        std::promise<void> release;
        const std::shared_future<void> released = release.get_future().share();
        std::atomic<int> heavyNow{0}, heavyMost{0}, lightDone{0}, heavyDone{0};
        std::map<QString, std::atomic<int>> perOwner;
        for (const QString& owner : c.Owners)
            perOwner[owner] = 0;
        std::atomic<int> ownerMost{0};
        int refused = 0;
        {
            // Inside, so that its workers are joined before what the jobs use goes.
            TWorkerPool pool({TDatabaseSpec::Parse(m_db->Spec()), c.Workers});
            for (const QString& owner : c.Owners) {
                std::atomic<int>& mine = perOwner[owner];
                const bool queued = pool.SubmitHeavy(
                    [&, released](TDispatcher*, const QString&) {
                        heavyMost = std::max(heavyMost.load(), ++heavyNow);
                        ownerMost = std::max(ownerMost.load(), ++mine);
                        released.wait();
                        --mine;
                        --heavyNow;
                        ++heavyDone;
                    },
                    owner);
                refused += queued ? 0 : 1;
            }
            for (int i = 0; i < 6; ++i)
                pool.Submit([&](TDispatcher*, const QString&) { ++lightDone; });
            const QDeadlineTimer deadline(20000);
            while ((lightDone < 6 || heavyNow < c.MostAtOnce) && !deadline.hasExpired())
                QThread::msleep(10);
            EXPECT_EQ(lightDone, 6) << "calls behind the heavy jobs did not run";
            // Nothing more starts while they wait.
            QThread::msleep(50);
            EXPECT_EQ(heavyMost, c.MostAtOnce);
            EXPECT_LE(ownerMost, TWorkerPool::kHeavyRunningPerOwner);
            EXPECT_EQ(refused, c.Refused);
            release.set_value();
            while (heavyDone < qsizetype(c.Owners.size()) - refused && !deadline.hasExpired())
                QThread::msleep(10);
            EXPECT_EQ(heavyDone, qsizetype(c.Owners.size()) - refused);
        }
    }
}

// Two servers on one PostgreSQL database with --db-workers 3 split it:
// each sees the other through the database and runs its share.
TEST_F(OperationsTest, ServersOnOneDatabaseSplitItsWorkers)
{
    if (!TTestDatabase::UsesPostgres())
        GTEST_SKIP() << "shared workers are a PostgreSQL setting";
    StartServer({u"--db-workers"_s, u"3"_s});
    TServerProcess second(m_db->Spec(), {u"--db-workers"_s, u"3"_s});
    auto other = NewClient(true, second.Port());
    const QJsonArray cht{u"DES"_s,         u"TP1"_s, u"01"_s, Day(2030, 3, 1),
                         Day(2030, 3, 31), u"TF1"_s, u"01"_s, u"T"_s};
    Checked(u"GetCHT"_s, cht);
    Checked(*other, u"GetCHT"_s, cht);
    // Each looks again every few seconds; by then both are on the database.
    const QDeadlineTimer deadline(15000);
    QString first, later;
    while (!deadline.hasExpired()) {
        Checked(u"GetCHT"_s, cht);
        Checked(*other, u"GetCHT"_s, cht);
        first = m_server->Log(u"servidores no banco: 2"_s, 100);
        later = second.Log(u"servidores no banco: 2"_s, 100);
        if (first.contains(u"servidores no banco: 2"_s) &&
            later.contains(u"servidores no banco: 2"_s))
            break;
        QThread::msleep(200);
    }
    const QRegularExpression share(uR"(servidores no banco: 2; este executa até (\d) )"_s);
    const int a = share.match(first).captured(1).toInt();
    const int b = share.match(later).captured(1).toInt();
    EXPECT_EQ(a + b, 3) << first.toStdString() << later.toStdString();
    EXPECT_GE(std::min(a, b), 1);
    EXPECT_TRUE(m_server->Log().contains(u"servidores no banco: 1; este executa até 3 "_s));
}

TEST_F(OperationsTest, SharedWorkersAreRefusedOnSqlite)
{
    if (TTestDatabase::UsesPostgres())
        GTEST_SKIP() << "the refusal is SQLite's";
    QString err;
    EXPECT_EQ(
        RunServerCommand({u"serve"_s, m_db->Spec(), u"--port"_s, u"0"_s, u"--db-workers"_s, u"2"_s},
                         nullptr, &err),
        2);
    EXPECT_TRUE(err.contains(u"vale só com PostgreSQL"_s)) << err.toStdString();
}

// Connections that edit the same CSAs and generate CHTs over them, in every
// order of their steps, and racing inside the server. Each run is checked
// against a model of what the service promises: a save whose loaded values
// are stale is a conflict naming the day and changes nothing, every other
// save lands; a generation bills every free CSA of the period once, with the
// approvals as they stand; nothing outside it is billed.
#include "host/data/formatsettings.h"
#include "host/data/packetcodec.h"
#include "host/data/scopeguard.h"
#include "tests/support/serverfixture.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <algorithm>
#include <cmath>
#include <latch>
#include <map>
#include <optional>
#include <thread>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const double kMar1 = Day(2030, 3, 1);
const double kMar31 = Day(2030, 3, 31);
constexpr double kWorked = 8;

// One March day of TF1 on TP1/01/001 as the model sees it.
struct TRowState
{
    std::optional<double> Fatu, Comis;
    bool InCht = false;
    bool operator==(const TRowState&) const = default;
};
using TRows = std::map<int, TRowState>;

struct TModel
{
    TRows Rows{{1, {}}, {2, {}}, {3, {}}};
    int Chts = 0;

    // Empty when the save lands; otherwise the day it conflicts on.
    std::optional<int> Save(const TRows& seen, const std::vector<int>& days, double value)
    {
        for (int d : days)
            if (seen.at(d) != Rows.at(d))
                return d;
        for (int d : days)
            Rows[d].Fatu = value;
        return std::nullopt;
    }
    void Generate()
    {
        bool any = false;
        for (auto& [day, row] : Rows) {
            if (row.InCht)
                continue;
            row.InCht = true;
            row.Fatu = row.Fatu.value_or(kWorked);
            row.Comis = row.Comis.value_or(kWorked);
            any = true;
        }
        Chts += any ? 1 : 0;
    }
};

// An editor loads its days and saves one value on all of them in one
// delta; a generator (no days) generates the CHTs of March.
struct TActorSpec
{
    std::vector<int> Days;
    double Value = 0;
    bool IsGenerator() const { return Days.empty(); }
    int StepCount() const { return IsGenerator() ? 1 : 2; }
};

// What one write step answered: empty when it went through.
using TAnswer = QString;

QString DayText(int day)
{
    return u"%1/03/2030"_s.arg(day, 2, 10, QLatin1Char('0'));
}

// Every way of merging the actors' step sequences, as the actor taking
// each step.
void Merge(std::vector<int>& left, std::vector<int>& order, std::vector<std::vector<int>>& out)
{
    bool done = true;
    for (std::size_t a = 0; a < left.size(); ++a) {
        if (left[a] == 0)
            continue;
        done = false;
        --left[a];
        order.push_back(static_cast<int>(a));
        Merge(left, order, out);
        order.pop_back();
        ++left[a];
    }
    if (done)
        out.push_back(order);
}

// A logged-in connection whose request goes out before its reply is
// awaited, so that a thread can tell that its write is with the server
// while the database still holds it back. It lives on the thread that
// made it.
class TWriteConnection
{
public:
    TWriteConnection(quint16 port, const QString& token)
    {
        m_socket.connectToHost(u"127.0.0.1"_s, port);
        if (!m_socket.waitForConnected(5000))
            throw std::runtime_error("no connection for the write");
        Send(u"Login"_s, {u"ANA"_s, token});
        CheckedPacket(Reply());
    }

    // Returns once the request has left for the server.
    void Send(const QString& method, const QJsonArray& params)
    {
        const QJsonObject request{{u"jsonrpc"_s, u"2.0"_s},
                                  {u"id"_s, ++m_id},
                                  {u"method"_s, method},
                                  {u"params"_s, params}};
        m_socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        while (m_socket.bytesToWrite() > 0)
            if (!m_socket.waitForBytesWritten(5000))
                throw std::runtime_error("the request did not go out");
    }

    // The result of the request sent; ERpcError for an error reply.
    QJsonValue Reply()
    {
        while (!m_socket.canReadLine())
            if (!m_socket.waitForReadyRead(30000))
                throw std::runtime_error("no reply");
        const QJsonObject reply = QJsonDocument::fromJson(m_socket.readLine()).object();
        if (reply.contains(u"error")) {
            const QJsonObject error = reply.value(u"error").toObject();
            throw ERpcError(error.value(u"code").toInt(), error.value(u"message").toString());
        }
        return reply.value(u"result");
    }

private:
    QTcpSocket m_socket;
    qint64 m_id = 0;
};

class InterleavingTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        for (int d = 1; d <= 3; ++d)
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, d), kWorked);
        // Outside the period, and already in an approved CHT: never billed again.
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 4, 2), kWorked);
        AddCht(u"90031"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"A"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 10), kWorked,
               u"90031"_s, 7.0, 7.0);
    }

    void Reset()
    {
        m_db->Exec(u"UPDATE CSA SET NRSEQUCHT = NULL, QTHRAPROFATU = NULL, QTHRAPRCOMIS = NULL "
                   "WHERE CDFUNC = 'TF1' AND (NRSEQUCHT IS NULL OR NRSEQUCHT IN (SELECT "
                   "NRSEQUCHT FROM CHT WHERE CDOPERINCL = 'ANA'))"_s);
        m_db->Exec(u"DELETE FROM CHT WHERE CDOPERINCL = 'ANA'"_s);
    }

    // TF1's CSAs as a screen holds them: those without CHT in March and
    // those of each of its CHTs.
    TDataPacket Load(TRpcClient& client)
    {
        TDataPacket all = Checked(client, u"GetCSA"_s,
                                  {u"TC1"_s, u"TF1"_s, kMar1, kMar31, u"DES"_s, u"TP1"_s, u"01"_s,
                                   QString(), u"N"_s, u"01"_s});
        const TDataPacket chts =
            Checked(client, u"GetCHT"_s,
                    {u"DES"_s, u"TP1"_s, u"01"_s, kMar1, kMar31, u"TF1"_s, u"01"_s, u"T"_s});
        for (const QString& cht : Column(chts, "NRSEQUCHT")) {
            const TDataPacket rows = Checked(client, u"GetCSA"_s,
                                             {u"TC1"_s, u"TF1"_s, kMar1, kMar31, u"DES"_s, u"TP1"_s,
                                              u"01"_s, cht, u"S"_s, u"01"_s});
            all.Rows.insert(all.Rows.end(), rows.Rows.begin(), rows.Rows.end());
        }
        return all;
    }

    // An editor's save: its value on all its days, in one delta.
    static QJsonArray SaveParams(const TDataPacket& loaded, const TActorSpec& spec)
    {
        const int dayField = loaded.FieldIndex(u"DTSERVPREST"_s);
        TDelta delta;
        delta.Fields = loaded.Fields;
        for (int d : spec.Days) {
            const auto row =
                std::find_if(loaded.Rows.begin(), loaded.Rows.end(), [&](const TRow& r) {
                    return (*r)[static_cast<std::size_t>(dayField)].ToNumber() == Day(2030, 3, d);
                });
            if (row == loaded.Rows.end())
                throw std::runtime_error("a loaded day is missing");
            TDeltaRecord rec;
            rec.Original = **row;
            rec.New.emplace_back(loaded.FieldIndex(u"QTHRAPROFATU"_s),
                                 Value::FromNumber(spec.Value));
            delta.Records.push_back(std::move(rec));
        }
        return {DeltaToJson(delta)};
    }

    // A generation of the CHTs of March.
    static QJsonArray GenerateParams()
    {
        return {kMar1, kMar31, u"ANA"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s};
    }

    static TAnswer AnswerOf(const QJsonValue& result)
    {
        try {
            CheckedPacket(result);
            return {};
        } catch (const EServerError& e) {
            return e.Message();
        }
    }

    TAnswer Save(TRpcClient& client, const TDataPacket& loaded, const TActorSpec& spec)
    {
        return AnswerOf(client.Call(u"SetCSA"_s, SaveParams(loaded, spec)));
    }

    TAnswer Generate(TRpcClient& client)
    {
        return AnswerOf(client.Call(u"SetCHT"_s, GenerateParams()));
    }

    // Whether an answer is the one the model predicts.
    static bool Matches(const TAnswer& answer, std::optional<int> conflictDay)
    {
        if (!conflictDay)
            return answer.isEmpty();
        return answer.contains(u"outro usuário"_s) && answer.contains(DayText(*conflictDay));
    }

    // The database against the model: each day's approvals and CHT, the
    // CHTs generated, the hours they bill, and what must stay untouched.
    QString Differences(const TModel& model)
    {
        QStringList out;
        const QList<QVariantList> rows =
            m_db->Rows(u"SELECT DTSERVPREST, QTHRAPROFATU, QTHRAPRCOMIS, NRSEQUCHT FROM CSA WHERE "
                       "CDFUNC = 'TF1' AND DTSERVPREST BETWEEN ? AND ? ORDER BY DTSERVPREST"_s,
                       {static_cast<qint64>(kMar1), static_cast<qint64>(Day(2030, 3, 3))});
        for (const QVariantList& r : rows) {
            const int day = static_cast<int>(r[0].toLongLong() - static_cast<qint64>(kMar1)) + 1;
            const TRowState& want = model.Rows.at(day);
            TRowState got;
            if (!r[1].isNull())
                got.Fatu = r[1].toDouble();
            if (!r[2].isNull())
                got.Comis = r[2].toDouble();
            got.InCht = !r[3].isNull();
            if (got != want)
                out << u"day %1: approved %2 (expected %3), in a CHT %4 (expected %5)"_s.arg(day)
                           .arg(r[1].toString(),
                                want.Fatu ? QString::number(*want.Fatu) : u"null"_s)
                           .arg(got.InCht)
                           .arg(want.InCht);
        }
        const int chts =
            m_db->Scalar(u"SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA'"_s).toInt();
        if (chts != model.Chts)
            out << u"%1 CHTs generated; expected %2"_s.arg(chts).arg(model.Chts);
        // Every approved hour billed once: the CHTs hold exactly the hours the
        // model bills, and every generated CHT holds CSAs.
        double billed = 0;
        for (const auto& [day, row] : model.Rows)
            billed += row.InCht ? row.Fatu.value_or(0) : 0;
        const double stored = m_db->Scalar(u"SELECT COALESCE(SUM(A.QTHRAPROFATU), 0) FROM CSA A "
                                           "JOIN CHT H ON H.NRSEQUCHT = A.NRSEQUCHT WHERE "
                                           "H.CDOPERINCL = 'ANA'"_s)
                                  .toDouble();
        if (std::abs(stored - billed) > 1e-9)
            out << u"%1 hours billed; expected %2"_s.arg(stored).arg(billed);
        if (m_db->Scalar(u"SELECT COUNT(*) FROM CHT H WHERE NOT EXISTS (SELECT 1 FROM CSA A "
                         "WHERE A.NRSEQUCHT = H.NRSEQUCHT)"_s)
                .toInt() != 0)
            out << u"a CHT without CSAs"_s;
        // Outside the period, and in an approved CHT: untouched.
        const QList<QVariantList> apart = m_db->Rows(
            u"SELECT NRSEQUCHT, QTHRAPROFATU FROM CSA WHERE CDFUNC = 'TF1' AND DTSERVPREST IN "
            "(?, ?) ORDER BY DTSERVPREST"_s,
            {static_cast<qint64>(Day(2030, 3, 10)), static_cast<qint64>(Day(2030, 4, 2))});
        if (apart.size() != 2 || apart[0][0].toString() != u"90031" ||
            apart[0][1].toDouble() != 7.0 || !apart[1][0].isNull() || !apart[1][1].isNull())
            out << u"a CSA outside the generation changed"_s;
        return out.join(u"; "_s);
    }

    // Runs every order of the actors' steps, each from the same data, and
    // returns how many orders ran.
    int AllOrders(const std::vector<TActorSpec>& specs)
    {
        std::vector<std::unique_ptr<TRpcClient>> clients;
        for (std::size_t i = 0; i < specs.size(); ++i)
            clients.push_back(NewClient());
        std::vector<int> left;
        for (const TActorSpec& s : specs)
            left.push_back(s.StepCount());
        std::vector<int> order;
        std::vector<std::vector<int>> orders;
        Merge(left, order, orders);
        for (const std::vector<int>& steps : orders) {
            Reset();
            TModel model;
            std::vector<TDataPacket> loaded(specs.size());
            std::vector<TRows> seen(specs.size());
            std::vector<int> taken(specs.size(), 0);
            QString trace;
            for (int a : steps) {
                const auto i = static_cast<std::size_t>(a);
                const TActorSpec& spec = specs[i];
                TRpcClient& client = *clients[i];
                const QString who = QString(QChar(u'A' + a));
                if (spec.IsGenerator()) {
                    trace += who + u".generates "_s;
                    const TAnswer answer = Generate(client);
                    model.Generate();
                    EXPECT_TRUE(answer.isEmpty()) << trace.toStdString() << answer.toStdString();
                } else if (taken[i] == 0) {
                    trace += who + u".loads "_s;
                    loaded[i] = Load(client);
                    seen[i] = model.Rows;
                } else {
                    trace += who + u".saves "_s;
                    const TAnswer answer = Save(client, loaded[i], spec);
                    const std::optional<int> conflict = model.Save(seen[i], spec.Days, spec.Value);
                    EXPECT_TRUE(Matches(answer, conflict))
                        << trace.toStdString() << ": " << answer.toStdString();
                }
                ++taken[i];
            }
            const QString diff = Differences(model);
            EXPECT_TRUE(diff.isEmpty()) << trace.toStdString() << ": " << diff.toStdString();
            if (HasFailure())
                break;
        }
        return static_cast<int>(orders.size());
    }

    // Holds every writer of the database back, as a long transaction of
    // another program would, until released.
    void HoldWriters()
    {
        if (TTestDatabase::UsesPostgres()) {
            m_db->ExecDirect(u"BEGIN"_s);
            m_db->ExecDirect(u"LOCK TABLE CSA IN EXCLUSIVE MODE"_s);
            m_db->ExecDirect(u"SELECT pg_advisory_xact_lock(31500)"_s); // the generation lock
        } else {
            m_db->ExecDirect(u"BEGIN IMMEDIATE"_s);
        }
    }
    void ReleaseWriters() { m_db->ExecDirect(u"COMMIT"_s); }
    // Waits until that many requests wait on the held locks, as PostgreSQL
    // shows them, within a bounded time. SQLite shows no waiting writer;
    // there the requests having reached the server is what the race has.
    void AwaitLockWaits(int writers)
    {
        if (!TTestDatabase::UsesPostgres())
            return;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 20000) {
            m_db->Exec(u"SELECT pg_stat_clear_snapshot()"_s);
            if (m_db->Scalar(u"SELECT COUNT(*) FROM pg_stat_activity WHERE datname = "
                             "current_database() AND wait_event_type = 'Lock'"_s)
                    .toInt() >= writers)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ADD_FAILURE() << "the writers never reached the lock";
    }

    // Every actor loads, then all their writes reach the server at once
    // while the database holds them back; released together, they must end
    // as one of their serial orders would.
    void Race(const std::vector<TActorSpec>& specs)
    {
        Reset();
        const TRows start = TModel().Rows;
        std::vector<TAnswer> answers(specs.size());
        std::vector<QString> failures(specs.size());
        const auto actors = static_cast<std::ptrdiff_t>(specs.size());
        std::latch loaded(actors + 1);
        std::latch sent(actors); // every write request is with the server
        const quint16 port = m_server->Port();
        HoldWriters();
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < specs.size(); ++i)
            threads.emplace_back([&, i] {
                // Each actor is its own desktop: it reads on one connection
                // and writes on another, all in its own thread.
                std::optional<TWriteConnection> writer;
                QJsonArray params;
                try {
                    auto reader = NewClient();
                    params = specs[i].IsGenerator() ? GenerateParams()
                                                    : SaveParams(Load(*reader), specs[i]);
                    writer.emplace(port, m_token);
                } catch (const std::exception& e) {
                    failures[i] = QString::fromUtf8(e.what());
                }
                loaded.arrive_and_wait();
                try {
                    {
                        // Counted down however the send ends, so that the
                        // test never waits for a write that cannot come.
                        TScopeExit gone([&sent] { sent.count_down(); });
                        if (!writer)
                            return;
                        writer->Send(specs[i].IsGenerator() ? u"SetCHT"_s : u"SetCSA"_s, params);
                    }
                    answers[i] = AnswerOf(writer->Reply());
                } catch (const std::exception& e) {
                    failures[i] = QString::fromUtf8(e.what());
                }
            });
        loaded.arrive_and_wait();
        sent.wait();
        AwaitLockWaits(static_cast<int>(specs.size()));
        ReleaseWriters();
        for (std::thread& t : threads)
            t.join();
        for (const QString& f : failures)
            ASSERT_TRUE(f.isEmpty()) << f.toStdString();

        // Some serial order must explain every answer and the data.
        std::vector<std::size_t> order(specs.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        QStringList tried;
        do {
            TModel model;
            bool explained = true;
            for (std::size_t i : order) {
                if (specs[i].IsGenerator()) {
                    model.Generate();
                    explained = explained && answers[i].isEmpty();
                } else {
                    explained = explained && Matches(answers[i], model.Save(start, specs[i].Days,
                                                                            specs[i].Value));
                }
            }
            const QString diff = explained ? Differences(model) : u"answers"_s;
            if (diff.isEmpty())
                return;
            tried << diff;
        } while (std::next_permutation(order.begin(), order.end()));
        QStringList got;
        for (const TAnswer& a : answers)
            got << (a.isEmpty() ? u"ok"_s : a);
        ADD_FAILURE() << "no serial order explains the outcome: "
                      << got.join(u" | "_s).toStdString() << " / "
                      << tried.join(u" / "_s).toStdString();
    }
};

const TActorSpec kGenerator{};

} // namespace

TEST_F(InterleavingTest, TwoEditorsOfOneDayInEveryOrder)
{
    EXPECT_EQ(AllOrders({{{2}, 5}, {{2}, 6}}), 6);
}

TEST_F(InterleavingTest, ThreeEditorsOfOverlappingDaysInEveryOrder)
{
    // A saves days 2 and 3 in one delta: all of it lands or none.
    EXPECT_EQ(AllOrders({{{2, 3}, 5}, {{3}, 6}, {{2}, 7}}), 90);
}

TEST_F(InterleavingTest, EditingWhileGeneratingInEveryOrder)
{
    EXPECT_EQ(AllOrders({{{2}, 5}, {{3, 2}, 6}, kGenerator}), 30);
}

TEST_F(InterleavingTest, TwoGenerationsAndAnEditorInEveryOrder)
{
    EXPECT_EQ(AllOrders({{{1, 2}, 4.5}, kGenerator, kGenerator}), 12);
}

TEST_F(InterleavingTest, WritesReleasedTogetherEndAsOneSerialOrder)
{
    const std::vector<std::vector<TActorSpec>> races = {
        {{{2}, 5}, {{2}, 6}},
        {{{2, 3}, 5}, kGenerator},
        {kGenerator, kGenerator},
        {{{2}, 5}, {{2, 3}, 6}, kGenerator},
    };
    for (int round = 0; round < 3; ++round)
        for (const auto& race : races) {
            Race(race);
            if (HasFailure())
                return;
        }
}

// One operator floods the reads that scan a period (GetPendencias and
// GetPrevCHT over nine months of a generated firm) on eight connections;
// another operator's Login, picker and lookup are still answered, and
// their own heavy read gets a turn. The flooder's calls past its share
// are refused with their own code and a message, never left to hang.
#include "host/data/exceptions.h"
#include "service/rpccodes.h"
#include "tests/support/serverfixture.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// CSAs of the generated firm: enough that a heavy read over its nine
// months takes tens of milliseconds, few enough to be made in seconds.
constexpr int kScaleCsas = 60000;
constexpr int kFloodConnections = 8;
// The flood runs this long before the other operator calls, so that the
// queues are full.
constexpr int kFloodWarmupMs = 1500;
constexpr int kOtherRounds = 5;
// Generous: a light call answered within its usual time takes a few
// milliseconds; stuck behind the flood it took seconds.
constexpr qint64 kLightBoundMs = 3000;
constexpr qint64 kHeavyBoundMs = 15000;

const QString kFlooder = u"OP0000000"_s;
const QString kOther = u"OP0000001"_s;

QJsonArray PeriodParams(const QString& op)
{
    const double start = Day(2025, 1, 1), end = Day(2025, 9, 30);
    return {start, end, u"T"_s, u"T"_s, u"T"_s, u"T"_s, op, u"T"_s};
}

QJsonArray PreviewParams(const QString& op)
{
    return {Day(2025, 1, 1), Day(2025, 9, 30), op, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s};
}

double Ms(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

QString Token(const QString& spec, const QString& op)
{
    QString out, err;
    EXPECT_EQ(RunServerCommand({u"token"_s, spec, op}, &out, &err), 0) << err.toStdString();
    return out.trimmed();
}

// What the flooding connections saw.
struct TFloodCounts
{
    std::atomic<int> Answered{0}, Busy{0}, Other{0};
    std::atomic<bool> BusyMessageNamesOperator{true};
    std::atomic<bool> Stop{false};
};

void Flood(quint16 port, const QString& token, TFloodCounts& counts)
{
    TRpcClient client;
    client.CallTimeoutMs = 60000;
    try {
        client.Connect(u"127.0.0.1"_s, port);
        client.Login(kFlooder, token);
    } catch (const Exception&) {
        ++counts.Other;
        return;
    }
    for (int i = 0; !counts.Stop; ++i) {
        try {
            const bool pendencias = i % 2 == 0;
            const QJsonValue reply = pendencias
                                         ? client.Call(u"GetPendencias"_s, PeriodParams(kFlooder))
                                         : client.Call(u"GetPrevCHT"_s, PreviewParams(kFlooder));
            ++(reply.toObject().value(u"ok").toBool() ? counts.Answered : counts.Other);
        } catch (const ERpcError& e) {
            ++(e.Code() == rpc::kHeavyBusy ? counts.Busy : counts.Other);
            if (e.Code() == rpc::kHeavyBusy && !e.Message().contains(kFlooder))
                counts.BusyMessageNamesOperator = false;
        } catch (const Exception&) {
            ++counts.Other;
            return;
        }
    }
}

} // namespace

TEST(HeavyReads, OneOperatorsFloodLeavesTheOthersCallsAnswered)
{
    QString why;
    if (!TTestDatabase::Available(&why))
        GTEST_SKIP() << why.toStdString();
    TTestDatabase db;
    QString out, err;
    ASSERT_EQ(RunServerCommand({u"init"_s, db.Spec(), u"--scale"_s, QString::number(kScaleCsas)},
                               &out, &err),
              0)
        << err.toStdString();
    const QString flooderToken = Token(db.Spec(), kFlooder);
    const QString otherToken = Token(db.Spec(), kOther);
    TServerProcess server(db.Spec(), {u"--workers"_s, u"4"_s});

    // One heavy read alone, for the report.
    TRpcClient alone;
    alone.Connect(u"127.0.0.1"_s, server.Port());
    alone.Login(kOther, otherToken);
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(
        alone.Call(u"GetPendencias"_s, PeriodParams(kOther)).toObject().value(u"ok").toBool());
    const double heavyAloneMs = Ms(t);

    TFloodCounts counts;
    std::vector<std::thread> flood;
    for (int i = 0; i < kFloodConnections; ++i)
        flood.emplace_back(Flood, server.Port(), flooderToken, std::ref(counts));
    QThread::msleep(kFloodWarmupMs);

    std::vector<double> login, prop, lookup, heavy;
    for (int round = 0; round < kOtherRounds; ++round) {
        TRpcClient other;
        other.CallTimeoutMs = 30000;
        other.Connect(u"127.0.0.1"_s, server.Port());
        t.start();
        EXPECT_NO_THROW(other.Login(kOther, otherToken));
        login.push_back(Ms(t));
        t.start();
        EXPECT_NO_THROW(CheckedPacket(other.Call(u"GetProp"_s, {u"0001"_s, u"T"_s, u"T"_s})));
        prop.push_back(Ms(t));
        t.start();
        EXPECT_NO_THROW(CheckedPacket(other.Call(
            u"GetLookup"_s, {u"SELECT TO_DATE('21/06/2008')  AS DTINI\nFROM PARAMGERAL"_s,
                             u"SELECT CAST(('06/21/2008') AS TIMESTAMP) AS DTINI\n"
                             "FROM PARAMGERAL"_s})));
        lookup.push_back(Ms(t));
    }
    // The other operator's own heavy read gets a turn among the flood's.
    t.start();
    EXPECT_TRUE(
        alone.Call(u"GetPendencias"_s, PeriodParams(kOther)).toObject().value(u"ok").toBool());
    heavy.push_back(Ms(t));
    counts.Stop = true;
    for (std::thread& f : flood)
        f.join();

    const auto most = [](const std::vector<double>& ms) {
        return *std::max_element(ms.begin(), ms.end());
    };
    std::printf("heavy read alone %.1f ms; under the flood: Login max %.1f ms, GetProp max %.1f "
                "ms, GetLookup max %.1f ms, the other's GetPendencias %.1f ms; flood answered %d, "
                "refused %d\n",
                heavyAloneMs, most(login), most(prop), most(lookup), heavy[0],
                counts.Answered.load(), counts.Busy.load());
    EXPECT_LT(most(login), kLightBoundMs);
    EXPECT_LT(most(prop), kLightBoundMs);
    EXPECT_LT(most(lookup), kLightBoundMs);
    EXPECT_LT(heavy[0], kHeavyBoundMs);
    // Eight connections against six places: the flood got answers and
    // refusals, and nothing else.
    EXPECT_GT(counts.Answered, 0);
    EXPECT_GT(counts.Busy, 0);
    EXPECT_EQ(counts.Other, 0);
    EXPECT_TRUE(counts.BusyMessageNamesOperator);
}

// Latency of the approval service over loopback on a large database, each
// read beside the SQL it runs, bare through the engine's C client (the
// floor, see directfloor.h), plus SetCSA, SetCHT
// over a month of CSAs, and the time of `init --scale`. Reports figures;
// it passes or fails on nothing.
//
//   bench_server [--scale N] [--db sqlite:PATH|postgresql://...] [--iterations N]
//                [--parallel N] [--workers N] [--reads-only]
//
// Without --db it makes a temporary SQLite database with --scale N
// (1,000,000 by default) and times that too.
#include "directfloor.h"
#include "host/data/packetcodec.h"
#include "server/methods/queries.h"
#include "server/storage/storage.h"
#include "service/rpcclient.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

double Ole(int y, int m, int d)
{
    return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(y, m, d)));
}

struct TFigures
{
    double Median = 0, P99 = 0;
};

// Steady state: one untimed pass first, so that neither side pays for a
// cold page cache.
TFigures Measure(int iterations, const std::function<void(int)>& step, bool warmUp = true)
{
    for (int i = 0; warmUp && i < iterations; ++i)
        step(i);
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(iterations));
    for (int i = 0; i < iterations; ++i) {
        QElapsedTimer t;
        t.start();
        step(i);
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) {
        return ms[std::min(ms.size() - 1,
                           static_cast<std::size_t>(q * static_cast<double>(ms.size())))];
    };
    return {at(0.5), at(0.99)};
}

// A row of the reads' table; a read also shows its reply as the wire
// gives it (received whole, not parsed) and that against its floor.
void Row(const char* what, const TFigures& call, const TFigures* bare, double rtt,
         const TFigures* wire = nullptr)
{
    std::printf("| %-34s | %8.2f | %8.2f |", what, call.Median, call.P99);
    if (bare)
        std::printf(" %8.2f | %8.2f | %6.2f |", bare->Median, bare->P99,
                    call.Median / (bare->Median + rtt));
    else
        std::printf(" %8s | %8s | %6s |", "", "", "");
    if (bare && wire)
        std::printf(" %8.2f | %6.2f |\n", wire->Median, wire->Median / (bare->Median + rtt));
    else
        std::printf(" %8s | %6s |\n", "", "");
}

// A call as its cost to the server and the wire: the request written and
// the whole reply line received, nothing parsed (the floor reads its rows
// and parses nothing either).
void WireCall(QTcpSocket& socket, const QString& method, const QJsonArray& params)
{
    static qint64 id = 1;
    const QJsonObject request{
        {u"jsonrpc"_s, u"2.0"_s}, {u"id"_s, id++}, {u"method"_s, method}, {u"params"_s, params}};
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    while (socket.bytesToWrite() > 0)
        socket.waitForBytesWritten(30000);
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(600000))
            throw std::runtime_error("no reply on the wire connection");
    socket.readLine();
}

using TRequest = std::pair<QString, QJsonArray>;

// A read beside its floor and the round trip, in turns of ten calls each,
// so that a neighbour's load falls on all three alike while each stays in
// a warm cache.
struct TReadFigures
{
    TFigures Call, Floor, Rtt, Wire;
};

TReadFigures MeasureRead(TRpcClient& client, int iterations, const std::function<void(int)>& call,
                         const std::function<void(int)>& floor,
                         const std::function<void(int)>& wire)
{
    const auto ping = [&client](int) {
        try {
            client.Call(u"Ping"_s, {});
        } catch (const ERpcError&) {
        }
    };
    std::vector<double> ms[4];
    const std::function<void(int)> steps[4] = {call, floor, ping, wire};
    for (int i = 0; i < iterations; ++i)
        for (const auto& step : steps)
            step(i);
    constexpr int kTurn = 10;
    for (int first = 0; first < iterations; first += kTurn) {
        for (int k = 0; k < 4; ++k) {
            for (int i = first; i < std::min(iterations, first + kTurn); ++i) {
                QElapsedTimer t;
                t.start();
                steps[k](i);
                ms[k].push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            }
        }
    }
    TFigures figures[4];
    for (int k = 0; k < 4; ++k) {
        std::sort(ms[k].begin(), ms[k].end());
        const auto at = [&v = ms[k]](double q) {
            return v[std::min(v.size() - 1,
                              static_cast<std::size_t>(q * static_cast<double>(v.size())))];
        };
        figures[k] = {at(0.5), at(0.99)};
    }
    return {figures[0], figures[1], figures[2], figures[3]};
}

void ReadRow(const char* what, const TReadFigures& f)
{
    Row(what, f.Call, &f.Floor, f.Rtt.Median, &f.Wire);
}

// The options of the run.
struct TOptions
{
    qint64 Scale = 1000000;
    int Iterations = 300;
    int Parallel = 8;       // clients reading at once in the parallel pass
    QString Spec;           // the database; empty for a temporary one made here
    bool ReadsOnly = false; // leaves the database as it was: no saves, no SetCHT
    QString Workers;        // the server's worker threads; empty: its default
};

TOptions ParseOptions(const QStringList& args)
{
    TOptions options;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == u"--scale")
            options.Scale = args[++i].toLongLong();
        else if (args[i] == u"--db")
            options.Spec = args[++i];
        else if (args[i] == u"--iterations")
            options.Iterations = args[++i].toInt();
        else if (args[i] == u"--parallel")
            options.Parallel = args[++i].toInt();
        else if (args[i] == u"--workers")
            options.Workers = args[++i];
    }
    options.ReadsOnly = args.contains(u"--reads-only"_s);
    return options;
}

// Makes the database with init --scale and reports how long that took;
// false when init failed.
bool MakeScaleDatabase(const QString& server, const QString& spec, qint64 scale)
{
    QElapsedTimer t;
    t.start();
    QProcess init;
    init.setProcessChannelMode(QProcess::ForwardedChannels);
    init.start(server, {u"init"_s, spec, u"--scale"_s, QString::number(scale)});
    init.waitForFinished(-1);
    if (init.exitCode() != 0)
        return false;
    std::printf("init --scale %lld on SQLite: %.1f s\n", static_cast<long long>(scale),
                static_cast<double>(t.elapsed()) / 1000.0);
    return true;
}

// Starts the server without login on a free port and returns the port it
// reports on its first line; 0 when it did not start.
quint16 Serve(QProcess& process, const QString& server, const QString& spec,
              const QString& workers = QString())
{
    process.setReadChannel(QProcess::StandardOutput);
    // No line per request: nobody reads the log pipe while the figures run.
    QStringList args = {u"serve"_s,       spec,        u"--port"_s, u"0"_s, u"--no-auth"_s,
                        u"--log-level"_s, u"warning"_s};
    if (!workers.isEmpty())
        args << u"--workers"_s << workers;
    process.start(server, args);
    if (!process.waitForStarted() || !process.waitForReadyRead(30000))
        return 0;
    return static_cast<quint16>(QString::fromUtf8(process.readLine())
                                    .trimmed()
                                    .section(u':', -1)
                                    .section(u' ', 0, 0)
                                    .toUInt());
}

// The month the screens would look at: May 2025, all without CHT, and
// January to March, whose CSAs are in CHTs.
const double kMayStart = Ole(2025, 5, 1), kMayEnd = Ole(2025, 5, 31);
const double kQ1Start = Ole(2025, 1, 1), kQ1End = Ole(2025, 3, 31);

// What each measurement needs: the server's client, the same database
// opened directly for the bare queries, and the round trip of a call that
// does nothing.
struct TBench
{
    int Iterations;
    TRpcClient& Client;
    QTcpSocket& Wire; // a second connection, for WireCall
    TStorage& Storage;
    TDirectFloor& Floor;
    double Rtt = 0;
};

// One employee on one contracted service of May, to drive the finer reads.
struct TPair
{
    QString Client, Type, Proposal, Version, Service, Employee, Company;
};

void MeasureRoundTrip(TBench& bench)
{
    const TFigures rtt = Measure(bench.Iterations, [&](int) {
        try {
            bench.Client.Call(u"Ping"_s, {});
        } catch (const ERpcError&) {
        }
    });
    Row("round trip (unknown method)", rtt, nullptr, 0);
    bench.Rtt = rtt.Median;
}

// A read by its request: through the client, and on the wire.
TReadFigures MeasureRequest(const TBench& bench, int iterations,
                            const std::function<TRequest(int)>& request,
                            const std::function<void(int)>& bare)
{
    const std::function<void(int)> call = [&](int i) {
        const TRequest r = request(i);
        bench.Client.Call(r.first, r.second);
    };
    const std::function<void(int)> wire = [&](int i) {
        const TRequest r = request(i);
        WireCall(bench.Wire, r.first, r.second);
    };
    return MeasureRead(bench.Client, iterations, call, bare, wire);
}

// GetServPrest for one month, default filter (CSAs without CHT) and all.
void MeasureServices(const TBench& bench)
{
    for (const char* situation : {"S", "T"}) {
        const QString cht = situation == QByteArray("S") ? QString() : u"T"_s;
        const int n = std::max(10, bench.Iterations / 10);
        const std::function<TRequest(int)> request = ([&](int) -> TRequest {
            return {u"GetServPrest"_s,
                    {kMayStart, kMayEnd, u"T"_s, u"T"_s, u"T"_s, QString::fromUtf8(situation),
                     u"ADMIN"_s, cht}};
        });
        const TQueryText q =
            ServPrestQuery(bench.Storage, {.Start = static_cast<TDay>(kMayStart),
                                           .End = static_cast<TDay>(kMayEnd),
                                           .Clients = u"T"_s,
                                           .Employees = u"T"_s,
                                           .Proposals = u"T"_s,
                                           .CsaSituation = QString::fromUtf8(situation),
                                           .Operator = u"ADMIN"_s,
                                           .ChtSituation = cht});
        const std::function<void(int)> bare = ([&](int) { bench.Floor.Run(q); });
        ReadRow(situation == QByteArray("S") ? "GetServPrest, month, CSA \"S\""
                                             : "GetServPrest, month, CSA \"T\"",
                MeasureRequest(bench, n, request, bare));
    }
}

// The part of a read that is the client's: the reply line parsed into a
// JSON document, as TRpcClient does, and read into a packet.
void MeasureClientDecoding(const TBench& bench, const char* what, const QString& method,
                           const QJsonArray& params)
{
    const QJsonValue result = bench.Client.Call(method, params);
    const QByteArray line =
        QJsonDocument(QJsonObject{{u"jsonrpc"_s, u"2.0"_s}, {u"id"_s, 1}, {u"result"_s, result}})
            .toJson(QJsonDocument::Compact);
    const bool wrapped = result.isObject() && result.toObject().contains(u"ok");
    const TFigures decode = Measure(bench.Iterations, [&](int) {
        const QJsonValue r = QJsonDocument::fromJson(line).object().value(u"result");
        if (wrapped)
            CheckedPacket(r);
        else
            PacketFromJson(r);
    });
    std::printf("| %-34s | %8.1f | %8.3f | %8.3f |\n", what,
                static_cast<double>(line.size()) / 1024, decode.Median, decode.P99);
}

// The client's share of the reads (see MeasureClientDecoding), as a table
// of its own.
void MeasureClientShare(const TBench& bench, const std::vector<TPair>& pairs)
{
    std::printf("\nThe client's share of a read: its reply decoded as TRpcClient and the "
                "screens do (JSON document, then packet).\n\n| reply | KB | median ms | p99 ms "
                "|\n|---|---|---|---|\n");
    MeasureClientDecoding(
        bench, "GetServPrest, month, CSA \"S\"", u"GetServPrest"_s,
        {kMayStart, kMayEnd, u"T"_s, u"T"_s, u"T"_s, u"S"_s, u"ADMIN"_s, QString()});
    MeasureClientDecoding(bench, "GetProp, branch, all clients", u"GetProp"_s,
                          {u"0001"_s, QString(), u"T"_s});
    const TPair& p = pairs.front();
    MeasureClientDecoding(bench, "GetCSA, month without CHT", u"GetCSA"_s,
                          {p.Client, p.Employee, kMayStart, kMayEnd, p.Type, p.Proposal, p.Version,
                           QString(), u"N"_s, p.Company});
}

// GetProp of the branch every proposal belongs to, all clients: the
// picker's whole list.
void MeasureProposals(const TBench& bench)
{
    const int n = std::max(10, bench.Iterations / 10);
    const std::function<TRequest(int)> request = ([&](int) -> TRequest {
        return {u"GetProp"_s, {u"0001"_s, QString(), u"T"_s}};
    });
    const TQueryText q =
        PropQuery(bench.Storage, {.Branch = u"0001"_s, .Clients = QString(), .AllClients = u"T"_s});
    const std::function<void(int)> bare = ([&](int) { bench.Floor.Run(q); });
    ReadRow("GetProp, branch, all clients", MeasureRequest(bench, n, request, bare));
}

// The employees of every third service of May, up to 400 pairs.
std::vector<TPair> CollectPairs(const TBench& bench)
{
    const TDataPacket services = PacketFromJson(
        bench.Client.Call(u"GetServPrest"_s, {kMayStart, kMayEnd, u"T"_s, u"T"_s, u"T"_s, u"S"_s,
                                              u"ADMIN"_s, QString()}));
    std::vector<TPair> pairs;
    for (std::size_t i = 0; i < services.Rows.size() && pairs.size() < 400; i += 3) {
        const TRowValues& r = *services.Rows[i];
        const TDataPacket funcs = CheckedPacket(
            bench.Client.Call(u"GetFunc"_s, {kMayStart, kMayEnd, r[0].ToString(), r[6].ToString(),
                                             r[4].ToString(), r[5].ToString(), r[10].ToString(),
                                             u"T"_s, QString(), u"S"_s, QString()}));
        for (const TRow& f : funcs.Rows)
            pairs.push_back({r[0].ToString(), r[6].ToString(), r[4].ToString(), r[5].ToString(),
                             r[10].ToString(), (*f)[1].ToString(), (*f)[2].ToString()});
    }
    return pairs;
}

const TPair& PairAt(const std::vector<TPair>& pairs, int i)
{
    return pairs[static_cast<std::size_t>(i) % pairs.size()];
}

void MeasureEmployees(const TBench& bench, const std::vector<TPair>& pairs)
{
    const std::function<TRequest(int)> request = ([&](int i) -> TRequest {
        const TPair& p = PairAt(pairs, i);
        return {u"GetFunc"_s,
                {kMayStart, kMayEnd, p.Client, p.Type, p.Proposal, p.Version, p.Service, u"T"_s,
                 QString(), u"S"_s, QString()}};
    });
    const std::function<void(int)> bare = ([&](int i) {
        const TPair& p = PairAt(pairs, i);
        bench.Floor.Run(FuncQuery(bench.Storage, {.Start = static_cast<TDay>(kMayStart),
                                                  .End = static_cast<TDay>(kMayEnd),
                                                  .Client = p.Client,
                                                  .ActivityType = p.Type,
                                                  .Proposal = p.Proposal,
                                                  .Version = p.Version,
                                                  .Service = p.Service,
                                                  .AllEmployees = u"T"_s,
                                                  .Employees = QString(),
                                                  .CsaSituation = u"S"_s,
                                                  .ChtSituation = QString()}));
    });
    ReadRow("GetFunc", MeasureRequest(bench, bench.Iterations, request, bare));
}

void MeasureChts(const TBench& bench, const std::vector<TPair>& pairs)
{
    const std::function<TRequest(int)> request = ([&](int i) -> TRequest {
        const TPair& p = PairAt(pairs, i);
        return {u"GetCHT"_s,
                {p.Type, p.Proposal, p.Version, kQ1Start, kQ1End, p.Employee, p.Company, u"T"_s}};
    });
    const std::function<void(int)> bare = ([&](int i) {
        const TPair& p = PairAt(pairs, i);
        bench.Floor.Run(ChtQuery({.ActivityType = p.Type,
                                  .Proposal = p.Proposal,
                                  .Version = p.Version,
                                  .Start = static_cast<TDay>(kQ1Start),
                                  .End = static_cast<TDay>(kQ1End),
                                  .Employee = p.Employee,
                                  .Company = p.Company,
                                  .ChtSituation = u"T"_s}));
    });
    ReadRow("GetCHT, first quarter, all", MeasureRequest(bench, bench.Iterations, request, bare));
}

// Returns the CSAs each pair read, for the saves.
std::vector<TDataPacket> MeasureCsas(const TBench& bench, const std::vector<TPair>& pairs)
{
    std::vector<TDataPacket> csas(pairs.size());
    const std::function<void(int)> call = ([&](int i) {
        const TPair& p = PairAt(pairs, i);
        csas[static_cast<std::size_t>(i) % pairs.size()] = CheckedPacket(
            bench.Client.Call(u"GetCSA"_s, {p.Client, p.Employee, kMayStart, kMayEnd, p.Type,
                                            p.Proposal, p.Version, QString(), u"N"_s, p.Company}));
    });
    const std::function<void(int)> bare = ([&](int i) {
        const TPair& p = PairAt(pairs, i);
        bench.Floor.Run(CsaQuery({.Client = p.Client,
                                  .Employee = p.Employee,
                                  .Start = static_cast<TDay>(kMayStart),
                                  .End = static_cast<TDay>(kMayEnd),
                                  .ActivityType = p.Type,
                                  .Proposal = p.Proposal,
                                  .Version = p.Version,
                                  .ChtNumber = QString(),
                                  .Flag = u"N"_s,
                                  .Company = p.Company}));
    });
    const std::function<void(int)> wire = ([&](int i) {
        const TPair& p = PairAt(pairs, i);
        WireCall(bench.Wire, u"GetCSA"_s,
                 {p.Client, p.Employee, kMayStart, kMayEnd, p.Type, p.Proposal, p.Version,
                  QString(), u"N"_s, p.Company});
    });
    ReadRow("GetCSA, month without CHT",
            MeasureRead(bench.Client, bench.Iterations, call, bare, wire));
    return csas;
}

// Each save approves a different day, as a clerk posting day after day; no
// warm-up pass, which would make the timed saves stale.
void MeasureSaves(const TBench& bench, const std::vector<TDataPacket>& csas)
{
    std::vector<std::pair<std::size_t, std::size_t>> days;
    for (std::size_t p = 0; p < csas.size(); ++p)
        for (std::size_t r = 0; r < csas[p].Rows.size(); ++r)
            days.emplace_back(p, r);
    const int n = std::min<int>(bench.Iterations, static_cast<int>(days.size()));
    const auto dayAt = [&](int i) {
        return days[static_cast<std::size_t>(i) * days.size() / static_cast<std::size_t>(n)];
    };
    int refused = 0;
    const TFigures call = Measure(
        n,
        [&](int i) {
            const auto [p, r] = dayAt(i);
            const TDataPacket& packet = csas[p];
            TDelta delta;
            delta.Fields = packet.Fields;
            TDeltaRecord rec;
            rec.Original = *packet.Rows[r];
            const double worked = rec.Original[12].ToNumber();
            rec.New = {{11, Value::FromNumber(worked)}, {10, Value::FromNumber(worked)}};
            delta.Records.push_back(rec);
            const QJsonValue reply = bench.Client.Call(u"SetCSA"_s, {DeltaToJson(delta)});
            refused += !reply.toObject().value(u"ok").toBool();
        },
        false);
    // The floor: the same day's UPDATE in its own durable transaction
    // (other values than the server's, so that there is something to write).
    int bareRows = 0;
    const TFigures bare = Measure(
        n,
        [&](int i) {
            const auto [p, r] = dayAt(i);
            const TRowValues& row = *csas[p].Rows[r];
            TTransaction tx(bench.Storage, TTransaction::Mode::Write);
            bareRows +=
                bench.Storage.Exec(u"UPDATE CSA SET QTHRAPROFATU = ?, QTHRAPRCOMIS = ? WHERE "
                                   "NRPROPOSFAS = ? AND NRVERPROPFAS = ? AND NRSERVCONT = ? AND "
                                   "CDFUNC = ? AND DTSERVPREST = ?"_s,
                                   {row[12].ToNumber() / 2, row[12].ToNumber() / 2,
                                    row[14].ToString(), row[13].ToString(), row[16].ToString(),
                                    row[4].ToString(), static_cast<qint64>(row[7].ToNumber())});
            tx.Commit();
        },
        false);
    Row("SetCSA, one day", call, &bare, bench.Rtt);
    if (bareRows != n)
        std::printf("(the bare update found %d of %d days)\n", bareRows, n);
    if (refused)
        std::printf("(SetCSA refused %d of %d)\n", refused, n);
}

// Many screens reading at once: each client, on a connection of its own,
// alternates GetServPrest over the month (whose audit record is written
// before its reply) and GetCSA of one employee. Reports each method's
// latency and the calls per second of the whole pass.
void MeasureParallelReads(quint16 port, int clients, int iterations,
                          const std::vector<TPair>& pairs)
{
    std::vector<std::vector<double>> ms[2];
    ms[0].resize(static_cast<std::size_t>(clients));
    ms[1].resize(static_cast<std::size_t>(clients));
    std::atomic<int> failures = 0;
    QElapsedTimer wall;
    wall.start();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            TRpcClient client;
            client.CallTimeoutMs = 600000;
            client.Connect(u"127.0.0.1"_s, port);
            const auto slot = static_cast<std::size_t>(c);
            for (int i = 0; i < iterations; ++i) {
                const TPair& p = PairAt(pairs, c * iterations + i);
                QElapsedTimer t;
                t.start();
                try {
                    if (i % 2 == 0)
                        client.Call(u"GetServPrest"_s, {kMayStart, kMayEnd, u"T"_s, u"T"_s, u"T"_s,
                                                        u"S"_s, u"ADMIN"_s, QString()});
                    else
                        client.Call(u"GetCSA"_s,
                                    {p.Client, p.Employee, kMayStart, kMayEnd, p.Type, p.Proposal,
                                     p.Version, QString(), u"N"_s, p.Company});
                } catch (const EServerError&) {
                    ++failures;
                }
                ms[i % 2][slot].push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    const char* names[] = {"GetServPrest, month, in parallel", "GetCSA, in parallel"};
    for (int k = 0; k < 2; ++k) {
        std::vector<double> all;
        for (const auto& v : ms[k])
            all.insert(all.end(), v.begin(), v.end());
        std::sort(all.begin(), all.end());
        const auto at = [&all](double q) {
            return all[std::min(all.size() - 1,
                                static_cast<std::size_t>(q * static_cast<double>(all.size())))];
        };
        Row(names[k], {at(0.5), at(0.99)}, nullptr, 0);
    }
    std::printf("\n%d clients in parallel: %d calls in %.2f s (%.0f calls/s), %d failed\n", clients,
                clients * iterations, seconds, clients * iterations / seconds, failures.load());
}

qint64 Count(TStorage& storage, const QString& sql, const QVariantList& values)
{
    QSqlQuery& q = storage.Select(sql, values);
    const qint64 count = q.next() ? q.value(0).toLongLong() : 0;
    TStorage::Done(q);
    return count;
}

// The floor of a generation: reading the month's CSAs without CHT grouped
// as SetCHT groups them, and updating each of them once, rolled back.
double GenerationFloorMs(TStorage& storage, double start, double end)
{
    QElapsedTimer f;
    f.start();
    TTransaction tx(storage, TTransaction::Mode::Write);
    QSqlQuery& g =
        storage.Select(u"SELECT NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, CDEMPRESA, "
                       "MIN(DTSERVPREST), MAX(DTSERVPREST), COUNT(*) FROM CSA WHERE NRSEQUCHT IS "
                       "NULL AND DTSERVPREST BETWEEN ? AND ? GROUP BY NRPROPOSFAS, NRVERPROPFAS, "
                       "NRSERVCONT, CDFUNC, CDEMPRESA"_s,
                       {static_cast<qint64>(start), static_cast<qint64>(end)});
    while (g.next()) {
    }
    TStorage::Done(g);
    storage.Exec(u"UPDATE CSA SET QTHRAPROFATU = COALESCE(QTHRAPROFATU, QTHRTRAB), "
                 "QTHRAPRCOMIS = COALESCE(QTHRAPRCOMIS, QTHRTRAB) WHERE NRSEQUCHT IS "
                 "NULL AND DTSERVPREST BETWEEN ? AND ?"_s,
                 {static_cast<qint64>(start), static_cast<qint64>(end)});
    return static_cast<double>(f.nsecsElapsed()) / 1e6;
}

// SetCHT over September, which has no CHT yet, on a server of its own;
// timed on the client. False when that server did not start.
bool MeasureGeneration(const QString& server, const QString& spec, TStorage& storage)
{
    QProcess again;
    const quint16 port = Serve(again, server, spec);
    if (port == 0)
        return false;
    TRpcClient client;
    client.CallTimeoutMs = 600000;
    client.Connect(u"127.0.0.1"_s, port);
    const double sepStart = Ole(2025, 9, 1), sepEnd = Ole(2025, 9, 30);
    const qint64 count =
        Count(storage,
              u"SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL AND DTSERVPREST BETWEEN ? AND ?"_s,
              {static_cast<qint64>(sepStart), static_cast<qint64>(sepEnd)});
    const double floorMs = GenerationFloorMs(storage, sepStart, sepEnd);
    const QJsonArray params{sepStart, sepEnd, u"ADMIN"_s, u"T"_s, u"T"_s,
                            u"T"_s,   u"T"_s, u"T"_s,     u"T"_s};
    // What "Gerar CHT" shows before its question: the same grouping, read.
    QElapsedTimer p;
    p.start();
    const QJsonObject preview =
        client.Call(u"GetPrevCHT"_s, params).toObject().value(u"preview").toObject();
    std::printf("\nGetPrevCHT over September: %lld CSAs (%lld never approved) into %d CHTs "
                "in %.0f ms\n",
                static_cast<long long>(preview.value(u"csas").toInteger()),
                static_cast<long long>(preview.value(u"pending").toInteger()),
                preview.value(u"chts").toInt(), static_cast<double>(p.nsecsElapsed()) / 1e6);
    QElapsedTimer t;
    t.start();
    const QJsonObject reply = client.Call(u"SetCHT"_s, params).toObject();
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    if (!reply.value(u"ok").toBool())
        std::printf("\nSetCHT over September was refused: %s\n",
                    reply.value(u"message").toString().toUtf8().constData());
    const qint64 chts =
        Count(storage, u"SELECT COUNT(*) FROM CHT WHERE DTINCLCHT > ?"_s, {Ole(2026, 1, 1)});
    std::printf("\nSetCHT over September: %lld CSAs into %lld CHTs in %.0f ms "
                "(bare grouping read and update of the same rows: %.0f ms)\n",
                static_cast<long long>(count), static_cast<long long>(chts), ms, floorMs);
    again.terminate();
    again.waitForFinished();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TOptions options = ParseOptions(app.arguments());
    const QString server = QCoreApplication::applicationDirPath() + u"/aph-server"_s;
    QTemporaryDir dir;
    if (options.Spec.isEmpty()) {
        options.Spec = u"sqlite:"_s + dir.filePath(u"bench.db"_s);
        if (!MakeScaleDatabase(server, options.Spec, options.Scale))
            return 1;
    }

    QProcess serve;
    const quint16 port = Serve(serve, server, options.Spec, options.Workers);
    if (port == 0)
        return 1;
    TRpcClient client;
    client.CallTimeoutMs = 600000;
    client.Connect(u"127.0.0.1"_s, port);
    auto storage = TStorage::Open(TDatabaseSpec::Parse(options.Spec));
    const std::unique_ptr<TDirectFloor> floor = TDirectFloor::Open(options.Spec);
    QTcpSocket wire;
    wire.connectToHost(u"127.0.0.1"_s, port);
    wire.waitForConnected(10000);
    wire.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    TBench bench{options.Iterations, client, wire, *storage, *floor};

    std::printf("\n| call | median ms | p99 ms | floor median ms | floor p99 ms | "
                "median / (floor + rtt) | reply received, median ms | received / (floor + "
                "rtt) |\n|---|---|---|---|---|---|---|---|\n");
    MeasureRoundTrip(bench);
    MeasureServices(bench);
    MeasureProposals(bench);
    const std::vector<TPair> pairs = CollectPairs(bench);
    if (pairs.empty()) {
        std::fprintf(stderr, "The database has no CSA in May 2025; make it with init --scale.\n");
        return 1;
    }
    MeasureEmployees(bench, pairs);
    MeasureChts(bench, pairs);
    const std::vector<TDataPacket> csas = MeasureCsas(bench, pairs);
    if (options.ReadsOnly) {
        MeasureClientShare(bench, pairs);
        serve.terminate();
        serve.waitForFinished();
        return 0;
    }
    MeasureSaves(bench, csas);
    MeasureClientShare(bench, pairs);
    MeasureParallelReads(port, options.Parallel, options.Iterations, pairs);
    serve.terminate();
    serve.waitForFinished();
    return MeasureGeneration(server, options.Spec, *storage) ? 0 : 1;
}

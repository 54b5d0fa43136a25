// Load on aph-server: many authenticated connections on loopback, each an
// approval screen at work on its own employee: mostly reads (GetCSA,
// GetFunc, GetCHT, GetProp, now and then GetServPrest), one save (SetCSA)
// per few reads, and an occasional generation (SetCHT) of its own CSAs.
// Bounded in requests and in time. Reports connections, requests, errors,
// median and 99th percentile latency; at the end it checks the database:
// every save that was acknowledged is there (no lost update), no CSA went
// into two CHTs, the CHTs made are numbered without gaps and are the ones
// the acknowledged generations reported. It passes or fails on nothing but
// errors and those checks.
//
//   bench_load [--connections N] [--requests N] [--seconds N] [--think-ms N]
//              [--scale N] [--db URI] [--workers N] [--server HOST:PORT]
//              [--report all|own]
//
// Without --db it makes a temporary SQLite database with init --scale N
// (200,000 CSAs by default); with --db it uses that database, which must
// have been made with init --scale. Without --server it starts its own
// aph-server on that database; with it (and --db, the database behind that
// server) the connections go to that address, a balancer in front of
// several instances, say: a connection whose server goes away connects
// again, logs in again and resends the call it was waiting for. One read
// in a hundred is the month's GetServPrest of all clients, whose rows grow
// with the database; --report own asks for the connection's own client
// instead, so that every request's work stays the same at any scale.
#include "bench/load_connection.h"
#include "server/storage/storage.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

const char* const kKindNames[] = {"reads", "SetCSA", "SetCHT"};

double Percentile(std::vector<double> ms, double p)
{
    if (ms.empty())
        return 0;
    std::sort(ms.begin(), ms.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(ms.size() - 1) + 0.5);
    return ms[std::min(at, ms.size() - 1)];
}

int Run(const QString& bin, const QStringList& args, QString* out = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(bin, args);
    p.waitForFinished(-1);
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitCode();
}

struct TOptions
{
    int Connections = 200, ThinkMs = 0, Workers = 4;
    long long Requests = 100000, Seconds = 600, Scale = 200000;
    QString Db;     // empty for a temporary database made here
    QString Server; // HOST:PORT of a running server; empty to start one here
    bool ReportOwnClient = false;
};

TOptions ParseOptions(const QStringList& args)
{
    TOptions o;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const QString& name = args[i];
        const QString& value = args[i + 1];
        if (name == u"--connections")
            o.Connections = value.toInt();
        else if (name == u"--requests")
            o.Requests = value.toLongLong();
        else if (name == u"--seconds")
            o.Seconds = value.toLongLong();
        else if (name == u"--think-ms")
            o.ThinkMs = value.toInt();
        else if (name == u"--scale")
            o.Scale = value.toLongLong();
        else if (name == u"--db")
            o.Db = value;
        else if (name == u"--workers")
            o.Workers = value.toInt();
        else if (name == u"--server")
            o.Server = value;
        else if (name == u"--report")
            o.ReportOwnClient = value == u"own";
    }
    return o;
}

// Makes the database in dir unless one was given, and a token for ADMIN;
// false when the server's commands fail.
bool PrepareDatabase(const QString& bin, const QTemporaryDir& dir, TOptions& options,
                     QString& token)
{
    if (options.Db.isEmpty()) {
        options.Db = u"sqlite:"_s + dir.filePath(u"load.db"_s);
        std::printf("init --scale %lld ...\n", options.Scale);
        std::fflush(stdout);
        if (Run(bin, {u"init"_s, options.Db, u"--scale"_s, QString::number(options.Scale)}) != 0)
            return false;
    }
    if (Run(bin, {u"token"_s, options.Db, u"ADMIN"_s}, &token) != 0)
        return false;
    token = token.trimmed();
    return true;
}

// One pair per connection, each of another employee, with CSAs to work on;
// and the branch of the proposals.
std::vector<TPair> FindPairs(const QString& db, int connections, QString& branch)
{
    std::vector<TPair> pairs;
    auto storage = TStorage::Open(TDatabaseSpec::Parse(db));
    QSqlQuery& q = storage->Select(
        u"SELECT A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, A.CDEMPRESA, "
        "P.CDCLIENTE, SC.CDTIPOSERV FROM CSA A JOIN PROPOSTA P ON P.NRPROPOSFAS = "
        "A.NRPROPOSFAS AND P.NRVERPROPFAS = A.NRVERPROPFAS JOIN SERVCONT SC ON "
        "SC.NRPROPOSFAS = A.NRPROPOSFAS AND SC.NRVERPROPFAS = A.NRVERPROPFAS AND "
        "SC.NRSERVCONT = A.NRSERVCONT WHERE A.NRSEQUCHT IS NULL GROUP BY A.NRPROPOSFAS, "
        "A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, A.CDEMPRESA, P.CDCLIENTE, SC.CDTIPOSERV "
        "HAVING COUNT(*) >= 60 ORDER BY A.CDFUNC, A.NRPROPOSFAS, A.NRSERVCONT"_s);
    QSet<QString> employees;
    while (q.next() && static_cast<int>(pairs.size()) < connections) {
        const QString employee = q.value(3).toString();
        if (employees.contains(employee))
            continue;
        employees.insert(employee);
        pairs.push_back({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                         employee, q.value(4).toString(), q.value(5).toString(),
                         q.value(6).toString()});
    }
    TStorage::Done(q);
    QSqlQuery& b = storage->Select(u"SELECT MIN(CDFILIAL) FROM PROPOSTA"_s);
    b.next();
    branch = b.value(0).toString();
    TStorage::Done(b);
    return pairs;
}

// Starts the server with room for every connection and returns the port
// it reports; 0 when it did not start.
quint16 StartServer(QProcess& server, const QString& bin, const TOptions& options)
{
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Every connection comes from loopback: the per-address cap is the
    // server's limit here.
    const QString room = QString::number(options.Connections + 16);
    server.start(bin, {u"serve"_s, options.Db, u"--port"_s, u"0"_s, u"--log-level"_s, u"warning"_s,
                       u"--max-connections"_s, room, u"--max-per-address"_s, room, u"--workers"_s,
                       QString::number(options.Workers)});
    if (!server.waitForStarted() || !server.waitForReadyRead(30000))
        return 0;
    return static_cast<quint16>(QString::fromUtf8(server.readLine())
                                    .trimmed()
                                    .section(u':', -1)
                                    .section(u' ', 0, 0)
                                    .toUInt());
}

struct TRunFigures
{
    double Seconds = 0;
    int Connected = 0;  // the most logged in at once
    int Unfinished = 0; // connections still waiting for a reply at the end
};

// Every connection at work until the request budget is spent or the time
// is up; then each stops after the reply in flight.
TRunFigures RunConnections(QCoreApplication& app, TStats& stats, const std::vector<TPair>& pairs,
                           const QString& token, const QString& branch, const TOptions& options,
                           const TTarget& target)
{
    TConnection::s_budget = options.Requests;
    std::vector<std::unique_ptr<TConnection>> clients;
    for (int i = 0; i < options.Connections; ++i) {
        clients.push_back(std::make_unique<TConnection>(
            stats, pairs[static_cast<std::size_t>(i)], token, branch,
            1000u + static_cast<unsigned>(i), options.ThinkMs, target, i));
        clients.back()->Start();
    }
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    bool stopping = false;
    TRunFigures figures;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        figures.Connected = std::max<int>(
            figures.Connected,
            static_cast<int>(std::count_if(clients.begin(), clients.end(),
                                           [](const auto& c) { return c->LoggedIn(); })));
        if (!stopping && clock.elapsed() > options.Seconds * 1000) {
            stopping = true;
            for (auto& c : clients)
                c->Stop();
        }
        const bool idle =
            std::all_of(clients.begin(), clients.end(), [](const auto& c) { return c->Idle(); });
        // A call still waiting a minute after the time is up is given up on.
        const bool overdue = stopping && clock.elapsed() > (options.Seconds + 60) * 1000;
        if (idle || overdue) {
            figures.Unfinished = static_cast<int>(std::count_if(
                clients.begin(), clients.end(), [](const auto& c) { return !c->Idle(); }));
            app.quit();
        }
    });
    poll.start(20);
    app.exec();
    figures.Seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    return figures;
}

// No lost update: every acknowledged save is what the database holds, as
// only its own connection wrote those CSAs.
long long CountLostUpdates(const QString& db, const TStats& stats)
{
    long long lost = 0;
    auto storage = TStorage::Open(TDatabaseSpec::Parse(db));
    for (const auto& [key, value] : stats.Saved) {
        const QStringList k = key.split(u'|');
        QSqlQuery& q = storage->Select(
            u"SELECT QTHRAPROFATU FROM CSA WHERE NRPROPOSFAS = ? AND NRVERPROPFAS = ? AND "
            "NRSERVCONT = ? AND CDFUNC = ? AND DTSERVPREST = ?"_s,
            {k[0], k[1], k[2], k[3], k[4].toLongLong()});
        if (!q.next() || q.value(0).toDouble() != value)
            ++lost;
        TStorage::Done(q);
    }
    return lost;
}

long long Scalar(TStorage& storage, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery& q = storage.Select(sql, values);
    const long long value = q.next() ? q.value(0).toLongLong() : 0;
    TStorage::Done(q);
    return value;
}

const QString kChtCounter = u"SELECT NRVALOR FROM APH_SEQUENCIA WHERE NMSEQUENCIA = 'CHT'"_s;

long long ChtCounter(const QString& db)
{
    auto storage = TStorage::Open(TDatabaseSpec::Parse(db));
    return Scalar(*storage, kChtCounter);
}

// What the generations of the run left: the CHT numbers taken from the
// counter, the CHTs under them, and any CSA billed by two generations.
struct TChtCheck
{
    long long Before = 0, After = 0; // the counter around the run
    long long Made = 0;              // CHTs numbered in between
    long long Gaps = 0;              // numbers in between with no CHT
    long long Beyond = 0;            // CHTs numbered past the counter
    long long Empty = 0;             // CHTs of the run with no CSA
    long long Twice = 0;             // CSAs put into a CHT twice, or not into theirs
    bool Failed() const { return Gaps != 0 || Beyond != 0 || Empty != 0 || Twice != 0; }
};

TChtCheck CheckChts(const QString& db, long long before)
{
    TChtCheck c;
    auto storage = TStorage::Open(TDatabaseSpec::Parse(db));
    c.Before = before;
    c.After = Scalar(*storage, kChtCounter);
    c.Made = Scalar(*storage,
                    u"SELECT COUNT(*) FROM CHT WHERE CAST(NRSEQUCHT AS INTEGER) > ? AND "
                    "CAST(NRSEQUCHT AS INTEGER) <= ?"_s,
                    {before, c.After});
    c.Gaps = c.After - before - c.Made;
    c.Beyond = Scalar(*storage, u"SELECT COUNT(*) FROM CHT WHERE CAST(NRSEQUCHT AS INTEGER) > ?"_s,
                      {c.After});
    c.Empty = Scalar(*storage,
                     u"SELECT COUNT(*) FROM CHT C WHERE CAST(C.NRSEQUCHT AS INTEGER) > ? AND "
                     "NOT EXISTS (SELECT 1 FROM CSA A WHERE A.NRSEQUCHT = C.NRSEQUCHT)"_s,
                     {before});
    // Every generation records the CSAs it bills ('G'): one CSA recorded
    // twice, or recorded into a CHT that is not the one it is in, was
    // billed by two generations.
    c.Twice =
        Scalar(*storage, u"SELECT COUNT(*) FROM (SELECT H.CDFUNC FROM APH_HISTCSA H "
                         "WHERE H.IDEVENTO = 'G' GROUP BY H.NRPROPOSFAS, H.NRVERPROPFAS, "
                         "H.NRSERVCONT, H.CDFUNC, H.DTSERVPREST HAVING COUNT(*) > 1) X"_s) +
        Scalar(*storage, u"SELECT COUNT(*) FROM APH_HISTCSA H JOIN CSA A ON A.NRPROPOSFAS = "
                         "H.NRPROPOSFAS AND A.NRVERPROPFAS = H.NRVERPROPFAS AND A.NRSERVCONT = "
                         "H.NRSERVCONT AND A.CDFUNC = H.CDFUNC AND A.DTSERVPREST = H.DTSERVPREST "
                         "WHERE H.IDEVENTO = 'G' AND (A.NRSEQUCHT IS NULL OR A.NRSEQUCHT <> "
                         "H.NRSEQUCHT)"_s);
    return c;
}

struct TOutcome
{
    long long Lost = 0;
    TChtCheck Chts;
    long long Errors = 0; // error replies, connections that gave up or never finished
    long long ChtsAcknowledged = 0;
    // A generation applied twice, or applied with its reply lost and never
    // answered, shows as CHTs made that no acknowledged reply reported.
    bool Passed() const
    {
        return Errors == 0 && Lost == 0 && !Chts.Failed() && Chts.Made == ChtsAcknowledged;
    }
};

void ReportRecovery(const TStats& stats, const TRunFigures& run)
{
    std::printf("reconnections: %lld (connections lost %lld, calls resent %lld, gave up %lld, "
                "unfinished %d)\n",
                stats.Reconnections, stats.Dropped, stats.Resent, stats.GaveUp, run.Unfinished);
    for (const auto& [code, n] : stats.Notices)
        std::printf("  server notice %d: %lld\n", code, n);
}

void Report(const TOptions& options, const TStats& stats, const TRunFigures& run,
            const TOutcome& outcome)
{
    std::vector<double> all;
    for (const auto& ms : stats.Ms)
        all.insert(all.end(), ms.begin(), ms.end());
    std::printf("connections: %d (%d logged in at once), workers %d, think time %d ms\n",
                options.Connections, run.Connected, options.Workers, options.ThinkMs);
    std::printf("requests: %lld in %.1f s (%.0f per second); errors: %lld (conflicts %lld, "
                "connections dropped %lld)\n",
                stats.Requests, run.Seconds, static_cast<double>(stats.Requests) / run.Seconds,
                outcome.Errors, stats.Conflicts, stats.Dropped);
    std::printf("latency, all: median %.2f ms, p99 %.2f ms\n", Percentile(all, 0.5),
                Percentile(all, 0.99));
    for (int k = 0; k < kKinds; ++k)
        std::printf("latency, %s (%zu): median %.2f ms, p99 %.2f ms\n", kKindNames[k],
                    stats.Ms[k].size(), Percentile(stats.Ms[k], 0.5),
                    Percentile(stats.Ms[k], 0.99));
    for (const auto& [method, n] : stats.ByMethod)
        std::printf("  %s: %lld\n", method.toUtf8().constData(), n);
    if (!options.Server.isEmpty())
        ReportRecovery(stats, run);
    std::printf("saves acknowledged on %zu CSAs; lost updates: %lld\n", stats.Saved.size(),
                outcome.Lost);
    const TChtCheck& c = outcome.Chts;
    std::printf("CHTs: %lld made (numbers %lld to %lld), %lld acknowledged; number gaps %lld, "
                "past the counter %lld, without CSA %lld; CSAs billed twice %lld\n",
                c.Made, c.Before + 1, c.After, stats.ChtsAcknowledged, c.Gaps, c.Beyond, c.Empty,
                c.Twice);
    for (const QString& e : stats.FirstErrors)
        std::printf("  error: %s\n", e.toUtf8().constData());
    // One line for scripts.
    std::printf("summary: rps=%.1f p50_ms=%.2f p99_ms=%.2f errors=%lld reconnections=%lld "
                "resent=%lld lost=%lld billed_twice=%lld cht_gaps=%lld chts_made=%lld "
                "chts_acknowledged=%lld\n",
                static_cast<double>(stats.Requests) / run.Seconds, Percentile(all, 0.5),
                Percentile(all, 0.99), outcome.Errors, stats.Reconnections, stats.Resent,
                outcome.Lost, c.Twice + c.Empty, c.Gaps + c.Beyond, c.Made, stats.ChtsAcknowledged);
}

// Where the connections go: the server started here, or the one given.
TTarget TargetOf(const TOptions& options, quint16 localPort)
{
    TTarget target;
    // Unique to this run, so that a database used again meets no old key.
    target.KeyPrefix = u"L%1.%2"_s.arg(QDateTime::currentMSecsSinceEpoch(), 0, 36)
                           .arg(QCoreApplication::applicationPid(), 0, 36);
    if (options.Server.isEmpty()) {
        target.Port = localPort;
        return target;
    }
    target.Host = options.Server.section(u':', 0, -2);
    target.Port = options.Server.section(u':', -1).toUShort();
    target.Reconnect = true;
    return target;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TOptions options = ParseOptions(app.arguments());
    if (!options.Server.isEmpty() && (options.Db.isEmpty() || TargetOf(options, 0).Port == 0)) {
        std::fprintf(stderr, "--server HOST:PORT needs --db URI, the database behind it\n");
        return 2;
    }
    const QString bin = QCoreApplication::applicationDirPath() + u"/aph-server"_s;
    QTemporaryDir dir;
    QString token;
    if (!PrepareDatabase(bin, dir, options, token))
        return 1;

    QString branch;
    const std::vector<TPair> pairs = FindPairs(options.Db, options.Connections, branch);
    if (static_cast<int>(pairs.size()) < options.Connections) {
        std::fprintf(stderr, "only %zu employees with CSAs to work on; use a larger --scale\n",
                     pairs.size());
        return 1;
    }
    const long long chtsBefore = ChtCounter(options.Db);

    QProcess server;
    quint16 port = 0;
    if (options.Server.isEmpty() && (port = StartServer(server, bin, options)) == 0)
        return 1;
    TStats stats;
    stats.ReportOwnClient = options.ReportOwnClient;
    const TRunFigures run =
        RunConnections(app, stats, pairs, token, branch, options, TargetOf(options, port));
    if (options.Server.isEmpty()) {
        server.terminate();
        server.waitForFinished(30000);
    }

    TOutcome outcome;
    outcome.Lost = CountLostUpdates(options.Db, stats);
    outcome.Chts = CheckChts(options.Db, chtsBefore);
    outcome.Errors = stats.Errors + run.Unfinished;
    outcome.ChtsAcknowledged = stats.ChtsAcknowledged;
    Report(options, stats, run, outcome);
    return outcome.Passed() ? 0 : 1;
}

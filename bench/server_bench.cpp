// Latency of the approval service over loopback on a large database, each
// read beside the bare SQL query it runs (the floor), plus SetCSA, SetCHT
// over a month of CSAs, and the time of `init --scale`. Reports figures;
// it passes or fails on nothing.
//
//   bench_server [--scale N] [--db sqlite:PATH] [--iterations N]
//
// Without --db it makes a temporary SQLite database with --scale N
// (1,000,000 by default) and times that too.
#include "host/data/packetcodec.h"
#include "server/approvalservice.h"
#include "server/storage.h"
#include "service/rpcclient.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QProcess>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
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

// Runs a query as the server would, reading every column of every row.
void RunBare(TStorage& storage, const TQueryText& query)
{
    QSqlQuery& q = storage.Select(query.Sql, query.Values);
    const int columns = q.record().count();
    volatile double sink = 0;
    while (q.next())
        for (int c = 0; c < columns; ++c)
            sink = sink + static_cast<double>(q.value(c).toString().size());
    TStorage::Done(q);
}

void Row(const char* what, const TFigures& call, const TFigures* bare, double rtt)
{
    if (bare)
        std::printf("| %-34s | %8.2f | %8.2f | %8.2f | %8.2f | %6.2f |\n", what, call.Median,
                    call.P99, bare->Median, bare->P99, (call.Median) / (bare->Median + rtt));
    else
        std::printf("| %-34s | %8.2f | %8.2f | %8s | %8s | %6s |\n", what, call.Median, call.P99,
                    "", "", "");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    qint64 scale = 1000000;
    int iterations = 300;
    QString spec;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == u"--scale")
            scale = args[++i].toLongLong();
        else if (args[i] == u"--db")
            spec = args[++i];
        else if (args[i] == u"--iterations")
            iterations = args[++i].toInt();
    }
    const QString server = QCoreApplication::applicationDirPath() + u"/aph-server"_s;
    QTemporaryDir dir;
    if (spec.isEmpty()) {
        spec = u"sqlite:"_s + dir.filePath(u"bench.db"_s);
        QElapsedTimer t;
        t.start();
        QProcess init;
        init.setProcessChannelMode(QProcess::ForwardedChannels);
        init.start(server, {u"init"_s, spec, u"--scale"_s, QString::number(scale)});
        init.waitForFinished(-1);
        if (init.exitCode() != 0)
            return 1;
        std::printf("init --scale %lld on SQLite: %.1f s\n", static_cast<long long>(scale),
                    static_cast<double>(t.elapsed()) / 1000.0);
    }

    QProcess serve;
    serve.setReadChannel(QProcess::StandardOutput);
    serve.start(server, {u"serve"_s, spec, u"--port"_s, u"0"_s, u"--no-auth"_s});
    if (!serve.waitForStarted() || !serve.waitForReadyRead(30000))
        return 1;
    const quint16 port = static_cast<quint16>(QString::fromUtf8(serve.readLine())
                                                  .trimmed()
                                                  .section(u':', -1)
                                                  .section(u' ', 0, 0)
                                                  .toUInt());
    TRpcClient client;
    client.CallTimeoutMs = 600000;
    client.Connect(u"127.0.0.1"_s, port);

    auto storage = TStorage::Open(TDatabaseSpec::Parse(spec));
    TApprovalService service(*storage);

    // The month the screens would look at: May 2025, all without CHT, and
    // January to March, whose CSAs are in CHTs.
    const double mayStart = Ole(2025, 5, 1), mayEnd = Ole(2025, 5, 31);
    const double q1Start = Ole(2025, 1, 1), q1End = Ole(2025, 3, 31);

    std::printf("\n| call | median ms | p99 ms | bare SQL median ms | bare SQL p99 ms | "
                "median / (bare + rtt) |\n|---|---|---|---|---|---|\n");
    const TFigures rtt = Measure(iterations, [&](int) {
        try {
            client.Call(u"Ping"_s, {});
        } catch (const ERpcError&) {
        }
    });
    Row("round trip (unknown method)", rtt, nullptr, 0);

    // GetServPrest for one month, default filter (CSAs without CHT) and all.
    for (const char* situation : {"S", "T"}) {
        const QString cht = situation == QByteArray("S") ? QString() : u"T"_s;
        const int n = std::max(10, iterations / 10);
        const TFigures call = Measure(n, [&](int) {
            client.Call(u"GetServPrest"_s, {mayStart, mayEnd, u"T"_s, u"T"_s, u"T"_s,
                                            QString::fromUtf8(situation), u"ADMIN"_s, cht});
        });
        const TQueryText q =
            service.ServPrestQuery(static_cast<TDay>(mayStart), static_cast<TDay>(mayEnd), u"T"_s,
                                   u"T"_s, u"T"_s, QString::fromUtf8(situation), cht);
        const TFigures bare = Measure(n, [&](int) { RunBare(*storage, q); });
        Row(situation == QByteArray("S") ? "GetServPrest, month, CSA \"S\""
                                         : "GetServPrest, month, CSA \"T\"",
            call, &bare, rtt.Median);
    }

    // Services and employees of May to drive the finer reads.
    const TDataPacket services =
        PacketFromJson(client.Call(u"GetServPrest"_s, {mayStart, mayEnd, u"T"_s, u"T"_s, u"T"_s,
                                                       u"S"_s, u"ADMIN"_s, QString()}));
    struct TPair
    {
        QString Client, Type, Proposal, Version, Service, Employee, Company;
    };
    std::vector<TPair> pairs;
    for (std::size_t i = 0; i < services.Rows.size() && pairs.size() < 400; i += 3) {
        const TRowValues& r = *services.Rows[i];
        const TDataPacket funcs = CheckedPacket(
            client.Call(u"GetFunc"_s,
                        {mayStart, mayEnd, r[0].ToString(), r[6].ToString(), r[4].ToString(),
                         r[5].ToString(), r[10].ToString(), u"T"_s, QString(), u"S"_s, QString()}));
        for (const TRow& f : funcs.Rows)
            pairs.push_back({r[0].ToString(), r[6].ToString(), r[4].ToString(), r[5].ToString(),
                             r[10].ToString(), (*f)[1].ToString(), (*f)[2].ToString()});
    }
    if (pairs.empty()) {
        std::fprintf(stderr, "The database has no CSA in May 2025; make it with init --scale.\n");
        return 1;
    }
    const auto pair = [&pairs](int i) -> const TPair& {
        return pairs[static_cast<std::size_t>(i) % pairs.size()];
    };

    {
        const TFigures call = Measure(iterations, [&](int i) {
            const TPair& p = pair(i);
            client.Call(u"GetFunc"_s, {mayStart, mayEnd, p.Client, p.Type, p.Proposal, p.Version,
                                       p.Service, u"T"_s, QString(), u"S"_s, QString()});
        });
        const TFigures bare = Measure(iterations, [&](int i) {
            const TPair& p = pair(i);
            RunBare(*storage,
                    service.FuncQuery(static_cast<TDay>(mayStart), static_cast<TDay>(mayEnd),
                                      p.Client, p.Type, p.Proposal, p.Version, p.Service, u"T"_s,
                                      QString(), u"S"_s, QString()));
        });
        Row("GetFunc", call, &bare, rtt.Median);
    }
    {
        const TFigures call = Measure(iterations, [&](int i) {
            const TPair& p = pair(i);
            client.Call(u"GetCHT"_s, {p.Type, p.Proposal, p.Version, q1Start, q1End, p.Employee,
                                      p.Company, u"T"_s});
        });
        const TFigures bare = Measure(iterations, [&](int i) {
            const TPair& p = pair(i);
            RunBare(*storage,
                    service.ChtQuery(p.Type, p.Proposal, p.Version, static_cast<TDay>(q1Start),
                                     static_cast<TDay>(q1End), p.Employee, p.Company, u"T"_s));
        });
        Row("GetCHT, first quarter, all", call, &bare, rtt.Median);
    }
    std::vector<TDataPacket> csas(pairs.size());
    {
        const TFigures call = Measure(iterations, [&](int i) {
            const TPair& p = pair(i);
            csas[static_cast<std::size_t>(i) % pairs.size()] = CheckedPacket(
                client.Call(u"GetCSA"_s, {p.Client, p.Employee, mayStart, mayEnd, p.Type,
                                          p.Proposal, p.Version, QString(), u"N"_s, p.Company}));
        });
        const TFigures bare = Measure(iterations, [&](int i) {
            const TPair& p = pair(i);
            RunBare(*storage, service.CsaQuery(p.Client, p.Employee, static_cast<TDay>(mayStart),
                                               static_cast<TDay>(mayEnd), p.Type, p.Proposal,
                                               p.Version, QString(), u"N"_s, p.Company));
        });
        Row("GetCSA, month without CHT", call, &bare, rtt.Median);
    }
    {
        // Each save approves a different day, as a clerk posting day after day;
        // no warm-up pass, which would make the timed saves stale.
        std::vector<std::pair<std::size_t, std::size_t>> days;
        for (std::size_t p = 0; p < csas.size(); ++p)
            for (std::size_t r = 0; r < csas[p].Rows.size(); ++r)
                days.emplace_back(p, r);
        const int n = std::min<int>(iterations, static_cast<int>(days.size()));
        int refused = 0;
        const TFigures call = Measure(
            n,
            [&](int i) {
                const auto [p, r] =
                    days[static_cast<std::size_t>(i) * days.size() / static_cast<std::size_t>(n)];
                const TDataPacket& packet = csas[p];
                TDelta delta;
                delta.Fields = packet.Fields;
                TDeltaRecord rec;
                rec.Original = *packet.Rows[r];
                const double worked = rec.Original[12].ToNumber();
                rec.New = {{11, Value::FromNumber(worked)}, {10, Value::FromNumber(worked)}};
                delta.Records.push_back(rec);
                const QJsonValue reply = client.Call(u"SetCSA"_s, {DeltaToJson(delta)});
                refused += !reply.toObject().value(u"ok").toBool();
            },
            false);
        // The floor: the same day's UPDATE in its own durable transaction
        // (other values than the server's, so that there is something to write).
        int bareRows = 0;
        const TFigures bare = Measure(
            n,
            [&](int i) {
                const auto [p, r] =
                    days[static_cast<std::size_t>(i) * days.size() / static_cast<std::size_t>(n)];
                const TRowValues& row = *csas[p].Rows[r];
                TTransaction tx(*storage, TTransaction::Mode::Write);
                bareRows +=
                    storage->Exec(u"UPDATE CSA SET QTHRAPROFATU = ?, QTHRAPRCOMIS = ? WHERE "
                                  "NRPROPOSFAS = ? AND NRVERPROPFAS = ? AND NRSERVCONT = ? AND "
                                  "CDFUNC = ? AND DTSERVPREST = ?"_s,
                                  {row[12].ToNumber() / 2, row[12].ToNumber() / 2,
                                   row[14].ToString(), row[13].ToString(), row[16].ToString(),
                                   row[4].ToString(), static_cast<qint64>(row[7].ToNumber())});
                tx.Commit();
            },
            false);
        Row("SetCSA, one day", call, &bare, rtt.Median);
        if (bareRows != n)
            std::printf("(the bare update found %d of %d days)\n", bareRows, n);
        if (refused)
            std::printf("(SetCSA refused %d of %d)\n", refused, n);
    }
    serve.terminate();
    serve.waitForFinished();
    {
        // SetCHT over September, which has no CHT yet; timed on the server.
        QProcess again;
        again.setReadChannel(QProcess::StandardOutput);
        again.start(server, {u"serve"_s, spec, u"--port"_s, u"0"_s, u"--no-auth"_s});
        again.waitForReadyRead(30000);
        const quint16 p2 = static_cast<quint16>(QString::fromUtf8(again.readLine())
                                                    .trimmed()
                                                    .section(u':', -1)
                                                    .section(u' ', 0, 0)
                                                    .toUInt());
        TRpcClient c2;
        c2.CallTimeoutMs = 600000;
        c2.Connect(u"127.0.0.1"_s, p2);
        const double sepStart = Ole(2025, 9, 1), sepEnd = Ole(2025, 9, 30);
        QSqlQuery& q = storage->Select(
            u"SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL AND DTSERVPREST BETWEEN ? AND ?"_s,
            {static_cast<qint64>(sepStart), static_cast<qint64>(sepEnd)});
        const qint64 count = q.next() ? q.value(0).toLongLong() : 0;
        TStorage::Done(q);
        // The floor: reading the month's CSAs without CHT grouped as SetCHT
        // groups them, and updating each of them once, rolled back.
        QElapsedTimer f;
        f.start();
        {
            TTransaction tx(*storage, TTransaction::Mode::Write);
            QSqlQuery& g = storage->Select(
                u"SELECT NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, CDEMPRESA, "
                "MIN(DTSERVPREST), MAX(DTSERVPREST), COUNT(*) FROM CSA WHERE NRSEQUCHT IS "
                "NULL AND DTSERVPREST BETWEEN ? AND ? GROUP BY NRPROPOSFAS, NRVERPROPFAS, "
                "NRSERVCONT, CDFUNC, CDEMPRESA"_s,
                {static_cast<qint64>(sepStart), static_cast<qint64>(sepEnd)});
            while (g.next()) {
            }
            TStorage::Done(g);
            storage->Exec(u"UPDATE CSA SET QTHRAPROFATU = COALESCE(QTHRAPROFATU, QTHRTRAB), "
                          "QTHRAPRCOMIS = COALESCE(QTHRAPRCOMIS, QTHRTRAB) WHERE NRSEQUCHT IS "
                          "NULL AND DTSERVPREST BETWEEN ? AND ?"_s,
                          {static_cast<qint64>(sepStart), static_cast<qint64>(sepEnd)});
        }
        const double floorMs = static_cast<double>(f.nsecsElapsed()) / 1e6;
        QElapsedTimer t;
        t.start();
        c2.Call(u"SetCHT"_s,
                {sepStart, sepEnd, u"ADMIN"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s});
        const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
        QSqlQuery& h =
            storage->Select(u"SELECT COUNT(*) FROM CHT WHERE DTINCLCHT > ?"_s, {Ole(2026, 1, 1)});
        const qint64 chts = h.next() ? h.value(0).toLongLong() : 0;
        TStorage::Done(h);
        std::printf("\nSetCHT over September: %lld CSAs into %lld CHTs in %.0f ms "
                    "(bare grouping read and update of the same rows: %.0f ms)\n",
                    static_cast<long long>(count), static_cast<long long>(chts), ms, floorMs);
        again.terminate();
        again.waitForFinished();
    }
    return 0;
}

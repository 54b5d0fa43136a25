// The exceptions list (GetPendencias) and the all-clients month report
// (GetServPrest of one month, CSAs without CHT) of a large database, each
// through a live server beside its own SQL run bare through the engine's
// C client (the floor, see directfloor.h), and GetPendencias beside
// GetServPrest on the same filter. Reports figures; it passes or fails on
// nothing. Run it on a 1M and a 5M database for the growth between them.
//
//   bench_pendencias --db sqlite:PATH|postgresql://... [--iterations N]
#include "directfloor.h"
#include "server/methods/pendingqueries.h"
#include "server/methods/queries.h"
#include "server/storage/rowsource.h"
#include "server/storage/storage.h"
#include "service/rpcclient.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

TDay Ole(int y, int m, int d)
{
    return static_cast<TDay>(QDate(1899, 12, 30).daysTo(QDate(y, m, d)));
}

// The screen's default filter: from the system's first day to today, all
// clients, employees and proposals, CSAs without CHT.
TGetServPrestRequest DefaultFilter()
{
    return {.Start = Ole(2008, 6, 21),
            .End = static_cast<TDay>(QDate(1899, 12, 30).daysTo(QDate::currentDate())),
            .Clients = u"T"_s,
            .Employees = u"T"_s,
            .Proposals = u"T"_s,
            .CsaSituation = u"S"_s,
            .Operator = u"ADMIN"_s,
            .ChtSituation = u"_P"_s};
}

TGetServPrestRequest May(const QString& chtSituation)
{
    TGetServPrestRequest r = DefaultFilter();
    r.Start = Ole(2025, 5, 1);
    r.End = Ole(2025, 5, 31);
    r.ChtSituation = chtSituation;
    return r;
}

QJsonArray Params(const TGetServPrestRequest& r)
{
    return {r.Start,     r.End,          r.Clients,  r.Employees,
            r.Proposals, r.CsaSituation, r.Operator, r.ChtSituation};
}

// The median of a step, after one untimed pass, in turns with the other
// steps so that a neighbour's load falls on all alike.
std::vector<double> Medians(int iterations, const std::vector<std::function<void()>>& steps)
{
    std::vector<std::vector<double>> ms(steps.size());
    for (const auto& step : steps)
        step();
    for (int i = 0; i < iterations; ++i)
        for (std::size_t k = 0; k < steps.size(); ++k) {
            QElapsedTimer t;
            t.start();
            steps[k]();
            ms[k].push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
    std::vector<double> medians;
    for (auto& v : ms) {
        std::sort(v.begin(), v.end());
        medians.push_back(v[v.size() / 2]);
    }
    return medians;
}

// GetPendencias' own SQL as the server runs it: the counts, the services,
// and the rows of the services the reply fills (found once here).
std::function<void()> PendenciasFloor(TStorage& storage, TDirectFloor& floor,
                                      const TGetServPrestRequest& request)
{
    const TPendingQueries q = PendingQueries(storage, request);
    std::vector<TQueryText> rows;
    {
        TTransaction tx(storage, TTransaction::Mode::Read);
        std::vector<QVariantList> services;
        const auto list = storage.Rows(q.Services);
        while (list->Next())
            services.push_back({list->Variant(0), list->Variant(1), list->Variant(2)});
        int filled = 0;
        for (const QVariantList& s : services) {
            if (filled >= 500)
                break;
            const auto r = storage.Rows(q.Rows(s));
            bool any = false;
            while (r->Next()) {
                ++filled;
                any = true;
            }
            if (any)
                rows.push_back(q.Rows(s));
        }
        tx.Commit();
    }
    return [&floor, q, rows] {
        floor.Run(q.Counts);
        floor.Run(q.Services);
        for (const TQueryText& r : rows)
            floor.Run(r);
    };
}

quint16 Serve(QProcess& process, const QString& server, const QString& spec)
{
    process.setReadChannel(QProcess::StandardOutput);
    process.start(server, {u"serve"_s, spec, u"--port"_s, u"0"_s, u"--no-auth"_s, u"--log-level"_s,
                           u"warning"_s});
    if (!process.waitForStarted() || !process.waitForReadyRead(30000))
        return 0;
    return static_cast<quint16>(QString::fromUtf8(process.readLine())
                                    .trimmed()
                                    .section(u':', -1)
                                    .section(u' ', 0, 0)
                                    .toUInt());
}

void Row(const char* what, double call, double bare)
{
    std::printf("| %-44s | %9.2f | %9.2f | %6.2f |\n", what, call, bare, call / bare);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype db = args.indexOf(u"--db"_s), it = args.indexOf(u"--iterations"_s);
    if (db < 0 || db + 1 >= args.size()) {
        std::fprintf(stderr, "usage: bench_pendencias --db SPEC [--iterations N]\n");
        return 2;
    }
    const QString spec = args[db + 1];
    const int iterations = it >= 0 && it + 1 < args.size() ? args[it + 1].toInt() : 20;
    QProcess serve;
    const quint16 port =
        Serve(serve, QCoreApplication::applicationDirPath() + u"/aph-server"_s, spec);
    if (port == 0)
        return 1;
    TRpcClient client;
    client.CallTimeoutMs = 600000;
    client.Connect(u"127.0.0.1"_s, port);
    auto storage = TStorage::Open(TDatabaseSpec::Parse(spec));
    const std::unique_ptr<TDirectFloor> floor = TDirectFloor::Open(spec);

    const TGetServPrestRequest def = DefaultFilter(), may = May(QString());
    const auto call = [&client](const char* method, const TGetServPrestRequest& r) {
        return [&client, method, p = Params(r)] {
            client.Call(QString::fromLatin1(method), p);
        };
    };
    const TQueryText servDefault = ServPrestQuery(*storage, def);
    const TQueryText servMay = ServPrestQuery(*storage, may);
    const std::vector<double> m =
        Medians(iterations, {call("GetServPrest", def), [&] { floor->Run(servDefault); },
                             call("GetPendencias", def), PendenciasFloor(*storage, *floor, def),
                             call("GetPendencias", may), PendenciasFloor(*storage, *floor, may),
                             call("GetServPrest", may),
                             [&] {
                                 floor->Run(servMay);
                             }});
    std::printf("\n| read | server median ms | floor median ms | server / floor |\n"
                "|---|---|---|---|\n");
    Row("GetServPrest, default filter", m[0], m[1]);
    Row("GetPendencias, default filter", m[2], m[3]);
    Row("GetPendencias, May", m[4], m[5]);
    Row("month report (GetServPrest, May, all, \"S\")", m[6], m[7]);
    std::printf("\nGetPendencias / GetServPrest on the default filter: %.1f\n", m[2] / m[0]);
    serve.terminate();
    serve.waitForFinished();
    return 0;
}

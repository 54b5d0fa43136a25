// The approval screen's cascade from a change of service down to the totals
// on screen, against a real aph-server on a database of a million CSAs.
// Reports, per change of service: the whole cascade, the time spent waiting
// for the server (every call, reply decoding included), and the rest, which
// is the screen's own work (loads into datasets, the copy, gap days, totals,
// state reports).
//
//   bench_cascade                 makes the database (init --scale 1000000)
//   bench_cascade --db URI        uses an existing database
#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/framework/dbquery.h"
#include "host/framework/environment.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/serverfixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

qint64 g_serverNs = 0;

// The socket transport, with the time spent in each call added up.
class TimedTransport : public IAppServerTransport
{
public:
    TimedTransport() : m_inner(MakeRpcTransport()) {}
    void Open(const QString& host, int port) override { m_inner->Open(host, port); }
    void Close() override { m_inner->Close(); }
    bool IsOpen() const override { return m_inner->IsOpen(); }
    QJsonValue Call(const QString& method, const QJsonArray& params) override
    {
        QElapsedTimer t;
        t.start();
        QJsonValue v = m_inner->Call(method, params);
        g_serverNs += t.nsecsElapsed();
        return v;
    }

private:
    std::unique_ptr<IAppServerTransport> m_inner;
};

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const std::size_t i =
        std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())));
    return v[i];
}

// The database named with --db, or one made in dir with a million CSAs;
// empty when init failed.
QString Database(int argc, char** argv, const QTemporaryDir& dir)
{
    QString db;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--db")
            db = QString::fromLocal8Bit(argv[i + 1]);
    if (!db.isEmpty())
        return db;
    db = u"sqlite:"_s + dir.filePath(u"scale.db"_s);
    std::printf("making %s with a million CSAs...\n", qPrintable(db));
    QString err;
    if (RunServerCommand({u"init"_s, db, u"--scale"_s, u"1000000"_s}, nullptr, &err) != 0) {
        std::fprintf(stderr, "init failed: %s\n", qPrintable(err));
        return QString();
    }
    return db;
}

// Opens the screen through its filter on January 2025, the CHTs of every
// situation: each service's first employee shows one CHT of the month, gap
// days filled to a calendar. Returns how long that took, in ms.
double OpenScreen(ScriptedDesktop& desktop)
{
    desktop.modal.push_back([](TForm& form) {
        auto& d = static_cast<TfrmFiltroCsa&>(form);
        d.depDtInicial->SetDate(EncodeDate(2025, 1, 1));
        d.depDtFinal->SetDate(EncodeDate(2025, 1, 31));
        d.chbComCHTGerada->SetChecked(true);
        for (TCheckBox* b :
             {d.chbCHT_Pendente, d.chbCHT_Aprovado, d.chbCHT_Faturado, d.chbCHT_Nao_Faturar})
            b->SetChecked(true);
        d.chbSemCHTGerada->SetChecked(false);
        UserClick(d.sbtConfirma);
    });
    QElapsedTimer open;
    open.start();
    IniProc();
    return static_cast<double>(open.nsecsElapsed()) / 1e6;
}

struct TCascadeFigures
{
    std::vector<double> Total, Waiting, Client; // ms per change of service
    int Days = 0, Cascades = 0, MaxDays = 0;
};

// Clicks from service to service, the first twenty as a warm-up; false
// when a cascade reported an error.
bool MeasureCascades(const ScriptedDesktop& desktop, TfrmAprovaHoras& f, TCascadeFigures& out)
{
    const int services = f.cdsServPrest.RecordCount();
    const int rounds = std::min(services - 1, 400);
    for (int i = 0; i < rounds + 20; ++i) {
        const int row = 1 + i % (services - 1);
        g_serverNs = 0;
        QElapsedTimer t;
        t.start();
        UserClick(f.dbgPadrao); // focus stays on the services
        f.dbgPadrao->ClickCell(row, 0);
        const qint64 ns = t.nsecsElapsed();
        if (!desktop.errors.isEmpty()) {
            std::fprintf(stderr, "cascade failed: %s\n", qPrintable(desktop.errors.join(u'\n')));
            return false;
        }
        if (i < 20)
            continue; // warm-up
        out.Total.push_back(static_cast<double>(ns) / 1e6);
        out.Waiting.push_back(static_cast<double>(g_serverNs) / 1e6);
        out.Client.push_back(static_cast<double>(ns - g_serverNs) / 1e6);
        out.Days += f.cdsAuxCSA.RecordCount();
        out.MaxDays = std::max(out.MaxDays, f.cdsAuxCSA.RecordCount());
        ++out.Cascades;
    }
    return true;
}

void Report(const TCascadeFigures& figures)
{
    std::printf("cascades: %d, days shown per CHT: %.1f on average, %d at most\n", figures.Cascades,
                static_cast<double>(figures.Days) / figures.Cascades, figures.MaxDays);
    std::printf("%-28s %8s %8s %8s\n", "ms per change of service", "median", "p90", "p99");
    const auto line = [](const char* name, const std::vector<double>& v) {
        std::printf("%-28s %8.2f %8.2f %8.2f\n", name, Percentile(v, 0.5), Percentile(v, 0.9),
                    Percentile(v, 0.99));
    };
    line("whole cascade", figures.Total);
    line("waiting for the server", figures.Waiting);
    line("the screen's own work", figures.Client);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString db = Database(argc, argv, dir);
    if (db.isEmpty())
        return 1;
    TServerProcess server(db, {u"--no-auth"_s});
    SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR.UTF-8"_s));
    SetHostEnvironment({u"ADMIN"_s, u"0001"_s, u"127.0.0.1"_s, server.Port(), QString(), db});
    SetTransportFactory([](const QString&) { return std::make_unique<TimedTransport>(); });
    dtmDBGeral()->Open(db);
    ScriptedDesktop desktop;
    Cli_aph31500_Initialization();
    Cli_aph31501_Initialization();

    const double openMs = OpenScreen(desktop);
    if (!desktop.errors.isEmpty() || !frmAprovaHoras) {
        std::fprintf(stderr, "opening failed: %s\n", qPrintable(desktop.errors.join(u'\n')));
        return 1;
    }
    TfrmAprovaHoras& f = *frmAprovaHoras;
    std::printf("services in the month: %d; opening with the filter: %.1f ms\n",
                f.cdsServPrest.RecordCount(), openMs);
    TCascadeFigures figures;
    if (!MeasureCascades(desktop, f, figures))
        return 1;
    Report(figures);
    Cli_aph31501_Finalization();
    Cli_aph31500_Finalization();
    return 0;
}

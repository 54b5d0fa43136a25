// Opening the approval screen through its filter, with the lookup lists a
// clerk opens there (the period's first day, the client and employee
// pickers, the occurrences), against a real aph-server: the host's shared
// connection straight to the database (two-tier) beside the same lookups
// through the application server, in alternating rounds of one run.
//
//   bench_lookups                 makes a demo database (init --demo)
//   bench_lookups --db URI        uses an existing database
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

constexpr int kWarmUp = 5;
constexpr int kRounds = 60;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One opening: the filter dialog (its first day), both pickers' lists,
// the filter confirmed, the screen loaded, the occurrences; then the
// screen closed. Its time in ms; negative when the screen reported an
// error.
double OpenOnce(ScriptedDesktop& desktop)
{
    desktop.modal.push_back([](TForm& form) {
        auto& d = static_cast<TfrmFiltroCsa&>(form);
        d.qryCliente.Close();
        d.qryCliente.Open();
        d.qryFuncionario.Close();
        d.qryFuncionario.Open();
        UserClick(d.sbtConfirma);
    });
    QElapsedTimer t;
    t.start();
    IniProc();
    if (!frmAprovaHoras)
        return -1;
    frmAprovaHoras->qryOcorr.Close();
    frmAprovaHoras->qryOcorr.Open();
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    UserClick(frmAprovaHoras->sbtFechar);
    return desktop.errors.isEmpty() ? ms : -1;
}

QString Database(int argc, char** argv, const QTemporaryDir& dir)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--db")
            return QString::fromLocal8Bit(argv[i + 1]);
    const QString db = u"sqlite:"_s + dir.filePath(u"demo.db"_s);
    QString err;
    if (RunServerCommand({u"init"_s, db, u"--demo"_s}, nullptr, &err) != 0) {
        std::fprintf(stderr, "init failed: %s\n", qPrintable(err));
        return QString();
    }
    return db;
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
    ScriptedDesktop desktop;
    Cli_aph31500_Initialization();
    Cli_aph31501_Initialization();

    std::vector<double> direct, through;
    for (int round = 0; round < kWarmUp + kRounds; ++round) {
        for (const bool viaServer : {false, true}) {
            if (viaServer)
                dtmDBGeral()->OpenServer();
            else
                dtmDBGeral()->Open(db);
            // Connected before the clock starts, either way: a desktop opens
            // its shared connection once, not at each opening.
            TADOIBQuery connect;
            connect.SQL = {u"SELECT CDGRPOCOR, CDOCORR, DSOCORR FROM OCORRENCIA ORDER BY "
                           "CDGRPOCOR, CDOCORR"_s};
            connect.Open();
            const double ms = OpenOnce(desktop);
            dtmDBGeral()->Close();
            if (ms < 0) {
                std::fprintf(stderr, "opening failed: %s\n",
                             qPrintable(desktop.errors.join(u'\n')));
                return 1;
            }
            if (round >= kWarmUp)
                (viaServer ? through : direct).push_back(ms);
        }
    }
    const double d = Median(direct), s = Median(through);
    std::printf("%d openings each (filter, both pickers, screen, occurrences)\n", kRounds);
    std::printf("%-34s %8s\n", "ms per opening", "median");
    std::printf("%-34s %8.2f\n", "database opened by the desktop", d);
    std::printf("%-34s %8.2f\n", "lookups through the server", s);
    std::printf("ratio: %.2fx\n", s / d);
    Cli_aph31501_Finalization();
    Cli_aph31500_Finalization();
    return 0;
}

// The CHT statement beside its floor, in one run: both versions (the
// firm's and the client's), as PDF and CSV, of a CHT of 1,000 and one of
// 40,000 days. Timed: StatementFile (the CHT read, the document made) and
// the file written. The floor: the statement's two queries (its header and
// its days) run bare through the engine's C client, every column of every
// row read (directfloor.h), and a file of the same bytes written the same
// way. The two are timed in turns, so that load from other processes
// falls on both alike. Reports figures; it passes or fails on nothing.
//
//   bench_statement [--db sqlite:PATH|postgresql://...] [--days N,N,...] [--rounds N]
//
// Without --db it makes a temporary SQLite database with init --demo; with
// one, the database must have been made by init (--demo or --scale) and
// gets one client's CHTs of its own (CHT numbers 9xxxx, employee BENCH).
#include "directfloor.h"
#include "server/documents/issuer.h"
#include "server/documents/statement.h"
#include "server/methods/queries.h"
#include "server/storage/storage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

// Adds CHT number with days CSAs of the employee BENCH on the database's
// first contracted service, one a day from day first on: hours that vary,
// an empty approval on every third, an occurrence on every seventh.
void AddCht(TStorage& storage, const QString& number, int days, int first)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    QSqlQuery& s = storage.Select(
        u"SELECT NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT FROM SERVCONT ORDER BY 1, 2, 3"_s);
    s.next();
    const QVariantList service = {s.value(0), s.value(1), s.value(2)};
    TStorage::Done(s);
    QSqlQuery& o = storage.Select(u"SELECT CDGRPOCOR, CDOCORR FROM OCORRENCIA ORDER BY 1, 2"_s);
    o.next();
    const QVariant group = o.value(0), code = o.value(1);
    TStorage::Done(o);
    QSqlQuery& e = storage.Select(u"SELECT 1 FROM FUNCIONARIO WHERE CDFUNC = 'BENCH'"_s);
    const bool known = e.next();
    TStorage::Done(e);
    if (!known)
        storage.Exec(u"INSERT INTO FUNCIONARIO (CDFUNC, NMFUNC, CDEMPRESA) VALUES ('BENCH', "
                     "'Funcionário de Medição', '01')"_s);
    storage.Exec(u"INSERT INTO CHT (NRSEQUCHT, DSREFECHT, DTINCLCHT, CDOPERINCL, IDSTATUSCHT, "
                 "NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, CDEMPRESA) VALUES (?, 'Medição', "
                 "45000, 'ADMIN', 'P', ?, ?, ?, 'BENCH', '01')"_s,
                 {number, service[0], service[1], service[2]});
    const double hours[] = {8, 7.5, 9.25, 4, 6.75, 8.5, 10};
    for (int i = 0; i < days; ++i) {
        const double worked = hours[i % 7];
        const QVariant billed = i % 3 == 0 ? QVariant(QMetaType::fromType<double>())
                                           : QVariant(worked - 0.25 * (i % 2));
        storage.Exec(u"INSERT INTO CSA (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, "
                     "DTSERVPREST, CDEMPRESA, QTHRTRAB, QTHRAPROFATU, QTHRAPRCOMIS, NRSEQUCHT, "
                     "CDGRPOCOR, CDOCORR) VALUES (?, ?, ?, 'BENCH', ?, '01', ?, ?, ?, ?, ?, ?)"_s,
                     {service[0], service[1], service[2], static_cast<qint64>(first + i), worked,
                      billed, billed, number,
                      i % 7 == 3 ? group : QVariant(QMetaType::fromType<QString>()),
                      i % 7 == 3 ? code : QVariant(QMetaType::fromType<QString>())});
    }
    tx.Commit();
}

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        throw Exception(u"cannot write %1"_s.arg(path));
    file.close();
}

double Median(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// The statement and its floor in turns of one, after one untimed pass of
// each; the medians in milliseconds.
std::pair<double, double> Turns(int rounds, const std::function<void()>& ours,
                                const std::function<void()>& floor)
{
    ours();
    floor();
    std::vector<double> a, b;
    QElapsedTimer t;
    for (int i = 0; i < rounds; ++i) {
        t.start();
        ours();
        a.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        t.start();
        floor();
        b.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return {Median(a), Median(b)};
}

int Run(const QString& spec, const QList<int>& sizes, int rounds, const QString& folder)
{
    const auto storage = TStorage::Open(TDatabaseSpec::Parse(spec));
    SetIssuer(*storage, u"Firma de Medição Ltda."_s, u"45781296000163"_s);
    const auto floor = TDirectFloor::Open(spec);
    std::printf("| days | version | format | bytes | statement + file (ms) | queries + file "
                "(ms) | ratio |\n|---|---|---|---|---|---|---|\n");
    int first = 0;
    for (int n = 0; n < sizes.size(); ++n) {
        const QString cht = QString::number(90001 + n);
        AddCht(*storage, cht, sizes[n], first);
        first += sizes[n];
        for (const TStatementVersion version :
             {TStatementVersion::Internal, TStatementVersion::Client}) {
            for (const QString& format : {u"pdf"_s, u"csv"_s}) {
                const QString path = folder + u"/statement."_s + format;
                qsizetype bytes = 0;
                const auto ours = [&] {
                    const TStatementFile file = StatementFile(*storage, cht, format, version);
                    bytes = file.Data.size();
                    WriteFile(path, file.Data);
                };
                ours();
                const QByteArray same(bytes, 'x');
                const auto bare = [&] {
                    floor->Run(StatementHeaderQuery(cht));
                    floor->Run(StatementDaysQuery(cht));
                    WriteFile(path + u".floor"_s, same);
                };
                const auto [a, b] = Turns(rounds, ours, bare);
                std::printf("| %d | %s | %s | %lld | %.2f | %.2f | %.2f |\n", sizes[n],
                            version == TStatementVersion::Client ? "client" : "firm",
                            qPrintable(format), static_cast<long long>(bytes), a, b, a / b);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString spec;
    QList<int> sizes = {1000, 40000};
    int rounds = 15;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--db")
            spec = args[i + 1];
        else if (args[i] == u"--rounds")
            rounds = args[i + 1].toInt();
        else if (args[i] == u"--days") {
            sizes.clear();
            for (const QString& n : args[i + 1].split(u','))
                sizes << n.toInt();
        }
    }
    QTemporaryDir dir;
    try {
        if (spec.isEmpty()) {
            spec = u"sqlite:"_s + dir.filePath(u"bench.db"_s);
            QProcess init;
            init.setProcessChannelMode(QProcess::ForwardedChannels);
            init.start(QCoreApplication::applicationDirPath() + u"/aph-server"_s,
                       {u"init"_s, spec, u"--demo"_s});
            init.waitForFinished(-1);
            if (init.exitCode() != 0)
                return 1;
        }
        return Run(spec, sizes, std::max(1, rounds), dir.path());
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }
}

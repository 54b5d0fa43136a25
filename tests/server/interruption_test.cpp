// aph-server export and copy under attack and interruption: a link planted
// where they write is never followed, a run stopped by a signal leaves
// nothing under a final name, and what a killed run left is refused by
// check and serve, then cleaned or replaced by the next run.
#include "tests/support/serverfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <csignal>
#include <functional>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// Enough rows that an export or a copy is still at work when the test has
// seen it start and sends its signal.
constexpr int kBulkRows = 200000;
// The first day of the bulk rows: far past the test world's days.
constexpr int kBulkFirstDay = 100000;

const QStringList kExported = {u"CLIENTE.csv"_s, u"CSA.csv"_s, u"CHT.csv"_s};

int g_names = 0;

// A statement on a database named as aph-server names it, through a
// connection of the test's own; a SQLite file only when it exists, read
// only (the test must not make the file a copy claims).
QList<QVariantList> Query(const QString& spec, const QString& sql)
{
    const QString name = u"interrupcao-%1"_s.arg(++g_names);
    QList<QVariantList> rows;
    {
        const bool sqlite = spec.startsWith(u"sqlite:");
        if (sqlite && !QFileInfo::exists(spec.mid(7)))
            return rows;
        const QUrl url(spec);
        QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? u"QSQLITE"_s : u"QPSQL"_s, name);
        db.setDatabaseName(sqlite ? spec.mid(7) : url.path().mid(1));
        if (sqlite)
            db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
        db.setHostName(url.host());
        db.setPort(url.port(5432));
        db.setUserName(url.userName());
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql))
                while (q.next())
                    rows.append({q.value(0)});
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// The tables of a database, from its own catalog.
qint64 TableCount(const QString& spec)
{
    if (spec.startsWith(u"sqlite:"))
        return Query(spec, u"SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'"_s)
            .value(0)
            .value(0)
            .toLongLong();
    return Query(spec, u"SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = "
                       "current_schema()"_s)
        .value(0)
        .value(0)
        .toLongLong();
}

bool MarkedUnfinished(const QString& spec)
{
    const QString sql = spec.startsWith(u"sqlite:")
                            ? u"SELECT COUNT(*) FROM sqlite_master WHERE name = "
                              "'APH_COPIA_INACABADA'"_s
                            : u"SELECT COUNT(*) FROM information_schema.tables WHERE table_name = "
                              "'aph_copia_inacabada'"_s;
    return Query(spec, sql).value(0).value(0).toLongLong() > 0;
}

// An empty PostgreSQL database of the test's own, dropped afterwards.
class TScratchPg
{
public:
    TScratchPg() : m_name(u"aph_interrupcao_%1_%2"_s.arg(::getpid()).arg(++g_names))
    {
        Query(Uri(), u"CREATE DATABASE "_s + m_name);
    }
    ~TScratchPg() { Query(Uri(), u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(m_name)); }
    QString Spec() const
    {
        QUrl url(Uri());
        url.setPath(u'/' + m_name);
        return url.toString();
    }
    static QString Uri() { return qEnvironmentVariable("APH_TEST_PG_URI"); }

private:
    QString m_name;
};

// aph-server run in a child process, told a signal once ready() holds.
struct TRun
{
    int Code = -1;
    QString Out, Err;
};

TRun RunAndSignal(const QStringList& args, int signal, const std::function<bool()>& ready)
{
    QProcess p;
    p.start(QStringLiteral(APH_SERVER_BIN), args);
    EXPECT_TRUE(p.waitForStarted(10000));
    if (signal != 0) {
        QElapsedTimer waited;
        waited.start();
        while (!ready() && waited.elapsed() < 20000)
            QThread::msleep(1);
        EXPECT_EQ(p.state(), QProcess::Running) << "it finished before the signal";
        ::kill(static_cast<pid_t>(p.processId()), signal);
    }
    // A command that took the database for a good one would serve on.
    if (!p.waitForFinished(60000))
        p.kill();
    p.waitForFinished();
    TRun run;
    run.Out = QString::fromUtf8(p.readAllStandardOutput());
    run.Err = QString::fromUtf8(p.readAllStandardError());
    run.Code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return run;
}

enum class TPlant
{
    Nothing,
    DanglingLink,     // CSA.csv, or the copy's file, a link to a name outside
    LinkToFile,       // the same, to a file outside that must stay as it is
    KilledPartialSet, // a killed export's folder, one name of its set given
    KilledWholeSet,   // the same, every name given and the set noted whole
};

class InterruptionTest : public ServerTest
{
protected:
    void FillBulkRows()
    {
        m_db->Exec(u"INSERT INTO CSA (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, DTSERVPREST, "
                   "CDEMPRESA, QTHRTRAB) WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 "
                   "FROM N WHERE I < %1) SELECT 'TP1', '01', '001', 'TF1', %2 + I, '01', 8 FROM "
                   "N"_s.arg(kBulkRows)
                       .arg(kBulkFirstDay));
    }
    // What the case plants at where (the export's folder or the copy's
    // file); returns the file outside that a link points at.
    QString Plant(TPlant plant, const QString& where, bool folder)
    {
        const QString outside = m_dir.filePath(u"fora-%1.txt"_s.arg(++g_names));
        const QString link = folder ? where + u"/CSA.csv"_s : where;
        switch (plant) {
        case TPlant::Nothing:
            break;
        case TPlant::LinkToFile: {
            QFile file(outside);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("intocado");
        }
            [[fallthrough]];
        case TPlant::DanglingLink:
            EXPECT_TRUE(QFile::link(outside, link));
            break;
        case TPlant::KilledPartialSet:
        case TPlant::KilledWholeSet: {
            const QString work = where + u"/exportacao.parcial.Ab12Cd"_s;
            EXPECT_TRUE(QDir().mkpath(work));
            QFile old(work + u"/CLIENTE.csv"_s);
            EXPECT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("de uma exportacao morta\r\n");
            old.close();
            EXPECT_EQ(::link(QFile::encodeName(work + u"/CLIENTE.csv"_s).constData(),
                             QFile::encodeName(where + u"/CLIENTE.csv"_s).constData()),
                      0);
            if (plant == TPlant::KilledWholeSet) {
                EXPECT_TRUE(QFile(work + u"/.publicado"_s).open(QIODevice::WriteOnly));
            }
            // An earlier version's partial file, of a process long gone.
            QFile older(where + u"/CSA.csv.999999999.parcial"_s);
            EXPECT_TRUE(older.open(QIODevice::WriteOnly));
            break;
        }
        }
        return outside;
    }
    QStringList FinalNames(const QString& folder)
    {
        return QDir(folder).entryList({u"*.csv"_s}, QDir::Files | QDir::System, QDir::Name);
    }
    QStringList Leftovers(const QString& folder)
    {
        return QDir(folder).entryList({u"*.parcial*"_s},
                                      QDir::AllEntries | QDir::Hidden | QDir::System);
    }
    QString Fresh(bool postgres)
    {
        if (postgres)
            return m_scratch.emplace_back(std::make_unique<TScratchPg>())->Spec();
        return u"sqlite:"_s + m_dir.filePath(u"destino-%1.db"_s.arg(++g_names));
    }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<TScratchPg>> m_scratch;
};

} // namespace

TEST_F(InterruptionTest, ExportAndCopyLeaveNoUnfinishedResultUnderAFinalName)
{
    AddTestWorld();
    FillBulkRows();
    m_client.reset();
    m_server.reset();
    const bool pg = !TScratchPg::Uri().isEmpty();
    const struct
    {
        const char* Name;
        bool Copy;
        bool ToPostgres;
        TPlant Plant;
        int Signal;
        int Code;
        QString Said;
    } cases[] = {
        {"export past a dangling link", false, false, TPlant::DanglingLink, 0, 1,
         u"já tem CSA.csv"_s},
        {"export past a link to a file", false, false, TPlant::LinkToFile, 0, 1,
         u"já tem CSA.csv"_s},
        {"export stopped by SIGTERM", false, false, TPlant::Nothing, SIGTERM, 1,
         u"A exportação foi interrompida pelo sinal SIGTERM; nenhum arquivo foi gravado"_s},
        {"export stopped by SIGINT", false, false, TPlant::Nothing, SIGINT, 1,
         u"interrompida pelo sinal SIGINT"_s},
        {"export killed", false, false, TPlant::Nothing, SIGKILL, -1, QString()},
        {"export after a killed one gave part of its set", false, false, TPlant::KilledPartialSet,
         0, 0, u"Exportação concluída"_s},
        {"export after a killed one gave its whole set", false, false, TPlant::KilledWholeSet, 0, 1,
         u"já tem CLIENTE.csv"_s},
        {"copy onto a dangling link", true, false, TPlant::DanglingLink, 0, 1, u"já existe"_s},
        {"copy onto a link to a file", true, false, TPlant::LinkToFile, 0, 1, u"já existe"_s},
        {"copy to SQLite stopped by SIGTERM", true, false, TPlant::Nothing, SIGTERM, 1,
         u"A cópia foi interrompida pelo sinal SIGTERM. O arquivo de destino foi removido."_s},
        {"copy to SQLite stopped by SIGHUP", true, false, TPlant::Nothing, SIGHUP, 1,
         u"interrompida pelo sinal SIGHUP. O arquivo de destino foi removido."_s},
        {"copy to SQLite stopped by SIGINT", true, false, TPlant::Nothing, SIGINT, 1,
         u"interrompida pelo sinal SIGINT. O arquivo de destino foi removido."_s},
        {"copy to SQLite killed", true, false, TPlant::Nothing, SIGKILL, -1, QString()},
        {"copy to PostgreSQL stopped by SIGTERM", true, true, TPlant::Nothing, SIGTERM, 1,
         u"A cópia foi interrompida pelo sinal SIGTERM. O destino foi esvaziado"_s},
        {"copy to PostgreSQL stopped by SIGHUP", true, true, TPlant::Nothing, SIGHUP, 1,
         u"interrompida pelo sinal SIGHUP. O destino foi esvaziado"_s},
        {"copy to PostgreSQL killed", true, true, TPlant::Nothing, SIGKILL, -1, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.ToPostgres && !pg)
            continue;
        const QString folder = m_dir.filePath(u"exportacao-%1"_s.arg(++g_names));
        const QString target = c.Copy ? Fresh(c.ToPostgres) : folder;
        if (!c.Copy) {
            ASSERT_TRUE(QDir().mkpath(folder));
        }
        const QString outside = Plant(c.Plant, c.Copy ? target.mid(7) : folder, !c.Copy);
        const std::function<bool()> started = [&] {
            return c.Copy
                       ? MarkedUnfinished(target)
                       : !QDir(folder).entryList({u"exportacao.parcial.*"_s}, QDir::Dirs).isEmpty();
        };
        const TRun run = RunAndSignal(c.Copy ? QStringList{u"copy"_s, m_db->Spec(), target}
                                             : QStringList{u"export"_s, m_db->Spec(), folder},
                                      c.Signal, started);
        EXPECT_EQ(run.Code, c.Code) << run.Err.toStdString();
        const QString said = run.Out + run.Err;
        EXPECT_TRUE(said.contains(c.Said)) << said.toStdString();
        // Nothing reached through a link was written, or made.
        if (c.Plant == TPlant::LinkToFile) {
            QFile file(outside);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), "intocado");
        } else {
            EXPECT_FALSE(QFileInfo::exists(outside));
        }
        if (!c.Copy) {
            const QStringList names = FinalNames(folder);
            if (c.Code == 0) {
                // The whole set, fresh: the name a killed run gave is gone.
                for (const QString& name : kExported)
                    EXPECT_TRUE(names.contains(name)) << name.toStdString();
                QFile cliente(folder + u"/CLIENTE.csv"_s);
                ASSERT_TRUE(cliente.open(QIODevice::ReadOnly));
                EXPECT_TRUE(cliente.readAll().contains("CDCLIENTE"));
            } else if (c.Plant == TPlant::KilledWholeSet) {
                EXPECT_EQ(names, QStringList{u"CLIENTE.csv"_s});
            } else {
                EXPECT_TRUE(names.isEmpty() ||
                            (c.Plant != TPlant::Nothing && names == QStringList{u"CSA.csv"_s}))
                    << names.join(u' ').toStdString();
            }
            if (c.Signal == SIGKILL) {
                // The work folder stays, and the next export removes it.
                EXPECT_FALSE(Leftovers(folder).isEmpty());
                const TRun next = RunAndSignal({u"export"_s, m_db->Spec(), folder}, 0, {});
                EXPECT_EQ(next.Code, 0) << next.Err.toStdString();
                EXPECT_TRUE(FinalNames(folder).contains(u"CSA.csv"_s));
            }
            EXPECT_TRUE(Leftovers(folder).isEmpty()) << Leftovers(folder).join(u' ').toStdString();
            continue;
        }
        if (c.Signal != SIGKILL) {
            EXPECT_EQ(TableCount(target), 0);
            if (!c.ToPostgres && c.Plant == TPlant::Nothing) {
                EXPECT_FALSE(QFileInfo::exists(target.mid(7)));
            }
            continue;
        }
        // A killed copy leaves its mark: check and serve refuse it, and a
        // new copy replaces it.
        EXPECT_TRUE(MarkedUnfinished(target));
        for (const QStringList& args :
             {QStringList{u"check"_s, target},
              QStringList{u"serve"_s, target, u"--port"_s, u"0"_s, u"--no-auth"_s}}) {
            const TRun refused = RunAndSignal(args, 0, {});
            EXPECT_EQ(refused.Code, 1) << args.first().toStdString();
            EXPECT_TRUE(refused.Err.contains(u"é uma cópia que não terminou"_s))
                << refused.Err.toStdString();
        }
        TRun again;
        // The killed copy's PostgreSQL session may take a moment to end.
        for (int attempt = 0; attempt < 50; ++attempt) {
            again = RunAndSignal({u"copy"_s, m_db->Spec(), target}, 0, {});
            if (!again.Err.contains(u"Outra cópia"_s))
                break;
            QThread::msleep(100);
        }
        EXPECT_EQ(again.Code, 0) << again.Err.toStdString();
        EXPECT_TRUE(again.Out.contains(u"cópia que não terminou; ela foi substituída"_s));
        EXPECT_TRUE(again.Out.contains(u"A cópia passou na verificação."_s));
        EXPECT_FALSE(MarkedUnfinished(target));
        EXPECT_EQ(Query(target, u"SELECT COUNT(*) FROM CSA"_s).value(0).value(0).toLongLong(),
                  m_db->Scalar(u"SELECT COUNT(*) FROM CSA"_s).toLongLong());
    }
}

#include "server/admin/maintenance.h"

#include "server/admin/commandline.h"
#include "server/common/newfile.h"
#include "server/methods/auditlog.h"
#include "server/storage/pendingdays.h"
#include "server/storage/schema.h"
#include "server/storage/sqlitecopy.h"
#include "server/storage/storage.h"
#include "server/storage/tablelist.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <functional>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The offenders a check names, enough to find the fault; its count says
// how many there are in all.
constexpr int kExamples = 3;

} // namespace

QStringList BackupSqlite(const QString& databasePath, const QString& file)
{
    if (!QFileInfo(databasePath).isFile())
        throw Exception(u"O arquivo do banco de dados \"%1\" não existe."_s.arg(databasePath));
    const QString audit = TAuditLog::SqlitePath(databasePath);
    const bool hasAudit = QFileInfo(audit).isFile();
    // Both names are the copy's, audit or not: a file already named as
    // the copy's audit would pass for it.
    const QString fileAudit = TAuditLog::SqlitePath(file);
    RefuseExistingFile(file);
    RefuseExistingFile(fileAudit);
    // Written where nobody else can put a link, and given their names
    // only when every file is whole; what a killed backup left goes first.
    TWorkFolder::RemoveAbandoned(file);
    const TWorkFolder work(file);
    QStringList names{file};
    if (hasAudit)
        names << fileAudit;
    for (const QString& target : std::as_const(names))
        CopySqliteFile(target == file ? databasePath : audit, work.FileFor(target));
    work.Publish(names);
    return names;
}

QString PgDumpCommand(const TDatabaseSpec& spec, const QString& file)
{
    return u"pg_dump --format=custom --host=%1 --port=%2 --username=%3 --file=%4 %5"_s.arg(
        spec.Host.isEmpty() ? u"localhost"_s : spec.Host, QString::number(spec.Port), spec.User,
        file, spec.DatabaseName);
}

namespace {

// The rows of a query, each turned into an example by describe; counts
// them all and keeps the first few.
TCheckResult Offenders(TStorage& storage, const QString& name, const QString& sql,
                       const QVariantList& values,
                       const std::function<QString(const QSqlQuery&)>& describe)
{
    TCheckResult result{name, 0, {}};
    QSqlQuery& q = storage.Select(sql, values);
    while (q.next()) {
        if (result.Count++ < kExamples)
            result.Examples << describe(q);
    }
    TStorage::Done(q);
    return result;
}

QString DayText(const QVariant& ole)
{
    return QDate(1899, 12, 30).addDays(ole.toLongLong()).toString(u"dd/MM/yyyy"_s);
}

// "TP1/01/001 TF1 01/03/2030" from the five key columns, in order from
// column first.
QString CsaKey(const QSqlQuery& q, int first)
{
    return u"CSA %1/%2/%3 %4 %5"_s.arg(q.value(first).toString(), q.value(first + 1).toString(),
                                       q.value(first + 2).toString(), q.value(first + 3).toString(),
                                       DayText(q.value(first + 4)));
}

const QString kCsaKey = u"A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, A.DTSERVPREST"_s;

TCheckResult Integrity(TStorage& storage)
{
    TCheckResult result{u"integridade do arquivo"_s, 0, {}};
    QSqlQuery& q = storage.Select(u"PRAGMA integrity_check"_s);
    while (q.next()) {
        const QString line = q.value(0).toString();
        if (line == u"ok")
            continue;
        if (result.Count++ < kExamples)
            result.Examples << line;
    }
    TStorage::Done(q);
    return result;
}

TCheckResult Version(TStorage& storage)
{
    const int version = SchemaVersion(storage);
    TCheckResult result{u"versão do esquema"_s, 0, {}};
    if (version != kSchemaVersion) {
        result.Count = 1;
        result.Examples << u"versão %1; este servidor usa a %2"_s.arg(version).arg(kSchemaVersion);
    }
    return result;
}

TCheckResult CsaInForeignCht(TStorage& storage)
{
    return Offenders(
        storage, u"CSA em CHT de outro serviço ou funcionário"_s,
        u"SELECT A.NRSEQUCHT, "_s + kCsaKey +
            u" FROM CSA A LEFT JOIN CHT C ON C.NRSEQUCHT = A.NRSEQUCHT WHERE A.NRSEQUCHT IS "
            "NOT NULL AND (C.NRSEQUCHT IS NULL OR C.NRPROPOSFAS <> A.NRPROPOSFAS OR "
            "C.NRVERPROPFAS <> A.NRVERPROPFAS OR C.NRSERVCONT <> A.NRSERVCONT OR C.CDFUNC <> "
            "A.CDFUNC) ORDER BY "_s +
            kCsaKey,
        {}, [](const QSqlQuery& q) {
            return u"%1 na CHT %2"_s.arg(CsaKey(q, 1), q.value(0).toString());
        });
}

TCheckResult EmptyCht(TStorage& storage)
{
    return Offenders(storage, u"CHT sem CSA"_s,
                     u"SELECT C.NRSEQUCHT FROM CHT C WHERE NOT EXISTS (SELECT 1 FROM CSA A "
                     "WHERE A.NRSEQUCHT = C.NRSEQUCHT) ORDER BY C.NRSEQUCHT"_s,
                     {}, [](const QSqlQuery& q) { return u"CHT %1"_s.arg(q.value(0).toString()); });
}

// The next CHT number comes from the counter: one at or below a CHT that
// exists would number a new CHT as an old one.
TCheckResult ChtCounter(TStorage& storage)
{
    QSqlQuery& q = storage.Select(u"SELECT NRVALOR FROM APH_SEQUENCIA WHERE NMSEQUENCIA = 'CHT'"_s);
    const bool found = q.next();
    const qint64 counter = found ? q.value(0).toLongLong() : 0;
    TStorage::Done(q);
    TCheckResult result = Offenders(
        storage, u"CHT de número além do contador (APH_SEQUENCIA)"_s,
        u"SELECT NRSEQUCHT FROM CHT WHERE CAST(NRSEQUCHT AS INTEGER) > ? ORDER BY NRSEQUCHT"_s,
        {counter}, [counter](const QSqlQuery& r) {
            return u"CHT %1 com o contador em %2"_s.arg(r.value(0).toString()).arg(counter);
        });
    if (!found) {
        ++result.Count;
        result.Examples.prepend(u"falta o contador 'CHT'"_s);
    }
    return result;
}

TCheckResult ApprovalsOverWorked(TStorage& storage)
{
    return Offenders(
        storage, u"aprovação fora das horas trabalhadas"_s,
        u"SELECT A.QTHRTRAB, A.QTHRAPROFATU, A.QTHRAPRCOMIS, "_s + kCsaKey +
            u" FROM CSA A WHERE A.QTHRAPROFATU < 0 OR A.QTHRAPROFATU > A.QTHRTRAB + 0.00001 OR "
            "A.QTHRAPRCOMIS < 0 OR A.QTHRAPRCOMIS > A.QTHRTRAB + 0.00001 ORDER BY "_s +
            kCsaKey,
        {}, [](const QSqlQuery& q) {
            return u"%1: trabalhadas %2, faturamento %3, comissão %4"_s.arg(
                CsaKey(q, 3), q.value(0).toString(), q.value(1).toString(), q.value(2).toString());
        });
}

// Rows naming a row of another table that is not there, by the parents of
// the table list: written while SQLite's foreign keys were off, or by hand.
TCheckResult Orphans(TStorage& storage)
{
    TCheckResult result{u"registro que nomeia outro inexistente"_s, 0, {}};
    for (const TTableSpec& t : kSchemaTables) {
        for (const TParentSpec& p : t.Parents) {
            const QString table = QUtf8StringView(t.Name).toString(),
                          what = QUtf8StringView(p.What).toString();
            QStringList given, match, shown;
            for (std::size_t i = 0; i < p.Columns.size(); ++i) {
                given << u"C.%1 IS NOT NULL"_s.arg(QUtf8StringView(p.Columns[i]).toString());
                match << u"P.%1 = C.%2"_s.arg(QUtf8StringView(p.ParentColumns[i]).toString(),
                                              QUtf8StringView(p.Columns[i]).toString());
                shown << u"C."_s + QUtf8StringView(p.Columns[i]).toString();
            }
            const TCheckResult one = Offenders(
                storage, result.Name,
                u"SELECT %1 FROM %2 C WHERE %3 AND NOT EXISTS (SELECT 1 FROM %4 P WHERE %5) "
                "ORDER BY %1"_s.arg(shown.join(u", "), table, given.join(u" AND "),
                                    QUtf8StringView(p.Table).toString(), match.join(u" AND ")),
                {}, [&](const QSqlQuery& q) {
                    QStringList key;
                    for (int i = 0; i < shown.size(); ++i)
                        key << q.value(i).toString();
                    return u"%1: %2 %3 não está cadastrad%4"_s.arg(
                        table, what, key.join(u'/'), what.startsWith(u"a ") ? u"a"_s : u"o"_s);
                });
            result.Count += one.Count;
            result.Examples += one.Examples.mid(0, kExamples - result.Examples.size());
        }
    }
    return result;
}

// The exceptions list's days of fixed-value services, kept by the writes,
// against the CSAs they come from.
TCheckResult PendingFixedInStep(TStorage& storage)
{
    TCheckResult result{u"dias de valor fixo pendentes (APH_PENDFIXO) conforme as CSAs"_s, 0, {}};
    result.Count = PendingFixedMismatches(storage);
    if (result.Count > 0)
        result.Examples << u"%1 grupo(s) de dias diferem do que as CSAs dão; uma importação "
                           "os refaz"_s.arg(result.Count);
    return result;
}

} // namespace

QList<TCheckResult> CheckDatabase(TStorage& storage)
{
    // Every check on one state of the database, even while servers write.
    TTransaction tx(storage, TTransaction::Mode::Snapshot);
    QList<TCheckResult> results;
    if (!storage.IsPostgres())
        results << Integrity(storage);
    results << Version(storage);
    // Without a schema there are no tables to check.
    if (SchemaVersion(storage) > 0)
        results << CsaInForeignCht(storage) << EmptyCht(storage) << ChtCounter(storage)
                << ApprovalsOverWorked(storage) << Orphans(storage);
    if (SchemaVersion(storage) == kSchemaVersion)
        results << PendingFixedInStep(storage);
    tx.Commit();
    return results;
}

bool PrintChecks(TStorage& storage)
{
    bool passed = true;
    for (const TCheckResult& r : CheckDatabase(storage)) {
        passed = passed && r.Count == 0;
        Print(stdout, r.Count == 0 ? u"%1: ok"_s.arg(r.Name)
                                   : u"%1: %2 (%3)"_s.arg(r.Name).arg(r.Count).arg(
                                         r.Examples.join(u"; "_s)));
    }
    return passed;
}

} // namespace aph

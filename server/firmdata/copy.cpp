#include "server/firmdata/copy.h"

#include "host/data/scopeguard.h"
#include "server/common/interrupt.h"
#include "server/firmdata/copytarget.h"
#include "server/methods/auditlog.h"
#include "server/storage/pendingdays.h"
#include "server/storage/schema.h"
#include "server/storage/storage.h"
#include "server/storage/tablelist.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The advisory lock a copy holds, for its whole session, on the PostgreSQL
// database it writes: the key an import's TStorage::LockDataLoad waits on,
// so that neither writes while the other does. A copy does not wait: it
// refuses at once.
constexpr int kBulkWriteLockKey = 31501;
// Rows a PostgreSQL cursor hands over at a time.
constexpr int kFetchRows = 5000;

const QString kAuditTable = u"APH_AUDITORIA"_s;

struct TCopiedTable
{
    QString Name;
    QStringList Columns;
};

// Every table the copy carries, with its columns, in the table list's
// order: parents before children, so that each row's foreign keys find
// their rows already there. A table or column of the destination's new
// schema the list does not know would be left empty without a word:
// refused instead.
QList<TCopiedTable> DestinationTables(TStorage& to)
{
    for (const QString& name : to.Database().tables(QSql::Tables)) {
        const QString table = name.toUpper();
        if (!FindTableSpec(table.toStdString()) && !table.startsWith(u"SQLITE_") &&
            table != kUnfinishedCopyTable)
            throw Exception(
                u"A cópia não conhece a tabela %1 do esquema; nada foi copiado."_s.arg(table));
    }
    QList<TCopiedTable> tables;
    for (const TTableSpec& spec : kSchemaTables) {
        if (!spec.Copied)
            continue;
        TCopiedTable table{QUtf8StringView(spec.Name).toString(), {}};
        for (const TColumnSpec& c : spec.Columns)
            table.Columns << QUtf8StringView(c.Name).toString();
        // PostgreSQL keeps the unquoted names of the schema in lower case.
        const QSqlRecord record =
            to.Database().record(to.IsPostgres() ? table.Name.toLower() : table.Name);
        for (int i = 0; i < record.count(); ++i)
            if (!table.Columns.contains(record.fieldName(i).toUpper()))
                throw Exception(u"A cópia não conhece a coluna %1 da tabela %2 do esquema; nada "
                                "foi copiado."_s.arg(record.fieldName(i).toUpper(), table.Name));
        tables << table;
    }
    return tables;
}

// The rows of one SELECT on the origin, read as they are needed: SQLite
// steps through them itself; on PostgreSQL a cursor of the read
// transaction hands them over a batch at a time. No table is ever held
// whole in memory.
class TTableReader
{
public:
    TTableReader(TStorage& storage, const QString& select, int number)
        : m_storage(storage), m_fetch(storage.Database()), m_cursor(u"APH_COPIA_%1"_s.arg(number))
    {
        if (!m_storage.IsPostgres()) {
            m_query = &m_storage.Select(select);
            return;
        }
        m_storage.ExecDirect(u"DECLARE %1 NO SCROLL CURSOR FOR %2"_s.arg(m_cursor, select));
        m_fetch.setForwardOnly(true);
        m_query = &m_fetch;
        Fetch();
    }

    bool Next(QVariantList& row)
    {
        while (!m_query->next()) {
            if (m_query->lastError().isValid())
                Fail(u"ler"_s);
            // A batch short of full was the cursor's last.
            if (!m_storage.IsPostgres() || m_inBatch < kFetchRows) {
                Finish();
                return false;
            }
            Fetch();
        }
        ++m_inBatch;
        row.clear();
        for (int i = 0, n = m_query->record().count(); i < n; ++i)
            row << m_query->value(i);
        return true;
    }

private:
    void Fetch()
    {
        m_inBatch = 0;
        if (!m_fetch.exec(u"FETCH %1 FROM %2"_s.arg(kFetchRows).arg(m_cursor)))
            Fail(u"buscar"_s);
    }
    void Finish()
    {
        if (!m_storage.IsPostgres()) {
            TStorage::Done(*m_query);
            return;
        }
        m_fetch.finish();
        m_storage.ExecDirect(u"CLOSE "_s + m_cursor);
    }
    [[noreturn]] void Fail(const QString& what)
    {
        const QSqlError error = m_query->lastError();
        m_storage.Raise(error.type() == QSqlError::ConnectionError && m_storage.IsPostgres()
                            ? TStorage::TFailure::Lost
                            : TStorage::TFailure::Other,
                        u"%1 a origem da cópia: %2"_s.arg(what, error.text()));
    }

    TStorage& m_storage;
    QSqlQuery m_fetch; // PostgreSQL: the batch at hand
    QSqlQuery* m_query = nullptr;
    QString m_cursor;
    int m_inBatch = 0;
};

qint64 CopyRows(TStorage& from, const QString& source, TStorage& to, const TCopiedTable& table,
                int number)
{
    auto writer = to.BulkWriter(table.Name, table.Columns);
    TTableReader reader(from, u"SELECT %1 FROM %2"_s.arg(table.Columns.join(u", "), source),
                        number);
    QVariantList row;
    qint64 rows = 0;
    while (reader.Next(row)) {
        RaiseIfInterrupted();
        writer->Add(row);
        ++rows;
    }
    writer->Flush();
    return rows;
}

// The origin, which must be at this server's schema version.
std::unique_ptr<TStorage> OpenOrigin(const TDatabaseSpec& spec)
{
    auto storage = TStorage::Open(spec);
    RequireFinishedCopy(*storage);
    const int version = SchemaVersion(*storage);
    if (version == 0)
        throw Exception(u"O banco de origem não tem o esquema do servidor; não há o que copiar."_s);
    if (version != kSchemaVersion)
        throw Exception(u"O banco de origem está na versão %1 do esquema; este aph-server copia a "
                        "versão %2. Atualize-o antes com: aph-server init ORIGEM"_s.arg(version)
                            .arg(kSchemaVersion));
    return storage;
}

// A SQLite origin's read audit records, in their file beside it, attached
// to its connection so that the read transaction covers both files.
bool AttachAudit(TStorage& from, const TDatabaseSpec& spec)
{
    if (from.IsPostgres())
        return false;
    const QString path = TAuditLog::SqlitePath(spec.Path);
    if (!QFileInfo(path).isFile())
        return false;
    from.Exec(u"ATTACH DATABASE ? AS AUDITORIA"_s, {path});
    QSqlQuery& q = from.Select(u"SELECT COUNT(*) FROM AUDITORIA.sqlite_master WHERE type = "
                               "'table' AND name = ?"_s,
                               {kAuditTable});
    const bool found = q.next() && q.value(0).toInt() > 0;
    TStorage::Done(q);
    return found;
}

// Identity columns (the row number of APH_HISTEVENTO) go on past the rows
// copied, so that the next row inserted takes a number of its own.
void AdvanceIdentities(TStorage& to)
{
    QList<QStringList> identities;
    QSqlQuery& q = to.Select(u"SELECT table_name, column_name FROM information_schema.columns "
                             "WHERE table_schema = current_schema() AND (is_identity = 'YES' OR "
                             "column_default LIKE 'nextval(%')"_s);
    while (q.next())
        identities << QStringList{q.value(0).toString(), q.value(1).toString()};
    TStorage::Done(q);
    for (const QStringList& c : std::as_const(identities))
        to.Exec(u"SELECT setval(pg_get_serial_sequence(?, ?), COALESCE(MAX(%2), 0) + 1, false) "
                "FROM %1"_s.arg(c[0], c[1]),
                {c[0], c[1]});
}

// Every table, in one write transaction on the destination, from one
// snapshot of the origin.
qint64 CopyTables(TStorage& from, TStorage& to, bool audit, const TCopyProgress& progress)
{
    const QList<TCopiedTable> tables = DestinationTables(to);
    TTransaction read(from, TTransaction::Mode::Read);
    if (from.IsPostgres())
        from.ExecDirect(u"SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"_s);
    to.BeginBulkLoad();
    TScopeExit endLoad([&to] { to.EndBulkLoad(); });
    TTransaction write(to, TTransaction::Mode::Write);
    // The rows MigrateSchema writes (the system's name, the CHT counter at
    // 0) give way to the origin's.
    for (auto it = tables.crbegin(); it != tables.crend(); ++it)
        to.ExecDirect(u"DELETE FROM "_s + it->Name);
    qint64 total = 0;
    int cursor = 0;
    for (const TCopiedTable& table : tables) {
        qint64 rows = CopyRows(from, table.Name, to, table, ++cursor);
        if (audit && table.Name == kAuditTable)
            rows += CopyRows(from, u"AUDITORIA."_s + table.Name, to, table, ++cursor);
        if (progress)
            progress(table.Name, rows);
        total += rows;
    }
    if (to.IsPostgres())
        AdvanceIdentities(to);
    // Not copied: computed again from the CSAs copied.
    RebuildPendingFixed(to);
    // The last step: the mark goes with the rows' commit, not before.
    RaiseIfInterrupted();
    to.ExecDirect(u"DROP TABLE "_s + kUnfinishedCopyTable);
    write.Commit();
    read.Commit();
    return total;
}

} // namespace

void LockBulkWrite(TStorage& storage)
{
    if (!storage.IsPostgres())
        return;
    QSqlQuery& q = storage.Select(u"SELECT pg_try_advisory_lock(%1)"_s.arg(kBulkWriteLockKey));
    const bool locked = q.next() && q.value(0).toBool();
    TStorage::Done(q);
    if (!locked)
        throw Exception(u"Outra cópia ou importação está gravando no banco de destino; tente de "
                        "novo quando ela terminar."_s);
}

qint64 CopyDatabase(const TDatabaseSpec& origin, const TDatabaseSpec& destination,
                    const TCopyProgress& progress, const TCopyNote& note)
{
    const TInterruptGuard interrupt;
    auto from = OpenOrigin(origin);
    const bool audit = AttachAudit(*from, origin);
    TCopyTarget target(destination);
    if (target.Replaced() && note)
        note(u"O destino era uma cópia que não terminou; ela foi substituída."_s);
    try {
        MigrateSchema(target.Storage());
        return CopyTables(*from, target.Storage(), audit, progress);
    } catch (const Exception& e) {
        const QString why = dynamic_cast<const EInterrupted*>(&e)
                                ? u"A cópia foi interrompida pelo sinal %1."_s.arg(
                                      SignalName(static_cast<const EInterrupted&>(e).Signal()))
                                : u"A cópia falhou: %1"_s.arg(e.Message());
        throw Exception(why + u' ' + target.Remove());
    }
}

} // namespace aph

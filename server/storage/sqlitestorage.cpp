#include "host/data/packetcodec.h"
#include "host/data/utf8.h"
#include "server/common/incident.h"
#include "server/storage/engines.h"
#include "server/storage/rowsource.h"
#include "server/storage/storage.h"

#include <QSqlDriver>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace aph {

// The kind of a failure by SQLite's primary result code (extended codes
// keep it in the low byte).
TStorage::TFailure SqliteFailure(int code)
{
    using F = TStorage::TFailure;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return F::Busy;
    case SQLITE_FULL:
        return F::Full;
    case SQLITE_CONSTRAINT:
        return F::Constraint;
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
        return F::Lost;
    default:
        return F::Other;
    }
}

namespace {

sqlite3* SqliteHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.data());
}

// Straight to SQLite's own statement API: a million rows in seconds.
class TSqliteWriter final : public TStorage::TBulkWriter
{
public:
    TSqliteWriter(const TStorage& storage, sqlite3* db, const QString& table,
                  const QStringList& columns)
        : m_storage(storage), m_db(db)
    {
        QStringList marks;
        for (int i = 0; i < columns.size(); ++i)
            marks << u"?"_s;
        const QByteArray sql =
            u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(table, columns.join(u','), marks.join(u','))
                .toUtf8();
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &m_stmt, nullptr) != SQLITE_OK)
            Raise();
    }
    ~TSqliteWriter() override { sqlite3_finalize(m_stmt); }
    void Add(const QVariantList& row) override
    {
        for (int i = 0; i < row.size(); ++i) {
            const QVariant& v = row[i];
            int rc = SQLITE_OK;
            if (v.isNull()) {
                rc = sqlite3_bind_null(m_stmt, i + 1);
            } else if (v.typeId() == QMetaType::Double) {
                rc = sqlite3_bind_double(m_stmt, i + 1, v.toDouble());
            } else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) {
                rc = sqlite3_bind_int64(m_stmt, i + 1, v.toLongLong());
            } else {
                const QByteArray text = v.toString().toUtf8();
                rc = sqlite3_bind_text(m_stmt, i + 1, text.constData(),
                                       static_cast<int>(text.size()), SQLITE_TRANSIENT);
            }
            if (rc != SQLITE_OK)
                Raise();
        }
        if (sqlite3_step(m_stmt) != SQLITE_DONE)
            Raise();
        sqlite3_reset(m_stmt);
    }
    void Flush() override {}

private:
    [[noreturn]] void Raise()
    {
        const int code = sqlite3_errcode(m_db);
        m_storage.Raise(
            SqliteFailure(code),
            u"gravar dados: %1 [%2]"_s.arg(QString::fromUtf8(sqlite3_errmsg(m_db))).arg(code));
    }
    const TStorage& m_storage;
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

class TSqliteStorage final : public TStorage
{
public:
    TSqliteStorage(QSqlDatabase db, bool readOnly)
        : TStorage(TDatabaseSpec::Kind::Sqlite, std::move(db))
    {
        if (!readOnly)
            ExecDirect(u"PRAGMA journal_mode=WAL"_s);
        ExecDirect(u"PRAGMA synchronous=FULL"_s);
        ExecDirect(u"PRAGMA foreign_keys=ON"_s);
        // Reads straight from the mapped file, and a page cache that holds
        // the indexes of a busy month.
        ExecDirect(u"PRAGMA mmap_size=1073741824"_s);
        ExecDirect(u"PRAGMA cache_size=-32768"_s);
    }

    QString JsonStrings() const override { return u"SELECT value FROM json_each(?)"_s; }
    QString JsonPairs() const override
    {
        return u"SELECT json_extract(value, '$[0]') AS A, json_extract(value, '$[1]') "
               "AS B FROM json_each(?)"_s;
    }
    QString ForUpdate(const QString&) const override { return QString(); }
    QString ForShare() const override { return QString(); }
    QString Unindexed(const QString& column) const override { return u'+' + column; }
    QString ThroughIndex(const QString& index) const override { return u" INDEXED BY "_s + index; }
    // Takes the write lock at once, so that two writers never both read
    // and then collide when upgrading.
    void BeginWrite() override { ExecDirect(u"BEGIN IMMEDIATE"_s); }
    // BEGIN IMMEDIATE already excludes every other writer.
    void LockGeneration() override {}
    void BeginBulkLoad() override { ExecDirect(u"PRAGMA synchronous=OFF"_s); }
    std::unique_ptr<TBulkWriter> BulkWriter(const QString& table,
                                            const QStringList& columns) override
    {
        sqlite3* handle = SqliteHandle(m_db);
        if (!handle)
            return TStorage::BulkWriter(table, columns);
        return std::make_unique<TSqliteWriter>(*this, handle, table, columns);
    }
    // SQLite keeps writing into a file unlinked under it, and every
    // acknowledgement would be lost with it; the check is one stat().
    void CheckFile() override
    {
        sqlite3* handle = SqliteHandle(m_db);
        int moved = 0;
        if (!handle ||
            sqlite3_file_control(handle, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK ||
            !moved)
            return;
        const QString incident = NewIncidentId();
        LogIncident(incident, u"o arquivo %1 foi removido ou substituído; a conexão será "
                              "reaberta"_s.arg(m_db.databaseName()));
        m_broken = true;
        throw EStorageError(u"O arquivo do banco de dados foi removido ou substituído; nada foi "
                            "feito. Avise o administrador (ocorrência %1)."_s.arg(incident),
                            incident);
    }
    void EndBulkLoad() override
    {
        ExecDirect(u"PRAGMA synchronous=FULL"_s);
        ExecDirect(u"PRAGMA wal_checkpoint(TRUNCATE)"_s);
    }
    std::unique_ptr<TRowSource> Rows(const TQueryText& query) override;
    ~TSqliteStorage() override
    {
        // Before the driver closes the connection.
        for (sqlite3_stmt* statement : std::as_const(m_statements))
            sqlite3_finalize(statement);
    }

    // The next row of a statement Select gave: false after the last, when
    // the statement is reset; throws EStorageError, after a reset.
    bool Next(sqlite3_stmt* statement, const QString& sql);

private:
    // The statement of this text, prepared once per connection, with the
    // values bound as the driver binds them, before its first row; nullptr
    // when the driver gives no handle.
    sqlite3_stmt* Select(const QString& sql, const QVariantList& values);
    sqlite3_stmt* Statement(sqlite3* handle, const QString& sql);
    QHash<QString, sqlite3_stmt*> m_statements;
};

// Binds a value as the QtSql driver binds it, so that both paths compare
// alike.
int BindSqlite(sqlite3_stmt* statement, int index, const QVariant& v)
{
    if (v.isNull())
        return sqlite3_bind_null(statement, index);
    switch (v.userType()) {
    case QMetaType::Int:
    case QMetaType::Bool:
        return sqlite3_bind_int(statement, index, v.toInt());
    case QMetaType::Double:
        return sqlite3_bind_double(statement, index, v.toDouble());
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(statement, index, v.toLongLong());
    default: {
        const QByteArray text = v.toString().toUtf8();
        return sqlite3_bind_text(statement, index, text.constData(), static_cast<int>(text.size()),
                                 SQLITE_TRANSIENT);
    }
    }
}

sqlite3_stmt* TSqliteStorage::Statement(sqlite3* handle, const QString& sql)
{
    if (sqlite3_stmt* statement = m_statements.value(sql))
        return statement;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(handle, text.constData(), static_cast<int>(text.size()), &statement,
                           nullptr) != SQLITE_OK) {
        const int code = sqlite3_extended_errcode(handle);
        Raise(SqliteFailure(code), u"preparar \"%1\": %2 [%3]"_s.arg(sql.simplified().left(300))
                                       .arg(QString::fromUtf8(sqlite3_errmsg(handle)))
                                       .arg(code));
    }
    m_statements.insert(sql, statement);
    return statement;
}

sqlite3_stmt* TSqliteStorage::Select(const QString& sql, const QVariantList& values)
{
    sqlite3* handle = SqliteHandle(m_db);
    if (!handle)
        return nullptr;
    sqlite3_stmt* statement = Statement(handle, sql);
    sqlite3_reset(statement);
    for (int i = 0; i < values.size(); ++i) {
        if (BindSqlite(statement, i + 1, values[i]) != SQLITE_OK) {
            const int code = sqlite3_extended_errcode(handle);
            Raise(SqliteFailure(code), u"associar \"%1\": %2 [%3]"_s.arg(sql.simplified().left(300))
                                           .arg(QString::fromUtf8(sqlite3_errmsg(handle)))
                                           .arg(code));
        }
    }
    return statement;
}

// What the QtSql driver makes of a column (see its fetch of a row).
QVariant SqliteVariant(sqlite3_stmt* statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    default:
        return QString(reinterpret_cast<const QChar*>(sqlite3_column_text16(statement, column)),
                       sqlite3_column_bytes16(statement, column) / static_cast<int>(sizeof(QChar)));
    }
}

std::string_view TextOf(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return {text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))};
}

// A read's rows through SQLite's statement API: each cell written from the
// engine's own value, without a QVariant or a QString on its way. A read
// stopped early (an exception) resets its statement, so that no read stays
// open.
class TSqliteRows final : public TRowSource
{
public:
    TSqliteRows(TSqliteStorage& storage, sqlite3_stmt* statement, const QString& sql)
        : m_storage(storage), m_statement(statement), m_sql(sql)
    {}
    ~TSqliteRows() override
    {
        if (m_open)
            sqlite3_reset(m_statement);
    }
    bool Next() override
    {
        m_open = m_open && m_storage.Next(m_statement, m_sql);
        return m_open;
    }
    void AppendCell(QByteArray& out, int column, const TFieldDef& def) const override
    {
        const int type = sqlite3_column_type(m_statement, column);
        if (type == SQLITE_NULL) {
            out += "null";
            return;
        }
        if (def.DataType != TFieldType::ftString &&
            (type == SQLITE_INTEGER || type == SQLITE_FLOAT)) {
            AppendJsonValue(out, Value::FromNumber(sqlite3_column_double(m_statement, column)));
            return;
        }
        std::string_view cut;
        if (def.DataType == TFieldType::ftString && type == SQLITE_TEXT &&
            CutUtf8(TextOf(m_statement, column), def.Size, cut)) {
            AppendJsonString(out, cut);
            return;
        }
        AppendJsonValue(out, CellOf(Variant(column), def));
    }
    std::string_view Utf8(int column, QByteArray& scratch) const override
    {
        std::string_view text;
        if (Text(column, text))
            return text;
        scratch = Variant(column).toString().toUtf8();
        return {scratch.constData(), static_cast<std::size_t>(scratch.size())};
    }
    QVariant Variant(int column) const override { return SqliteVariant(m_statement, column); }
    bool IsNull(int column) const override
    {
        return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
    }
    bool Number(int column, double& value) const override
    {
        const int type = sqlite3_column_type(m_statement, column);
        if (type != SQLITE_INTEGER && type != SQLITE_FLOAT)
            return false;
        value = sqlite3_column_double(m_statement, column);
        return true;
    }
    bool Text(int column, std::string_view& text) const override
    {
        if (sqlite3_column_type(m_statement, column) != SQLITE_TEXT)
            return false;
        const std::string_view whole = TextOf(m_statement, column);
        return CutUtf8(whole, static_cast<int>(whole.size()) * 2, text);
    }

private:
    TSqliteStorage& m_storage;
    sqlite3_stmt* m_statement;
    const QString& m_sql;
    bool m_open = true;
};

} // namespace

std::unique_ptr<TRowSource> TSqliteStorage::Rows(const TQueryText& query)
{
    sqlite3_stmt* statement = Select(query.Sql, query.Values);
    if (!statement)
        return TStorage::Rows(query);
    return std::make_unique<TSqliteRows>(*this, statement, query.Sql);
}

bool TSqliteStorage::Next(sqlite3_stmt* statement, const QString& sql)
{
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW)
        return true;
    sqlite3_reset(statement);
    if (rc == SQLITE_DONE)
        return false;
    sqlite3* handle = sqlite3_db_handle(statement);
    Raise(SqliteFailure(rc), u"executar \"%1\": %2 [%3]"_s.arg(sql.simplified().left(300))
                                 .arg(QString::fromUtf8(sqlite3_errmsg(handle)))
                                 .arg(rc));
}

std::unique_ptr<TStorage> NewSqliteStorage(QSqlDatabase db, bool readOnly)
{
    return std::make_unique<TSqliteStorage>(std::move(db), readOnly);
}

} // namespace aph

#include "host/data/packetcodec.h"
#include "host/data/utf8.h"
#include "server/storage/engines.h"
#include "server/storage/pgrows.h"
#include "server/storage/rowsource.h"
#include "server/storage/storage.h"

#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace aph {

// The kind of a failure by PostgreSQL's SQLSTATE.
TStorage::TFailure PostgresFailure(const QString& state)
{
    using F = TStorage::TFailure;
    if (state == u"40001" || state == u"40P01" || state == u"55P03")
        return F::Busy;
    if (state == u"53100")
        return F::Full;
    if (state.startsWith(u"23"))
        return F::Constraint;
    if (state.startsWith(u"08") || state.startsWith(u"57P"))
        return F::Lost;
    return F::Other;
}

namespace {

// Rows into a table through COPY, as psql's \copy sends them: the text
// format, a line per row. Each megabyte of rows is one COPY of its own, so
// that several writers, and queries, may take turns on the connection.
class TPgCopyWriter final : public TStorage::TBulkWriter
{
public:
    TPgCopyWriter(const TStorage& storage, PGconn* connection, const QString& table,
                  const QStringList& columns)
        : m_storage(storage), m_connection(connection),
          m_sql(u"COPY %1 (%2) FROM STDIN"_s.arg(table, columns.join(u", ")).toUtf8())
    {}
    void Add(const QVariantList& row) override
    {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i)
                m_buffer += '\t';
            Append(row[i]);
        }
        m_buffer += '\n';
        if (m_buffer.size() >= kChunk)
            Send();
    }
    void Flush() override { Send(); }

private:
    static constexpr qsizetype kChunk = 1 << 20;

    void Append(const QVariant& v)
    {
        if (v.isNull()) {
            m_buffer += "\\N";
            return;
        }
        switch (v.userType()) {
        case QMetaType::Double:
            m_buffer += QByteArray::number(v.toDouble(), 'g', 17);
            return;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            m_buffer += QByteArray::number(v.toLongLong());
            return;
        default:
            break;
        }
        for (const char c : v.toString().toUtf8()) {
            switch (c) {
            case '\\':
                m_buffer += "\\\\";
                break;
            case '\t':
                m_buffer += "\\t";
                break;
            case '\n':
                m_buffer += "\\n";
                break;
            case '\r':
                m_buffer += "\\r";
                break;
            default:
                m_buffer += c;
            }
        }
    }
    void Send()
    {
        if (m_buffer.isEmpty())
            return;
        PGresult* result = PQexec(m_connection, m_sql.constData());
        const bool started = PQresultStatus(result) == PGRES_COPY_IN;
        Check(result, started);
        const bool sent = PQputCopyData(m_connection, m_buffer.constData(),
                                        static_cast<int>(m_buffer.size())) == 1 &&
                          PQputCopyEnd(m_connection, nullptr) == 1;
        m_buffer.clear();
        if (!sent)
            m_storage.Raise(TStorage::TFailure::Lost,
                            u"COPY: %1"_s.arg(QString::fromUtf8(PQerrorMessage(m_connection))));
        while (PGresult* end = PQgetResult(m_connection))
            Check(end, PQresultStatus(end) == PGRES_COMMAND_OK);
    }
    // Clears the result; raises its failure, as every query's, unless ok.
    void Check(PGresult* result, bool ok) const
    {
        const QString detail = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
        const QString state = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        PQclear(result);
        if (!ok) {
            while (PGresult* rest = PQgetResult(m_connection))
                PQclear(rest);
            m_storage.Raise(PostgresFailure(state), u"COPY: %1"_s.arg(detail));
        }
    }

    const TStorage& m_storage;
    PGconn* m_connection;
    QByteArray m_sql;
    QByteArray m_buffer;
};

constexpr int kGenerationLockKey = 31500;
// The next number: one lock per kind of work.
constexpr int kDataLoadLockKey = 31501;

class TPostgresStorage final : public TStorage
{
public:
    explicit TPostgresStorage(QSqlDatabase db)
        : TStorage(TDatabaseSpec::Kind::Postgres, std::move(db))
    {
        ExecDirect(u"SET client_min_messages TO WARNING"_s);
    }

    QString JsonStrings() const override
    {
        return u"SELECT json_array_elements_text(CAST(? AS json))"_s;
    }
    QString JsonPairs() const override
    {
        return u"SELECT X->>0 AS A, X->>1 AS B FROM json_array_elements(CAST(? AS "
               "json)) AS X"_s;
    }
    QString ForUpdate(const QString& table) const override { return u" FOR UPDATE OF "_s + table; }
    bool LocksRows() const override { return true; }
    QString ForShare() const override { return u" FOR SHARE"_s; }
    void BeginWrite() override { ExecDirect(u"BEGIN"_s); }
    // One lock for the whole database, held to the end of the transaction:
    // two servers generating at once take turns. The key is the module's
    // number, which no other user of an advisory lock on the database is
    // expected to take.
    void LockGeneration() override
    {
        Exec(u"SELECT pg_advisory_xact_lock(%1)"_s.arg(kGenerationLockKey));
    }
    void LockDataLoad() override
    {
        Exec(u"SELECT pg_advisory_xact_lock(%1)"_s.arg(kDataLoadLockKey));
    }
    QStringList ConnectedApplications(const QString& prefix) override
    {
        // The prefix is taken as it is: its own % and _ match only themselves.
        QString pattern = prefix;
        pattern.replace(u"\\"_s, u"\\\\"_s).replace(u"%"_s, u"\\%"_s).replace(u"_"_s, u"\\_"_s);
        QSqlQuery& q = Select(u"SELECT DISTINCT application_name FROM pg_stat_activity WHERE "
                              "application_name LIKE ? AND datname = current_database() "
                              "ORDER BY 1"_s,
                              {QString(pattern + u'%')});
        QStringList names;
        while (q.next())
            names << q.value(0).toString();
        Done(q);
        return names;
    }
    void BeginBulkLoad() override { ExecDirect(u"SET synchronous_commit TO OFF"_s); }
    std::unique_ptr<TRowSource> Rows(const TQueryText& query) override;
    std::unique_ptr<TBulkWriter> BulkWriter(const QString& table,
                                            const QStringList& columns) override
    {
        PGconn* connection = PgConnection(m_db);
        if (!connection)
            return TStorage::BulkWriter(table, columns);
        return std::make_unique<TPgCopyWriter>(*this, connection, table, columns);
    }
    void EndBulkLoad() override { ExecDirect(u"SET synchronous_commit TO ON"_s); }

private:
    // The statements the reads prepared through libpq on this connection,
    // by their SQL.
    TPgRows::TPrepared m_directStatements;
};

// A read's rows through libpq (see TPgRows): UTF-8 text and numbers go into
// the reply as the SQLite cells do, the rest as QtSql would give it.
class TPostgresRows final : public TRowSource
{
public:
    explicit TPostgresRows(std::unique_ptr<TPgRows> rows) : m_rows(std::move(rows)) {}
    bool Next() override { return m_rows->Next(); }
    void AppendCell(QByteArray& out, int column, const TFieldDef& def) const override
    {
        if (m_rows->IsNull(column)) {
            out += "null";
            return;
        }
        const TPgRows::TKind kind = m_rows->Kind(column);
        if (def.DataType != TFieldType::ftString && kind != TPgRows::TKind::Text) {
            AppendJsonValue(out, Value::FromNumber(m_rows->Variant(column).toDouble()));
            return;
        }
        std::string_view cut;
        if (def.DataType == TFieldType::ftString && kind == TPgRows::TKind::Text &&
            CutUtf8(m_rows->Text(column), def.Size, cut)) {
            AppendJsonString(out, cut);
            return;
        }
        AppendJsonValue(out, CellOf(m_rows->Variant(column), def));
    }
    std::string_view Utf8(int column, QByteArray& scratch) const override
    {
        std::string_view text;
        if (!m_rows->IsNull(column) && m_rows->Kind(column) == TPgRows::TKind::Text &&
            CutUtf8(m_rows->Text(column), static_cast<int>(m_rows->Text(column).size()) * 2, text))
            return text;
        scratch = Variant(column).toString().toUtf8();
        return {scratch.constData(), static_cast<std::size_t>(scratch.size())};
    }
    QVariant Variant(int column) const override { return m_rows->Variant(column); }
    bool IsNull(int column) const override { return m_rows->IsNull(column); }

private:
    std::unique_ptr<TPgRows> m_rows;
};

} // namespace

std::unique_ptr<TRowSource> TPostgresStorage::Rows(const TQueryText& query)
{
    auto rows = std::make_unique<TPgRows>(m_db, m_directStatements, query.Sql, query.Values);
    if (!rows->Ok())
        return TStorage::Rows(query);
    return std::make_unique<TPostgresRows>(std::move(rows));
}

std::unique_ptr<TStorage> NewPostgresStorage(QSqlDatabase db)
{
    return std::make_unique<TPostgresStorage>(std::move(db));
}

} // namespace aph

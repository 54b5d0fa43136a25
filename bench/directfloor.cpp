#include "directfloor.h"

#include "host/data/exceptions.h"
#include "server/storage/storage.h"

#include <QHash>

#include <libpq-fe.h>
#include <sqlite3.h>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Keeps the optimiser from dropping the reads.
volatile std::size_t g_sink = 0;

class TSqliteFloor final : public TDirectFloor
{
public:
    explicit TSqliteFloor(const QString& path)
    {
        const QByteArray file = path.toUtf8();
        if (sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            Fail("abrir");
        // The server's own connection settings (see TSqliteStorage).
        sqlite3_exec(m_db, "PRAGMA mmap_size=1073741824", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "PRAGMA cache_size=-32768", nullptr, nullptr, nullptr);
        sqlite3_busy_timeout(m_db, 10000);
    }
    ~TSqliteFloor() override
    {
        for (sqlite3_stmt* stmt : std::as_const(m_statements))
            sqlite3_finalize(stmt);
        sqlite3_close(m_db);
    }

    void Run(const TQueryText& query) override
    {
        if (query.MatchesNothing)
            return;
        sqlite3_stmt* stmt = Statement(query.Sql);
        for (int i = 0; i < query.Values.size(); ++i)
            Bind(stmt, i + 1, query.Values[i]);
        const int columns = sqlite3_column_count(stmt);
        std::size_t sink = 0;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_NULL:
                    ++sink;
                    break;
                case SQLITE_INTEGER:
                case SQLITE_FLOAT:
                    sink += static_cast<std::size_t>(sqlite3_column_double(stmt, c));
                    break;
                default:
                    sink += reinterpret_cast<std::size_t>(sqlite3_column_text(stmt, c)) & 1;
                    sink += static_cast<std::size_t>(sqlite3_column_bytes(stmt, c));
                }
            }
        }
        sqlite3_reset(stmt);
        if (rc != SQLITE_DONE)
            Fail("ler");
        g_sink = g_sink + sink;
    }

private:
    sqlite3_stmt* Statement(const QString& sql)
    {
        if (sqlite3_stmt* stmt = m_statements.value(sql))
            return stmt;
        const QByteArray text = sql.toUtf8();
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, text.constData(), static_cast<int>(text.size()), &stmt,
                               nullptr) != SQLITE_OK)
            Fail("preparar");
        m_statements.insert(sql, stmt);
        return stmt;
    }
    void Bind(sqlite3_stmt* stmt, int index, const QVariant& v)
    {
        if (v.isNull()) {
            sqlite3_bind_null(stmt, index);
        } else if (v.userType() == QMetaType::Double) {
            sqlite3_bind_double(stmt, index, v.toDouble());
        } else if (v.userType() == QMetaType::Int || v.userType() == QMetaType::LongLong) {
            sqlite3_bind_int64(stmt, index, v.toLongLong());
        } else {
            const QByteArray text = v.toString().toUtf8();
            sqlite3_bind_text(stmt, index, text.constData(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
        }
    }
    [[noreturn]] void Fail(const char* what) const
    {
        throw Exception(u"SQLite, %1: %2"_s.arg(QString::fromLatin1(what),
                                                QString::fromUtf8(sqlite3_errmsg(m_db))));
    }

    sqlite3* m_db = nullptr;
    QHash<QString, sqlite3_stmt*> m_statements;
};

// The text with its "?" numbered as PostgreSQL wants them ($1, $2, ...),
// quoted literals left alone.
QByteArray Numbered(const QString& sql)
{
    const QByteArray text = sql.toUtf8();
    QByteArray out;
    bool quoted = false;
    int n = 0;
    for (const char c : text) {
        if (c == '\'')
            quoted = !quoted;
        if (c == '?' && !quoted)
            out += '$' + QByteArray::number(++n);
        else
            out += c;
    }
    return out;
}

class TPostgresFloor final : public TDirectFloor
{
public:
    explicit TPostgresFloor(const QString& uri)
    {
        m_conn = PQconnectdb(uri.toUtf8().constData());
        if (PQstatus(m_conn) != CONNECTION_OK)
            Fail("conectar");
    }
    ~TPostgresFloor() override { PQfinish(m_conn); }

    void Run(const TQueryText& query) override
    {
        if (query.MatchesNothing)
            return;
        const std::string& name = Statement(query.Sql);
        std::vector<QByteArray> texts;
        std::vector<const char*> values;
        texts.reserve(static_cast<std::size_t>(query.Values.size()));
        for (const QVariant& v : query.Values) {
            if (v.isNull()) {
                values.push_back(nullptr);
                continue;
            }
            texts.push_back(v.userType() == QMetaType::Double
                                ? QByteArray::number(v.toDouble(), 'g', 17)
                                : v.toString().toUtf8());
            values.push_back(texts.back().constData());
        }
        PGresult* res = PQexecPrepared(m_conn, name.c_str(), static_cast<int>(values.size()),
                                       values.data(), nullptr, nullptr, 0);
        if (PQresultStatus(res) != PGRES_TUPLES_OK) {
            PQclear(res);
            Fail("ler");
        }
        std::size_t sink = 0;
        const int rows = PQntuples(res), columns = PQnfields(res);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                sink += PQgetisnull(res, r, c)
                            ? 1
                            : static_cast<std::size_t>(PQgetlength(res, r, c)) +
                                  (static_cast<unsigned char>(*PQgetvalue(res, r, c)) & 1);
        PQclear(res);
        g_sink = g_sink + sink;
    }

private:
    const std::string& Statement(const QString& sql)
    {
        auto it = m_statements.find(sql);
        if (it != m_statements.end())
            return *it;
        const std::string name = "floor" + std::to_string(m_statements.size() + 1);
        PGresult* res = PQprepare(m_conn, name.c_str(), Numbered(sql).constData(), 0, nullptr);
        const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
        PQclear(res);
        if (!ok)
            Fail("preparar");
        return *m_statements.insert(sql, name);
    }
    [[noreturn]] void Fail(const char* what) const
    {
        throw Exception(u"PostgreSQL, %1: %2"_s.arg(QString::fromLatin1(what),
                                                    QString::fromUtf8(PQerrorMessage(m_conn))));
    }

    PGconn* m_conn = nullptr;
    QHash<QString, std::string> m_statements;
};

} // namespace

std::unique_ptr<TDirectFloor> TDirectFloor::Open(const QString& spec)
{
    const TDatabaseSpec parsed = TDatabaseSpec::Parse(spec);
    if (parsed.Backend == TDatabaseSpec::Kind::Postgres)
        return std::make_unique<TPostgresFloor>(spec);
    return std::make_unique<TSqliteFloor>(parsed.Path);
}

} // namespace aph

#include "server/storage/pgrows.h"

#include "server/common/serverlog.h"

#include <QSqlDriver>

#include <atomic>
#include <cstdlib>
#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Type oids of the columns a read may hold (pg_type).
constexpr Oid kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kFloat4 = 700, kFloat8 = 701,
              kBpchar = 1042, kVarchar = 1043, kNumeric = 1700;

TPgRows::TKind KindOf(Oid type)
{
    switch (type) {
    case kText:
    case kBpchar:
    case kVarchar:
        return TPgRows::TKind::Text;
    case kInt2:
    case kInt4:
    case kInt8:
        return TPgRows::TKind::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return TPgRows::TKind::Real;
    default:
        return TPgRows::TKind::Other;
    }
}

} // namespace

PGconn* PgConnection(QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    // The driver's metatype names the struct behind the typedef.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(handle.constData());
}

namespace {

// A value as text for libpq, as the server parses what QtSql would bind.
QByteArray ParamText(const QVariant& v)
{
    switch (v.userType()) {
    case QMetaType::Double:
        return QByteArray::number(v.toDouble(), 'g', 17);
    case QMetaType::Bool:
        return v.toBool() ? "true" : "false";
    default:
        return v.toString().toUtf8();
    }
}

} // namespace

QByteArray TPgRows::Numbered(const QString& sql)
{
    const QByteArray text = sql.toUtf8();
    QByteArray out;
    out.reserve(text.size() + 32);
    bool quoted = false;
    int n = 0;
    for (const char c : text) {
        if (c == '\'')
            quoted = !quoted;
        if (c == '?' && !quoted) {
            out += '$';
            out += QByteArray::number(++n);
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// The name of the statement prepared for the SQL on this connection,
// preparing it the first time; empty when it cannot be.
QByteArray PreparedName(PGconn* connection, TPgRows::TPrepared& prepared, const QString& sql,
                        int params)
{
    const auto found = prepared.constFind(sql);
    if (found != prepared.constEnd())
        return *found;
    const QByteArray name = "aph_leitura_" + QByteArray::number(prepared.size() + 1);
    PGresult* result = PQprepare(connection, name.constData(), TPgRows::Numbered(sql).constData(),
                                 params, nullptr);
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok)
        LogLine(TLogLevel::Warning, u"leitura direta não preparada, feita pelo driver: %1"_s.arg(
                                        QString::fromUtf8(PQresultErrorMessage(result)).trimmed()));
    PQclear(result);
    if (!ok)
        return {};
    prepared.insert(sql, name);
    return name;
}

} // namespace

TPgRows::TPgRows(QSqlDatabase& db, TPrepared& prepared, const QString& sql,
                 const QVariantList& values)
{
    PGconn* connection = PgConnection(db);
    if (!connection) {
        // Said once: every read goes through QtSql from then on.
        static std::atomic<bool> told{false};
        if (!told.exchange(true))
            LogLine(
                TLogLevel::Warning,
                u"leitura direta indisponível: o driver não deu a conexão (%1); as leituras "
                "seguem pelo QtSql"_s.arg(QString::fromLatin1(db.driver()->handle().typeName())));
        return;
    }
    const QByteArray name =
        PreparedName(connection, prepared, sql, static_cast<int>(values.size()));
    if (name.isEmpty())
        return;
    std::vector<QByteArray> texts;
    std::vector<const char*> params;
    texts.reserve(static_cast<std::size_t>(values.size()));
    for (const QVariant& v : values) {
        texts.push_back(v.isNull() ? QByteArray() : ParamText(v));
        params.push_back(v.isNull() ? nullptr : texts.back().constData());
    }
    PGresult* result = PQexecPrepared(connection, name.constData(), static_cast<int>(params.size()),
                                      params.data(), nullptr, nullptr, 0);
    if (PQresultStatus(result) != PGRES_TUPLES_OK) {
        LogLine(TLogLevel::Warning, u"leitura direta recusada, refeita pelo driver: %1"_s.arg(
                                        QString::fromUtf8(PQresultErrorMessage(result)).trimmed()));
        PQclear(result);
        return;
    }
    const int columns = PQnfields(result);
    m_kinds.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        m_kinds.push_back(KindOf(PQftype(result, c)));
        if (m_kinds.back() == TKind::Other) {
            PQclear(result);
            return;
        }
    }
    m_result = result;
    m_rows = PQntuples(result);
}

TPgRows::~TPgRows()
{
    if (m_result)
        PQclear(m_result);
}

bool TPgRows::IsNull(int column) const
{
    return PQgetisnull(m_result, m_row, column) != 0;
}

std::string_view TPgRows::Text(int column) const
{
    return {PQgetvalue(m_result, m_row, column),
            static_cast<std::size_t>(PQgetlength(m_result, m_row, column))};
}

QVariant TPgRows::Variant(int column) const
{
    if (IsNull(column))
        return QVariant();
    const char* text = PQgetvalue(m_result, m_row, column);
    switch (Kind(column)) {
    case TKind::Integer:
        if (PQftype(m_result, column) == kInt8)
            return QVariant(static_cast<qlonglong>(std::strtoll(text, nullptr, 10)));
        return QVariant(static_cast<int>(std::strtol(text, nullptr, 10)));
    case TKind::Real:
        return QVariant(std::strtod(text, nullptr));
    default:
        return QVariant(QString::fromUtf8(text, PQgetlength(m_result, m_row, column)));
    }
}

} // namespace aph

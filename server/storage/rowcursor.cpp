#include "server/storage/rowcursor.h"

#include "host/data/packetcodec.h"
#include "server/storage/storage.h"

#include <QSqlQuery>

#include <sqlite3.h>

namespace aph {

bool CutUtf8(std::string_view text, int units, std::string_view& cut)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    int count = 0;
    while (i < n) {
        const unsigned char c = p[i];
        std::size_t len = 1;
        char32_t cp = c;
        if (c >= 0x80) {
            if (c >= 0xC2 && c < 0xE0)
                len = 2, cp = c & 0x1F;
            else if (c >= 0xE0 && c < 0xF0)
                len = 3, cp = c & 0x0F;
            else if (c >= 0xF0 && c < 0xF5)
                len = 4, cp = c & 0x07;
            else
                return false;
            if (i + len > n)
                return false;
            for (std::size_t k = 1; k < len; ++k) {
                if ((p[i + k] & 0xC0) != 0x80)
                    return false;
                cp = (cp << 6) | (p[i + k] & 0x3F);
            }
            if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
                return false;
        }
        const int width = len == 4 ? 2 : 1;
        if (count + width > units) {
            if (count < units)
                return false;
            break;
        }
        count += width;
        i += len;
    }
    cut = text.substr(0, i);
    return true;
}

namespace {

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

std::string_view View(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

} // namespace

Value CellOf(const QVariant& v, const TFieldDef& def)
{
    if (v.isNull())
        return {};
    if (def.DataType == TFieldType::ftString)
        return Value::FromString(v.toString().left(def.Size));
    return Value::FromNumber(v.toDouble());
}

TRowCursor::TRowCursor(TStorage& storage, const TQueryText& query)
    : m_storage(storage), m_sql(query.Sql)
{
    m_statement = storage.SqliteSelect(query.Sql, query.Values);
    if (!m_statement && storage.IsPostgres()) {
        m_pg = std::make_unique<TPgRows>(storage.Database(), storage.DirectStatements(), query.Sql,
                                         query.Values);
        if (!m_pg->Ok())
            m_pg.reset();
    }
    if (!m_statement && !m_pg)
        m_query = &storage.Select(query.Sql, query.Values);
}

TRowCursor::~TRowCursor()
{
    if (m_statement && m_open)
        sqlite3_reset(m_statement);
    if (m_query)
        TStorage::Done(*m_query);
}

bool TRowCursor::Next()
{
    if (m_query)
        return m_query->next();
    if (m_pg)
        return m_pg->Next();
    m_open = m_open && m_storage.SqliteNext(m_statement, m_sql);
    return m_open;
}

void TRowCursor::AppendCell(QByteArray& out, int column, const TFieldDef& def) const
{
    if (m_query) {
        AppendJsonValue(out, CellOf(m_query->value(column), def));
        return;
    }
    if (m_pg) {
        AppendPgCell(out, column, def);
        return;
    }
    const int type = sqlite3_column_type(m_statement, column);
    if (type == SQLITE_NULL) {
        out += "null";
        return;
    }
    if (def.DataType != TFieldType::ftString && (type == SQLITE_INTEGER || type == SQLITE_FLOAT)) {
        AppendJsonValue(out, Value::FromNumber(sqlite3_column_double(m_statement, column)));
        return;
    }
    std::string_view cut;
    if (def.DataType == TFieldType::ftString && type == SQLITE_TEXT &&
        CutUtf8(TextOf(m_statement, column), def.Size, cut)) {
        AppendJsonString(out, cut);
        return;
    }
    AppendJsonValue(out, CellOf(SqliteVariant(m_statement, column), def));
}

// PostgreSQL sends UTF-8 text and numbers as text: each goes into the
// reply as the SQLite cells do, the rest as QtSql would give it.
void TRowCursor::AppendPgCell(QByteArray& out, int column, const TFieldDef& def) const
{
    if (m_pg->IsNull(column)) {
        out += "null";
        return;
    }
    const TPgRows::TKind kind = m_pg->Kind(column);
    if (def.DataType != TFieldType::ftString && kind != TPgRows::TKind::Text) {
        AppendJsonValue(out, Value::FromNumber(m_pg->Variant(column).toDouble()));
        return;
    }
    std::string_view cut;
    if (def.DataType == TFieldType::ftString && kind == TPgRows::TKind::Text &&
        CutUtf8(m_pg->Text(column), def.Size, cut)) {
        AppendJsonString(out, cut);
        return;
    }
    AppendJsonValue(out, CellOf(m_pg->Variant(column), def));
}

std::string_view TRowCursor::Utf8(int column, QByteArray& scratch) const
{
    std::string_view text;
    if (SqliteText(column, text))
        return text;
    if (m_pg && !m_pg->IsNull(column) && m_pg->Kind(column) == TPgRows::TKind::Text &&
        CutUtf8(m_pg->Text(column), static_cast<int>(m_pg->Text(column).size()) * 2, text))
        return text;
    scratch = Variant(column).toString().toUtf8();
    return View(scratch);
}

QVariant TRowCursor::Variant(int column) const
{
    if (m_pg)
        return m_pg->Variant(column);
    return m_query ? m_query->value(column) : SqliteVariant(m_statement, column);
}

bool TRowCursor::IsSqliteNull(int column) const
{
    return m_statement && sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

bool TRowCursor::SqliteNumber(int column, double& value) const
{
    if (!m_statement)
        return false;
    const int type = sqlite3_column_type(m_statement, column);
    if (type != SQLITE_INTEGER && type != SQLITE_FLOAT)
        return false;
    value = sqlite3_column_double(m_statement, column);
    return true;
}

bool TRowCursor::SqliteText(int column, std::string_view& text) const
{
    if (!m_statement || sqlite3_column_type(m_statement, column) != SQLITE_TEXT)
        return false;
    const std::string_view whole = TextOf(m_statement, column);
    return CutUtf8(whole, static_cast<int>(whole.size()) * 2, text);
}

} // namespace aph

#pragma once

#include "host/data/datapacket.h"
#include "server/storage/pgrows.h"
#include "server/storage/querytext.h"

#include <QByteArray>
#include <QVariant>

#include <memory>
#include <string_view>

class QSqlQuery;
struct sqlite3_stmt;

namespace aph {

class TStorage;

// The first `units` UTF-16 code units of UTF-8 text, as QString::left
// cuts them. False when the text is not strict UTF-8 or the cut would split
// a surrogate pair: such text takes the QString way, whose replacements
// this does not copy.
bool CutUtf8(std::string_view text, int units, std::string_view& cut);

// A cell from a database value, as the reads' packets hold it; strings are
// cut to the field's size so that a row written by other software never
// breaks the packet.
Value CellOf(const QVariant& v, const TFieldDef& def);

// The rows of one read, straight from the engine: on SQLite through its
// statement API, on PostgreSQL through libpq, each cell written as UTF-8
// JSON without a QVariant or a QString on its way; through QtSql where
// neither can (see TPgRows). Either way a cell comes out
// as EncodePacket writes CellOf's value. A read stopped early (an
// exception) is reset, so that no read stays open.
class TRowCursor
{
public:
    // Runs the query, which must be one that can match something.
    TRowCursor(TStorage& storage, const TQueryText& query);
    ~TRowCursor();
    TRowCursor(const TRowCursor&) = delete;
    TRowCursor& operator=(const TRowCursor&) = delete;

    bool Next();
    // The column as a cell of the field, written as JSON.
    void AppendCell(QByteArray& out, int column, const TFieldDef& def) const;
    // The column's text as QVariant::toString gives it, in UTF-8 (null and
    // empty alike); scratch keeps converted text alive.
    std::string_view Utf8(int column, QByteArray& scratch) const;
    // The column as the QtSql driver gives it.
    QVariant Variant(int column) const;
    // SQLite only, for cells built from several columns: whether the
    // column is null, its number (INTEGER or REAL), its text (TEXT in
    // strict UTF-8); false for another type, and on other engines.
    bool IsSqliteNull(int column) const;
    bool SqliteNumber(int column, double& value) const;
    bool SqliteText(int column, std::string_view& text) const;

private:
    void AppendPgCell(QByteArray& out, int column, const TFieldDef& def) const;

    TStorage& m_storage;
    const QString& m_sql;
    sqlite3_stmt* m_statement = nullptr;
    QSqlQuery* m_query = nullptr;
    std::unique_ptr<TPgRows> m_pg; // PostgreSQL: the rows through libpq
    bool m_open = true;
};

} // namespace aph

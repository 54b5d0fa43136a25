#pragma once

#include "host/data/datapacket.h"
#include "pgrows.h"
#include "queries.h"

#include <QByteArray>
#include <QByteArrayView>
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

// A packet's JSON written row by row into the reply itself: the bytes
// before it (the reply's envelope), then exactly what EncodePacket gives
// for the same fields and rows, then the bytes after it. The buffer starts
// at the size the last reply of the same fields on this thread took.
class TPacketWriter
{
public:
    explicit TPacketWriter(QByteArrayView head);

    // The field list; before the first row.
    void Begin(const TFieldDefs& fields);
    void BeginRow();
    // Before every cell but a row's first.
    void Comma() { m_out += ','; }
    void EndRow() { m_out += ']'; }
    QByteArray& Out() { return m_out; }
    qsizetype Rows() const { return m_rows; }
    // The whole reply; Begin must have been called.
    QByteArray Finish(QByteArrayView tail);

private:
    QByteArray m_out;
    const TFieldDefs* m_fields = nullptr;
    qsizetype m_headSize = 0;
    qsizetype m_rows = 0;
};

// Runs a read whose columns are the packet's fields in order and writes
// every row; a query that matches nothing does not run.
void WritePacket(TStorage& storage, const TQueryText& query, const TFieldDefs& fields,
                 TPacketWriter& out);

} // namespace aph

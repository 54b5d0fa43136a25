#pragma once

#include "host/data/datapacket.h"
#include "server/methods/queries.h"
#include "server/storage/rowsource.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QVariant>

namespace aph {

class TStorage;

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

class TRowSource;

// The row source's current row as one packet row, its columns being the
// fields in order.
void WriteRow(TPacketWriter& out, TRowSource& rows, const TFieldDefs& fields);

// Runs a read whose columns are the packet's fields in order and writes
// every row; a query that matches nothing does not run.
void WritePacket(TStorage& storage, const TQueryText& query, const TFieldDefs& fields,
                 TPacketWriter& out);

} // namespace aph

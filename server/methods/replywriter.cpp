#include "server/methods/replywriter.h"

#include "host/data/packetcodec.h"
#include "server/storage/rowsource.h"
#include "server/storage/storage.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The packet up to its first row, per field list, and the size the last
// packet of each took, per thread.
struct TPacketShapes
{
    QHash<const TFieldDefs*, QByteArray> Heads;
    QHash<const TFieldDefs*, qsizetype> LastSizes;
};

TPacketShapes& Shapes()
{
    thread_local TPacketShapes shapes;
    return shapes;
}

} // namespace

TPacketWriter::TPacketWriter(QByteArrayView head) : m_out(head.toByteArray()) {}

void TPacketWriter::Begin(const TFieldDefs& fields)
{
    m_fields = &fields;
    m_headSize = m_out.size();
    TPacketShapes& shapes = Shapes();
    auto head = shapes.Heads.find(&fields);
    if (head == shapes.Heads.end()) {
        TDataPacket empty;
        empty.Fields = fields;
        QByteArray text = EncodePacket(empty);
        text.chop(2); // "]}"
        head = shapes.Heads.insert(&fields, text);
    }
    m_out.reserve(m_headSize + shapes.LastSizes.value(&fields) + 256);
    m_out += *head;
}

void TPacketWriter::BeginRow()
{
    if (m_rows++)
        m_out += ',';
    m_out += '[';
}

QByteArray TPacketWriter::Finish(QByteArrayView tail)
{
    m_out += "]}";
    m_out += tail;
    Shapes().LastSizes.insert(m_fields, m_out.size() - m_headSize);
    return std::move(m_out);
}

void WriteRow(TPacketWriter& out, TRowSource& rows, const TFieldDefs& fields)
{
    out.BeginRow();
    const int count = static_cast<int>(fields.size());
    for (int i = 0; i < count; ++i) {
        if (i)
            out.Comma();
        rows.AppendCell(out.Out(), i, fields[i]);
    }
    out.EndRow();
}

void WritePacket(TStorage& storage, const TQueryText& query, const TFieldDefs& fields,
                 TPacketWriter& out)
{
    out.Begin(fields);
    if (query.MatchesNothing)
        return;
    const std::unique_ptr<TRowSource> rows = storage.Rows(query);
    while (rows->Next())
        WriteRow(out, *rows, fields);
}

} // namespace aph

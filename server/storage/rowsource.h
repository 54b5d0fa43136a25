#pragma once

#include "host/data/datapacket.h"
#include "server/storage/querytext.h"

#include <QByteArray>
#include <QVariant>

#include <string_view>

namespace aph {

// A cell from a database value, as the reads' packets hold it; strings are
// cut to the field's size so that a row written by other software never
// breaks the packet.
Value CellOf(const QVariant& v, const TFieldDef& def);

// The rows of one read, straight from the engine (see TStorage::Rows): on
// SQLite through its statement API, on PostgreSQL through libpq, each cell
// written as UTF-8 JSON without a QVariant or a QString on its way; through
// QtSql where neither can. Whichever way, a cell comes out as EncodePacket
// writes CellOf's value. A read stopped early (an exception) is reset, so
// that no read stays open.
class TRowSource
{
public:
    virtual ~TRowSource() = default;

    virtual bool Next() = 0;
    // The column as a cell of the field, written as JSON.
    virtual void AppendCell(QByteArray& out, int column, const TFieldDef& def) const = 0;
    // The column's text as QVariant::toString gives it, in UTF-8 (null and
    // empty alike); scratch keeps converted text alive.
    virtual std::string_view Utf8(int column, QByteArray& scratch) const = 0;
    // The column as the QtSql driver gives it.
    virtual QVariant Variant(int column) const = 0;

    // For cells built from several columns: whether the column is null;
    // its number (INTEGER or REAL) and its text (in strict UTF-8) where the
    // engine gives them without conversion, false otherwise (the caller
    // then takes Variant).
    virtual bool IsNull(int column) const = 0;
    virtual bool Number(int /*column*/, double& /*value*/) const { return false; }
    virtual bool Text(int /*column*/, std::string_view& /*text*/) const { return false; }
};

} // namespace aph

#pragma once

#include "host/data/value.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace aph {

enum class TFieldType
{
    ftString,
    ftFloat,
    ftDateTime
};

struct TFieldDef
{
    QString Name;
    TFieldType DataType = TFieldType::ftString;
    int Size = 0; // maximum characters of a string field; 0 for the others

    bool operator==(const TFieldDef&) const = default;
};
using TFieldDefs = QList<TFieldDef>;

// One row's values, in field order. Rows are immutable and shared: a copy
// of a dataset or a packet shares them, and an edit replaces the row.
using TRowValues = std::vector<Value>;
using TRow = std::shared_ptr<const TRowValues>;

// A whole table: what a service reply carries and a dataset loads.
struct TDataPacket
{
    TFieldDefs Fields;
    std::vector<TRow> Rows;

    int FieldIndex(const QString& name) const; // case-insensitive; -1 if absent
};

// The change log of a dataset as one packet: one record per changed row.
struct TDeltaRecord
{
    enum class Kind
    {
        Modify,
        Insert,
        Delete
    };
    Kind Op = Kind::Modify;
    TRowValues Original;                    // all fields; empty for an insert
    std::vector<std::pair<int, Value>> New; // changed fields by index; empty for a delete
};

struct TDelta
{
    TFieldDefs Fields;
    std::vector<TDeltaRecord> Records;
};

QString FieldTypeName(TFieldType type);
bool ParseFieldType(const QString& name, TFieldType& type);

// Checks that a packet is well formed: known types, unique non-empty names,
// string sizes set, every row as wide as the field list, each value of its
// field's type and strings within their size, dates in range. Throws
// EDatabaseError naming the fault.
void ValidatePacket(const TDataPacket& packet);
void ValidateDelta(const TDelta& delta);
// Checks one value against its field definition; empty string when it fits,
// otherwise the reason.
QString CheckValue(const TFieldDef& def, const Value& value);

} // namespace aph

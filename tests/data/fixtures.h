#pragma once

#include "host/data/dataset.h"

#include <memory>

namespace aph::test {

// A small dataset shaped like a day of hours: date, hours worked, approval,
// occurrence code and description.
inline TDataPacket DayPacket(std::initializer_list<std::tuple<double, Value, const char*>> rows)
{
    TDataPacket p;
    p.Fields = {{QStringLiteral("DTSERVPREST"), TFieldType::ftDateTime, 0},
                {QStringLiteral("QTHRTRAB"), TFieldType::ftFloat, 0},
                {QStringLiteral("QTHRAPROFATU"), TFieldType::ftFloat, 0},
                {QStringLiteral("CDOCORR"), TFieldType::ftString, 2},
                {QStringLiteral("DSOCORR"), TFieldType::ftString, 40}};
    for (const auto& [date, hours, code] : rows) {
        p.Rows.push_back(std::make_shared<const TRowValues>(
            TRowValues{Value::FromNumber(date), hours, Value(),
                       code ? Value::FromString(QString::fromUtf8(code)) : Value(), Value()}));
    }
    return p;
}

inline void DefineDayFields(TClientDataSet& ds)
{
    ds.AddField(QStringLiteral("DTSERVPREST"), TFieldType::ftDateTime);
    ds.AddField(QStringLiteral("QTHRTRAB"), TFieldType::ftFloat);
    ds.AddField(QStringLiteral("QTHRAPROFATU"), TFieldType::ftFloat);
    ds.AddField(QStringLiteral("CDOCORR"), TFieldType::ftString, 2);
    ds.AddField(QStringLiteral("DSOCORR"), TFieldType::ftString, 40);
}

inline Value H(double hours)
{
    return Value::FromNumber(hours);
}

// 2024-03-01 is a Friday.
constexpr double kMar1 = 45352.0;

} // namespace aph::test

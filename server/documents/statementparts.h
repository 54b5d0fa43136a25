#pragma once

#include <QString>
#include <QStringList>

namespace aph {

// What both versions of the CHT statement write alike.

// "1.234,56": grouped thousands, two decimals.
QString Money(double value);
// One CSV line of a file for people (TCsvPolicy::ForPeople): ";" between
// fields, a would-be formula as text, CRLF at the end.
void CsvRow(QString& out, const QStringList& fields);

} // namespace aph

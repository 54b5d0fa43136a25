#pragma once

#include <QString>

namespace aph {

// One cell of a CSV file the system writes (';' between cells): quoted
// when it holds ';', '"' or a line break, and, when it begins with '=',
// '+', '-', '@', a tab or a carriage return, prefixed with "'" so that a
// spreadsheet shows it as text instead of running it as a formula. A
// number or an hour ("-01:00", "-1.234,56") stays as it is: a number.
QString CsvCell(const QString& text);

} // namespace aph

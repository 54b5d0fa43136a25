#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace aph {

// How a column's values are written in the firm's CSV files, and read back.
enum class TColumnKind
{
    Text,    // as it is; longer than its size is refused
    Day,     // a CSA's day: dd/mm/aaaa or aaaa-mm-dd; stored as the OLE day number
    Moment,  // a date and time: dd/mm/aaaa [hh:mm[:ss]] or aaaa-mm-ddThh:mm:ss[.zzz]
    Number,  // a decimal, comma or dot
    Hours,   // hours: a decimal (comma or dot) or hh:mm[:ss]
    Integer, // a whole number
};

struct TColumn
{
    QString Name;
    TColumnKind Kind = TColumnKind::Text;
    int Size = 0;          // the most characters of a text
    bool Required = false; // NOT NULL
};

// A table of the firm's records as the import and the export see it: its
// columns in the database's order, its key, and whether an import of it
// updates rows by key or only adds them (the history only grows).
struct TFirmTable
{
    QString Name;
    std::vector<TColumn> Columns;
    QStringList Key;
    bool AppendOnly = false;

    const TColumn* Find(const QString& column) const;
};

// The firm's tables, parents before children: what an export writes, one
// CSV each, and an import takes back.
const std::vector<TFirmTable>& FirmTables();
const TFirmTable* FindFirmTable(const QString& name);

// The table a CSV header names: every title is one of its columns (the
// database's names, any case, any order), and every column it requires is
// there; nullptr when none or more than one table fits.
const TFirmTable* TableOfHeader(const QStringList& titles);

// A stored value as the export writes it: empty for null; days and
// moments as ISO dates; numbers in the shortest form that reads back the
// same, with a dot.
QString FormatCell(const TColumn& column, const QVariant& value);
// A field of a CSV as the database stores it: null for an empty field;
// false, with the reason in Portuguese, when the text is no value of the
// column's kind.
bool ParseCell(const TColumn& column, const QString& text, QVariant& value, QString& why);

} // namespace aph

#pragma once

#include "server/storage/tablelist.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace aph {

// A column of the table list as the firm's CSV files see it. How each kind
// is written, and read back:
//   Text     as it is; longer than its size is refused
//   Day      dd/mm/aaaa or aaaa-mm-dd; stored as the OLE day number
//   Moment   dd/mm/aaaa [hh:mm[:ss]] or aaaa-mm-ddThh:mm:ss[.zzz]
//   Number   a decimal (see ParseDecimal)
//   Hours    a decimal (see ParseDecimal) or hh:mm[:ss], from 0 to 24
//   Integer  a whole number
struct TColumn
{
    QString Name;
    TColumnKind Kind = TColumnKind::Text;
    int Size = 0;          // the most characters of a text; 0 for no limit
    bool Required = false; // NOT NULL
    TColumnOwner Owner = TColumnOwner::Firm;
    QStringList Codes; // the only values taken, when they are limited
    TColumnRule Rule = TColumnRule::None;
};

// Columns that must name a row of a parent table; What names that row in
// an import's messages ("o cliente").
struct TReference
{
    QStringList Columns;
    QString Parent;
    QStringList ParentColumns;
    QString What;
};

// A table of the firm's state as the import and the export see it, read
// from the table list (server/storage/tablelist.h): its columns in the
// database's order, its key, its parents, and whether an import of it
// updates rows by key or only adds them (the history only grows).
struct TFirmTable
{
    QString Name;
    std::vector<TColumn> Columns;
    QStringList Key;
    std::vector<TReference> Parents;
    bool AppendOnly = false;

    const TColumn* Find(const QString& column) const;
    // Whether any column holds the firm's own values (not only the
    // system's): a table the firm may write a file of.
    bool HasFirmColumns() const;
};

// A table of the list as QStrings.
TFirmTable FirmTableOf(const TTableSpec& spec);

// The tables of the list an export writes, one CSV each, and an import
// takes back; parents before children.
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
// The text FormatCell gives for a number the engine holds (a day or an
// integer as a whole number), appended to out in UTF-8 without a QString
// on its way; false, with nothing appended, for a value it leaves to
// FormatCell: not of the column's kind, or beyond the range written here
// (years outside 1000 to 9999, whole numbers of 2^53 or more, decimals of
// 10^15 or more).
bool AppendFormattedNumber(QByteArray& out, const TColumn& column, double value);
// A field of a CSV as the database stores it: null for an empty field;
// false, with the reason in Portuguese, when the text is no value of the
// column's kind.
bool ParseCell(const TColumn& column, const QString& text, QVariant& value, QString& why);

// The one reading of a decimal, wherever a file's number is read: digits
// with at most one mark, comma or dot, which is always the decimal mark
// ("1.500" and "1,500" are one and a half); no thousands separator, no
// exponent, no spaces. False for anything else.
bool ParseDecimal(const QString& text, double& value);

// The rules a value read by ParseCell keeps before an import takes it: no
// day before 1900 (the screens and the protocol address none), no
// negative number, text without control, direction or zero-width
// characters, its codes when they are limited. False, with the reason in
// Portuguese, for a value that breaks one.
bool CheckValue(const TColumn& column, const QVariant& value, QString& why);

} // namespace aph

#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace aph {

class TStorage;

// The statement of one CHT: what it bills, day by day, as the approval
// screen shows it. One model, written out as CSV or PDF.
struct TChtStatementLine
{
    QString Date;    // dd/MM/yyyy
    QString Weekday; // "segunda-feira"
    // Hours as the screen writes them ("08:30"); an empty approval shows
    // the hours worked, as in the screen's grid.
    QString Worked, Billed, Commission;
    QString Occurrence;     // "group/code", empty without one
    QString OccurrenceName; // its description
};

struct TChtStatement
{
    QString Number, Status, StatusCaption;
    QString ClientCode, ClientName;
    QString Proposal, Version;
    QString Service, ActivityType, ActivityName;
    QString EmployeeCode, EmployeeName;
    QString Billing; // H by the hour, F fixed value, P package
    double ContractedQuantity = 0, HourValue = 0;
    QString FirstDay, LastDay; // of its CSAs; empty without any
    std::vector<TChtStatementLine> Lines;
    // The totals panel's figures: hours as "hh:mm", the amount rounded to
    // cents and as "R$ 1.234,56".
    QString TotalWorked, TotalBilled, TotalCommission;
    double Amount = 0;
    QString AmountText;
};

// A CHT number as typed: up to five digits, padded with zeros ("12" is
// "00012"); other text stays as it is.
QString ChtNumberArgument(const QString& text);

// Reads the CHT and its CSAs; ERefusal "A CHT 00012 não existe." when
// there is no such CHT.
TChtStatement LoadChtStatement(TStorage& storage, const QString& number);

// UTF-8 with a byte order mark, ";" between fields, decimal commas: the
// header lines, the table of days under its titles, the totals and the
// amount.
QByteArray StatementCsv(const TChtStatement& statement);
// A4 pages: the header, the table of days (its titles on every page), the
// totals and the amount; "Página i de n" at the foot.
QByteArray StatementPdf(const TChtStatement& statement);

// A statement as a file to hand over: "CHT-00012.pdf", its media type and
// its bytes. format is "pdf" or "csv"; anything else is EInvalidArgument.
struct TStatementFile
{
    QString Name, Type;
    QByteArray Data;
};
TStatementFile StatementFile(TStorage& storage, const QString& number, const QString& format);

} // namespace aph

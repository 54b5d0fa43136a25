#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace aph {

class TStorage;

// The statement of one CHT: what it bills, day by day, as the approval
// screen shows it. One model, written out as CSV or PDF. A day keeps its
// values; the documents write their texts (TDayTexts in statementparts.h),
// so that a statement of many days makes no string per value.
struct TChtStatementLine
{
    double Day = 0; // OLE day
    // An empty approval shows the hours worked, as in the screen's grid.
    double Worked = 0, Billed = 0, Commission = 0;
    // The billed hours as the totals count them (an empty approval is 0):
    // the client's version prints these, so that its lines add up to its
    // total.
    double Charged = 0;
    QString Occurrence;     // "group/code", empty without one
    QString OccurrenceName; // its description
};

struct TChtStatement
{
    QString Number, Status, StatusCaption;
    QString ClientCode, ClientName;
    QString Proposal, Version; // the firm's key of the proposal
    QString ProposalNumber;    // NRPROPOSTA, as the client knows it
    QString Service, ActivityType, ActivityName;
    QString EmployeeCode, EmployeeName;
    QString Billing; // H by the hour, F fixed value, P package
    // HourValue is the hour value to bill (VRDEHORACLIE), the one the
    // amount is made of; ContractHourValue the contract's (VRHORACLIE).
    double ContractedQuantity = 0, HourValue = 0, ContractHourValue = 0;
    QString FirstDay, LastDay; // of its CSAs; empty without any
    std::vector<TChtStatementLine> Lines;
    // The totals panel's figures: hours as "hh:mm", the amount rounded to
    // cents and as "R$ 1.234,56".
    QString TotalWorked, TotalBilled, TotalCommission;
    double Amount = 0;
    QString AmountText;
    // The hours the amount is made of (TChtTotals::BasisHours), times
    // HourValue.
    double BasisHours = 0;
    // The invoice it was billed on (NRNOTAFISCAL) and the day of that
    // step (dd/mm/yyyy); empty while it is not billed.
    QString Invoice, InvoiceDate;
    // Not approved yet (pending, or not to bill): the client's version is
    // a preview, marked so on every page and in its file's name.
    bool IsPreview() const { return Status != u"A" && Status != u"R"; }

    // What the client's version adds. The client's legal name (its trade
    // name when it has none) and its CNPJ or CPF with punctuation.
    QString ClientLegalName, ClientDocumentKind, ClientDocument;
    QString IssuerName, IssuerCnpj; // formatted; empty until set
    QString IssueDate;              // dd/mm/yyyy, the day it was made
    // The client's header line that says who approved the CHT and when,
    // whole ("Aprovada por NOME em DATA"), printed as it is below the other
    // header lines, once approvals record them; empty today, and then the
    // header has no such line.
    QString ApprovedBy;
    // "Aceita por NOME (EMAIL) em DATA", once the client accepted the CHT
    // through its link (and no reopen ended it); empty otherwise. Both
    // versions print it below the approval.
    QString AcceptedBy;
};

// The statement the firm keeps (every column, occurrences, the CHT's
// situation) and the one it hands to the client (the issuer, the billed
// hours and how the amount is made up; nothing internal).
enum class TStatementVersion
{
    Client,
    Internal
};

// "cliente" or "interno"; anything else is EInvalidArgument.
TStatementVersion StatementVersionArgument(const QString& text);

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

// The client's version, in the same two formats: the issuer, the client,
// the proposal by its number, the service, the period, the contracted
// quantity, the hour value (the contract's beside it where they differ),
// the invoice once billed and the issue date; one line per day with its
// billed hours; the total, a package's hours against its contracted
// quantity, the basis of the amount ("60:00 = 60,00 h contratadas × R$
// 250,00" at a fixed value) and the amount; page numbers in the PDF, and
// "Prévia — CHT ainda não aprovada" on every page of a preview.
QByteArray ClientStatementCsv(const TChtStatement& statement);
QByteArray ClientStatementPdf(const TChtStatement& statement);
// The basis of the amount, the product it is made of: the contracted
// quantity at a fixed value, the billed hours otherwise, as hh:mm and as
// decimal hours, times the hour value to bill.
QString AmountBasis(const TChtStatement& statement);
// The mark of a preview.
QString PreviewMark();
// The client's header as both formats print it, for a page to show the
// same: a label (empty for a line of its own, the approval's and the
// acceptance's), the values joined, and what follows in small print.
struct TClientHeaderLine
{
    QString Label, Value, Small;
};
std::vector<TClientHeaderLine> ClientHeaderLines(const TChtStatement& statement);
// A package's contracted hours against the billed ones; empty for the
// other ways of charging.
QString ClientPackageText(const TChtStatement& statement);

// A statement as a file to hand over: "CHT-00012.pdf" (the client's
// version "CHT-00012-cliente.pdf", "CHT-00012-cliente-previa.pdf" while
// the CHT is not approved), its media type and its bytes. format
// is "pdf" or "csv"; anything else is EInvalidArgument. The client's
// version is refused (ERefusal) while the issuer is not set.
struct TStatementFile
{
    QString Name, Type;
    QByteArray Data;
};
TStatementFile StatementFile(TStorage& storage, const QString& number, const QString& format,
                             TStatementVersion version = TStatementVersion::Internal);

} // namespace aph

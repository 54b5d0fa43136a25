// The CHT statement handed to the client: who bills whom, what and how the
// amount is made up; nothing of the firm's own (commission hours,
// occurrences, the CHT's situation, internal codes) but the proposal's key
// in small print.
#include "host/data/csvwriter.h"
#include "host/data/formatsettings.h"
#include "host/data/hourtext.h"
#include "server/common/clock.h"
#include "server/documents/pdfwriter.h"
#include "server/documents/statement.h"
#include "server/documents/statementparts.h"
#include "service/codewords.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// One line of the header: its label, its values (joined by " - " in the
// PDF, a cell each in the CSV) and what follows in small print.
struct THeaderRow
{
    QString Label;
    QStringList Values;
    QString Small;
};

// "R$ 175,50", or where the contract's hour value differs from the one
// billed, both and the difference in words.
QString HourValueText(const TChtStatement& s)
{
    const double billed = RoundDec(s.HourValue, 2), contract = RoundDec(s.ContractHourValue, 2);
    // A contract without an hour value (a package's, often) has nothing
    // to compare.
    if (billed == contract || contract == 0)
        return u"R$ "_s + Money(billed);
    const double difference = RoundDec(std::abs(billed - contract), 2);
    return u"valor contratual R$ %1; valor faturado R$ %2 (R$ %3 %4 por hora)"_s.arg(
        Money(contract), Money(billed), Money(difference),
        billed < contract ? u"a menos"_s : u"a mais"_s);
}

// "NF-1187, de 08/12/2026": the invoice and the day it was billed on.
QString InvoiceText(const TChtStatement& s)
{
    const QString number = s.Invoice.isEmpty() ? u"não informada"_s : s.Invoice;
    return s.InvoiceDate.isEmpty() ? number : u"%1, de %2"_s.arg(number, s.InvoiceDate);
}

QList<THeaderRow> ClientHeaderRows(const TChtStatement& s)
{
    QStringList client = {s.ClientLegalName};
    if (!s.ClientDocument.isEmpty())
        client << s.ClientDocumentKind + u' ' + s.ClientDocument;
    // The proposal as the client knows it; the firm's key after it.
    const QString proposal =
        s.ProposalNumber.isEmpty() ? s.Proposal + u" - "_s + s.Version : s.ProposalNumber;
    QList<THeaderRow> rows = {
        {u"Emitente"_s, {s.IssuerName, u"CNPJ "_s + s.IssuerCnpj}, {}},
        {u"Cliente"_s, client, {}},
        {u"Proposta"_s, {proposal}, u"chave interna %1 - %2"_s.arg(s.Proposal, s.Version)},
        {u"Serviço"_s, {s.Service, s.ActivityName}, {}},
        {u"Profissional"_s, {s.EmployeeName}, {}},
        {u"Período"_s, {s.FirstDay, s.LastDay}, {}},
        {u"Cobrança"_s, {BillingTypeWord(s.Billing)}, {}},
        {u"Quantidade contratada"_s, {HoursText(s.ContractedQuantity)}, {}},
        {u"Valor da hora"_s, {HourValueText(s)}, {}},
    };
    if (s.Status == u"R")
        rows.append({u"Nota fiscal"_s, {InvoiceText(s)}, {}});
    rows.append({u"Emissão"_s, {s.IssueDate}, {}});
    // A line of its own, without a label: "Aprovada por NOME em DATA".
    if (!s.ApprovedBy.isEmpty())
        rows.append({QString(), {s.ApprovedBy}, {}});
    if (!s.AcceptedBy.isEmpty())
        rows.append({QString(), {s.AcceptedBy}, {}});
    return rows;
}

// Hours as the amount multiplies them: "122,50", "8,3333" for 08:20 (two
// to four decimals), so that the product a reader works out is the amount.
QString DecimalHours(double hours)
{
    return FormatFloat(u"#,###,##0.00##"_s, hours, BrazilFormat());
}

// A package: its contracted hours beside the billed ones, which the
// basis below multiplies. Empty for the other ways of charging.
QString PackageText(const TChtStatement& s)
{
    if (s.Billing != u"P")
        return QString();
    const double over = s.BasisHours - s.ContractedQuantity;
    const QString beyond = std::abs(over) < 0.5 / 60
                               ? u"o pacote inteiro"_s
                               : u"%1 %2 do pacote"_s.arg(HoursText(std::abs(over)),
                                                          over > 0 ? u"além"_s : u"aquém"_s);
    return u"%1 contratadas; %2 faturadas (%3)"_s.arg(HoursText(s.ContractedQuantity),
                                                      HoursText(s.BasisHours), beyond);
}

const QStringList& ClientColumnTitles()
{
    static const QStringList titles = {u"Data"_s, u"Dia da semana"_s, u"Horas faturadas"_s};
    return titles;
}

// The PDF's layout: A4 with 40-point margins; the hours right-aligned
// under their title.
constexpr double kLeft = 40, kTop = 800, kBottom = 60, kRow = 14, kTableSize = 9;
constexpr double kWeekdayX = 110, kHoursX = 300, kValueX = 170;
constexpr double kTitleSize = 14, kHeaderSize = 10, kAmountSize = 11, kFooterSize = 8;
constexpr double kFooterY = 30, kSmallSize = 7;
// The preview's mark, above the top margin of every page.
constexpr double kMarkY = 819, kMarkSize = 12;
// The label column of the lines below the total.
constexpr double kBasisX = kLeft + 110;

void ClientTableRow(TPdfWriter& pdf, double y, const QStringList& cells, bool bold = false)
{
    pdf.Text(kLeft, y, cells.value(0), kTableSize, bold);
    pdf.Text(kWeekdayX, y, cells.value(1), kTableSize, bold);
    pdf.TextRight(kHoursX, y, cells.value(2), kTableSize, bold);
}

// A day's line of the table: its date, weekday and billed hours.
void ClientDayRow(TPdfWriter& pdf, double y, const TChtStatementLine& l)
{
    const TDayTexts t(l, TDayTexts::THours::Client);
    pdf.Text(kLeft, y, t.Date(), kTableSize);
    pdf.Text(kWeekdayX, y, t.Weekday(), kTableSize);
    pdf.TextRight(kHoursX, y, t.Charged(), kTableSize);
}

double ClientTableTitles(TPdfWriter& pdf, double y)
{
    ClientTableRow(pdf, y, ClientColumnTitles(), true);
    pdf.Line(kLeft, y - 4, TPdfWriter::kPageWidth - kLeft, y - 4);
    return y - 4 - kRow;
}

// Text at x that gets smaller rather than run past the right margin.
void FittedText(TPdfWriter& pdf, double x, double y, const QString& text, double size)
{
    const double room = TPdfWriter::kPageWidth - kLeft - x;
    const double width = TPdfWriter::TextWidth(text, size);
    pdf.Text(x, y, text, width > room ? size * room / width : size);
}

double ClientHeader(TPdfWriter& pdf, const TChtStatement& s)
{
    double y = kTop;
    pdf.Text(kLeft, y, u"Demonstrativo da CHT %1"_s.arg(s.Number), kTitleSize, true);
    y -= 24;
    for (const THeaderRow& row : ClientHeaderRows(s)) {
        const QString value = row.Values.join(u" - "_s);
        if (row.Label.isEmpty()) {
            pdf.Text(kLeft, y, value, kHeaderSize);
        } else {
            pdf.Text(kLeft, y, row.Label + u':', kHeaderSize, true);
            FittedText(pdf, kValueX, y, value, kHeaderSize);
            if (!row.Small.isEmpty())
                pdf.Text(kValueX + TPdfWriter::TextWidth(value, kHeaderSize) + 12, y, row.Small,
                         kSmallSize);
        }
        y -= kRow;
    }
    return y - 10;
}

void ClientTotals(TPdfWriter& pdf, double y, const TChtStatement& s)
{
    pdf.Line(kLeft, y + kRow - 3, TPdfWriter::kPageWidth - kLeft, y + kRow - 3);
    ClientTableRow(pdf, y, {u"Total"_s, QString(), s.TotalBilled}, true);
    y -= 2 * kRow;
    const QString package = PackageText(s);
    if (!package.isEmpty()) {
        pdf.Text(kLeft, y, u"Pacote:"_s, kAmountSize, true);
        FittedText(pdf, kBasisX, y, package, kAmountSize);
        y -= kRow + 4;
    }
    pdf.Text(kLeft, y, u"Base de cálculo:"_s, kAmountSize, true);
    pdf.Text(kBasisX, y, AmountBasis(s), kAmountSize);
    y -= kRow + 4;
    pdf.Text(kLeft, y, u"Valor a faturar:"_s, kAmountSize, true);
    pdf.Text(kBasisX, y, s.AmountText, kAmountSize, true);
}

// What every page carries: the preview's mark in a band across the top,
// above the margin, and the page's number at the foot.
void EveryPage(TPdfWriter& pdf, const TChtStatement& s)
{
    const int pages = pdf.PageCount();
    const double x1 = kLeft - 4, x2 = TPdfWriter::kPageWidth - kLeft + 4;
    const double y1 = kMarkY - 4, y2 = kMarkY + kMarkSize;
    for (int i = 0; i < pages; ++i) {
        pdf.SelectPage(i);
        if (s.IsPreview()) {
            pdf.Text(kLeft, kMarkY, PreviewMark(), kMarkSize, true);
            pdf.Line(x1, y1, x2, y1, 1);
            pdf.Line(x2, y1, x2, y2, 1);
            pdf.Line(x2, y2, x1, y2, 1);
            pdf.Line(x1, y2, x1, y1, 1);
        }
        pdf.TextRight(TPdfWriter::kPageWidth - kLeft, kFooterY,
                      u"CHT %1 - Página %2 de %3"_s.arg(s.Number).arg(i + 1).arg(pages),
                      kFooterSize);
    }
}

} // namespace

std::vector<TClientHeaderLine> ClientHeaderLines(const TChtStatement& s)
{
    std::vector<TClientHeaderLine> lines;
    for (const THeaderRow& row : ClientHeaderRows(s))
        lines.push_back({row.Label, row.Values.join(u" - "_s), row.Small});
    return lines;
}

QString ClientPackageText(const TChtStatement& s)
{
    return PackageText(s);
}

QString PreviewMark()
{
    return u"Prévia — CHT ainda não aprovada"_s;
}

QString AmountBasis(const TChtStatement& s)
{
    // The hours as the client reads them and as they are multiplied, times
    // the hour value the amount is made of (VRDEHORACLIE).
    return u"%1 = %2 h %3 × R$ %4"_s.arg(HoursText(s.BasisHours), DecimalHours(s.BasisHours),
                                         s.Billing == u"F" ? u"contratadas"_s : u"faturadas"_s,
                                         Money(s.HourValue));
}

QByteArray ClientStatementCsv(const TChtStatement& s)
{
    QString head = u"Demonstrativo da CHT"_s + u"\r\n"_s;
    if (s.IsPreview())
        CsvRow(head, {PreviewMark()});
    CsvRow(head, {u"CHT"_s, s.Number});
    for (const THeaderRow& row : ClientHeaderRows(s)) {
        QStringList cells = QStringList{row.Label} + row.Values;
        if (row.Label.isEmpty())
            cells = row.Values;
        if (!row.Small.isEmpty())
            cells << row.Small;
        CsvRow(head, cells);
    }
    head += u"\r\n"_s;
    CsvRow(head, ClientColumnTitles());
    QString tail;
    CsvRow(tail, {u"Total"_s, QString(), s.TotalBilled});
    tail += u"\r\n"_s;
    const QString package = PackageText(s);
    if (!package.isEmpty())
        CsvRow(tail, {u"Pacote"_s, package});
    CsvRow(tail, {u"Base de cálculo"_s, AmountBasis(s)});
    CsvRow(tail, {u"Valor a faturar"_s, s.AmountText});
    QByteArray out;
    out.reserve(kCsvFixedBytes + 3 * (head.size() + tail.size()) +
                kClientCsvDayBytes * static_cast<qsizetype>(s.Lines.size()));
    out += "\xEF\xBB\xBF";
    out += head.toUtf8();
    for (const TChtStatementLine& l : s.Lines) {
        const TDayTexts t(l, TDayTexts::THours::Client);
        AppendCsvCell(out, t.Date(), TCsvPolicy::ForPeople);
        out += ';';
        AppendCsvCell(out, t.Weekday(), TCsvPolicy::ForPeople);
        out += ';';
        AppendCsvCell(out, t.Charged(), TCsvPolicy::ForPeople);
        out += "\r\n";
    }
    out += tail.toUtf8();
    return out;
}

QByteArray ClientStatementPdf(const TChtStatement& s)
{
    TPdfWriter pdf;
    pdf.NewPage();
    double y = ClientTableTitles(pdf, ClientHeader(pdf, s));
    for (const TChtStatementLine& l : s.Lines) {
        if (y < kBottom) {
            pdf.NewPage();
            y = ClientTableTitles(pdf, kTop);
        }
        ClientDayRow(pdf, y, l);
        y -= kRow;
    }
    // The total, the package's hours, the basis and the amount stay
    // together.
    if (y - 5 * kRow < kBottom - 20) {
        pdf.NewPage();
        y = kTop;
    }
    ClientTotals(pdf, y, s);
    EveryPage(pdf, s);
    return pdf.Finish();
}

} // namespace aph

// The CHT statement handed to the client: who bills whom, what and how the
// amount is made up; nothing of the firm's own (commission hours,
// occurrences, the CHT's situation, internal codes).
#include "host/data/hourtext.h"
#include "server/documents/pdfwriter.h"
#include "server/documents/statement.h"
#include "server/documents/statementparts.h"
#include "service/codewords.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The header's label and value pairs, as both formats print them.
QList<QStringList> ClientHeaderRows(const TChtStatement& s)
{
    QList<QStringList> rows = {
        {u"Emitente"_s, s.IssuerName, u"CNPJ "_s + s.IssuerCnpj},
        {u"Cliente"_s, s.ClientLegalName},
        {u"Proposta"_s, s.Proposal, s.Version},
        {u"Serviço"_s, s.Service, s.ActivityName},
        {u"Profissional"_s, s.EmployeeName},
        {u"Período"_s, s.FirstDay, s.LastDay},
        {u"Cobrança"_s, BillingTypeWord(s.Billing)},
        {u"Quantidade contratada"_s, HoursText(s.ContractedQuantity)},
        {u"Emissão"_s, s.IssueDate},
    };
    if (!s.ClientDocument.isEmpty())
        rows[1] << s.ClientDocumentKind + u' ' + s.ClientDocument;
    // A line of its own, without a label: "Aprovada por NOME em DATA".
    if (!s.ApprovedBy.isEmpty())
        rows.append(QStringList{s.ApprovedBy});
    return rows;
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
constexpr double kFooterY = 30;

void ClientTableRow(TPdfWriter& pdf, double y, const QStringList& cells, bool bold = false)
{
    pdf.Text(kLeft, y, cells.value(0), kTableSize, bold);
    pdf.Text(kWeekdayX, y, cells.value(1), kTableSize, bold);
    pdf.TextRight(kHoursX, y, cells.value(2), kTableSize, bold);
}

double ClientTableTitles(TPdfWriter& pdf, double y)
{
    ClientTableRow(pdf, y, ClientColumnTitles(), true);
    pdf.Line(kLeft, y - 4, TPdfWriter::kPageWidth - kLeft, y - 4);
    return y - 4 - kRow;
}

double ClientHeader(TPdfWriter& pdf, const TChtStatement& s)
{
    double y = kTop;
    pdf.Text(kLeft, y, u"Demonstrativo da CHT %1"_s.arg(s.Number), kTitleSize, true);
    y -= 24;
    for (const QStringList& row : ClientHeaderRows(s)) {
        if (row.size() == 1) {
            pdf.Text(kLeft, y, row[0], kHeaderSize);
            y -= kRow;
            continue;
        }
        pdf.Text(kLeft, y, row[0] + u':', kHeaderSize, true);
        // A long value (a legal name and its CNPJ) gets smaller rather than
        // run past the right margin.
        const QString value = row.mid(1).join(u" - "_s);
        const double room = TPdfWriter::kPageWidth - kLeft - kValueX;
        const double width = TPdfWriter::TextWidth(value, kHeaderSize);
        pdf.Text(kValueX, y, value, width > room ? kHeaderSize * room / width : kHeaderSize);
        y -= kRow;
    }
    return y - 10;
}

void ClientTotals(TPdfWriter& pdf, double y, const TChtStatement& s)
{
    pdf.Line(kLeft, y + kRow - 3, TPdfWriter::kPageWidth - kLeft, y + kRow - 3);
    ClientTableRow(pdf, y, {u"Total"_s, QString(), s.TotalBilled}, true);
    y -= 2 * kRow;
    pdf.Text(kLeft, y, u"Base de cálculo:"_s, kAmountSize, true);
    pdf.Text(kLeft + 110, y, AmountBasis(s), kAmountSize);
    y -= kRow + 4;
    pdf.Text(kLeft, y, u"Valor a faturar:"_s, kAmountSize, true);
    pdf.Text(kLeft + 110, y, s.AmountText, kAmountSize, true);
}

} // namespace

QString AmountBasis(const TChtStatement& s)
{
    // The hour value is the one the amount is made of (VRDEHORACLIE), so
    // that the product is the amount.
    const QString value = u"R$ "_s + Money(s.HourValue);
    if (s.Billing == u"F")
        return u"%1 contratadas × %2"_s.arg(HoursText(s.ContractedQuantity), value);
    return u"%1 faturadas × %2"_s.arg(s.TotalBilled, value);
}

QByteArray ClientStatementCsv(const TChtStatement& s)
{
    QString out = u"Demonstrativo da CHT"_s + u"\r\n"_s;
    CsvRow(out, {u"CHT"_s, s.Number});
    for (const QStringList& row : ClientHeaderRows(s))
        CsvRow(out, row);
    out += u"\r\n"_s;
    CsvRow(out, ClientColumnTitles());
    for (const TChtStatementLine& l : s.Lines)
        CsvRow(out, {l.Date, l.Weekday, l.Charged});
    CsvRow(out, {u"Total"_s, QString(), s.TotalBilled});
    out += u"\r\n"_s;
    CsvRow(out, {u"Base de cálculo"_s, AmountBasis(s)});
    CsvRow(out, {u"Valor a faturar"_s, s.AmountText});
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
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
        ClientTableRow(pdf, y, {l.Date, l.Weekday, l.Charged});
        y -= kRow;
    }
    // The total, the basis and the amount stay together.
    if (y - 3 * kRow < kBottom - 20) {
        pdf.NewPage();
        y = kTop;
    }
    ClientTotals(pdf, y, s);
    const int pages = pdf.PageCount();
    for (int i = 0; i < pages; ++i) {
        pdf.SelectPage(i);
        pdf.Text(kLeft, kFooterY, u"Emitido em %1"_s.arg(s.IssueDate), kFooterSize);
        pdf.TextRight(TPdfWriter::kPageWidth - kLeft, kFooterY,
                      u"CHT %1 - Página %2 de %3"_s.arg(s.Number).arg(i + 1).arg(pages),
                      kFooterSize);
    }
    return pdf.Finish();
}

} // namespace aph

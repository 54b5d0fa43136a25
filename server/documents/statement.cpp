#include "server/documents/statement.h"

#include "host/data/csvwriter.h"
#include "host/data/formatsettings.h"
#include "host/data/hourtext.h"
#include "server/common/clock.h"
#include "server/common/cnpj.h"
#include "server/documents/issuer.h"
#include "server/documents/pdfwriter.h"
#include "server/documents/statementparts.h"
#include "server/methods/acceptance.h"
#include "server/methods/chtstatus.h"
#include "server/methods/queries.h"
#include "server/storage/rowsource.h"
#include "server/storage/storage.h"
#include "service/chttotals.h"
#include "service/codewords.h"

#include <QSqlQuery>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

using namespace Qt::StringLiterals;

namespace aph {

QString Money(double value)
{
    return FormatFloat(u"#,###,##0.00"_s, value, BrazilFormat());
}

void CsvRow(QString& out, const QStringList& fields)
{
    out += CsvRecord(fields, TCsvPolicy::ForPeople);
}

namespace {

// The weekday names of BrazilFormat in UTF-8, Sunday first.
const std::array<QByteArray, 7>& WeekdayNames()
{
    static const std::array<QByteArray, 7> names = [] {
        std::array<QByteArray, 7> n;
        for (int i = 0; i < 7; ++i)
            n[static_cast<std::size_t>(i)] = BrazilFormat().LongDayNames.value(i).toUtf8();
        return n;
    }();
    return names;
}

// The days written from the date's own numbers: from the OLE epoch to the
// last day of year 9999, whose years have four digits. Others go through
// FormatDateTime.
constexpr double kLastFourDigitDay = 2958466;

char* TwoDigits(char* out, int value)
{
    *out++ = static_cast<char>('0' + value / 10);
    *out++ = static_cast<char>('0' + value % 10);
    return out;
}

} // namespace

TDayTexts::TDayTexts(const TChtStatementLine& line, THours hours)
{
    if (line.Day >= 0 && line.Day < kLastFourDigitDay) {
        const QDate date = OleToDate(line.Day);
        char* out = TwoDigits(m_date, date.day());
        *out++ = '/';
        out = TwoDigits(out, date.month());
        *out++ = '/';
        out = TwoDigits(TwoDigits(out, date.year() / 100), date.year() % 100);
        m_dateSize = static_cast<std::size_t>(out - m_date);
        const QByteArray& name = WeekdayNames()[static_cast<std::size_t>(date.dayOfWeek() % 7)];
        m_weekday = {name.constData(), static_cast<std::size_t>(name.size())};
    } else {
        const QByteArray date = FormatDateTime(u"dd/mm/yyyy"_s, line.Day, BrazilFormat()).toUtf8();
        m_dateSize = std::min(static_cast<std::size_t>(date.size()), kDateChars);
        std::memcpy(m_date, date.constData(), m_dateSize);
        m_spill = FormatDateTime(u"dddd"_s, line.Day, BrazilFormat()).toUtf8();
        m_weekday = {m_spill.constData(), static_cast<std::size_t>(m_spill.size())};
    }
    if (hours == THours::Client) {
        m_hours[0].Size = HoursChars(line.Charged, m_hours[0].Chars);
        return;
    }
    const double firm[] = {line.Worked, line.Billed, line.Commission};
    for (std::size_t i = 0; i < std::size(firm); ++i)
        m_hours[i].Size = HoursChars(firm[i], m_hours[i].Chars);
}

namespace {

QString DayText(double day)
{
    return FormatDateTime(u"dd/mm/yyyy"_s, day, BrazilFormat());
}

void ReadHeader(QSqlQuery& q, TChtStatement& s)
{
    s.Number = q.value(0).toString();
    s.Status = q.value(1).toString();
    s.StatusCaption = ChtSituationWord(s.Status);
    s.ClientCode = q.value(2).toString();
    s.ClientName = q.value(3).toString();
    s.Proposal = q.value(4).toString();
    s.Version = q.value(5).toString();
    s.Service = q.value(6).toString();
    s.ActivityType = q.value(7).toString();
    s.ActivityName = q.value(8).toString();
    s.EmployeeCode = q.value(9).toString();
    s.EmployeeName = q.value(10).toString();
    s.Billing = q.value(11).toString();
    // An empty quantity or hour value counts as 0, as in the screen's panel.
    s.ContractedQuantity = q.value(12).toDouble();
    s.HourValue = q.value(13).toDouble();
    s.ClientLegalName = q.value(14).toString().trimmed();
    if (s.ClientLegalName.isEmpty())
        s.ClientLegalName = s.ClientName;
    // IDTPIJURCLIE: "F" a person (CPF), otherwise a company (CNPJ).
    s.ClientDocumentKind = q.value(16).toString() == u"F" ? u"CPF"_s : u"CNPJ"_s;
    s.ClientDocument = FormatDocument(DocumentDigits(q.value(15).toString()));
    s.ProposalNumber = q.value(17).toString().trimmed();
    s.ContractHourValue = q.value(18).toDouble();
    s.Invoice = q.value(19).toString().trimmed();
}

// A column of the days as QVariant::toDouble reads it (null is 0), and
// as QVariant::toString does; straight from the engine where it can.
double NumberOf(const TRowSource& rows, int column)
{
    double value = 0;
    if (rows.Number(column, value) || rows.IsNull(column))
        return value;
    return rows.Variant(column).toDouble();
}

QString TextOf(const TRowSource& rows, int column)
{
    std::string_view text;
    if (rows.Text(column, text))
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return rows.IsNull(column) ? QString() : rows.Variant(column).toString();
}

// The days with the hours the screen's grid shows, and the totals as its
// panel sums them.
void ReadDays(TRowSource& rows, TChtStatement& s)
{
    TChtTotals totals(s.Billing, s.ContractedQuantity, s.HourValue);
    while (rows.Next()) {
        TChtStatementLine line;
        line.Day = NumberOf(rows, 0);
        line.Worked = NumberOf(rows, 1);
        const double billed = NumberOf(rows, 2), commission = NumberOf(rows, 3);
        line.Billed = rows.IsNull(2) ? line.Worked : billed;
        line.Commission = rows.IsNull(3) ? line.Worked : commission;
        line.Charged = billed;
        if (!rows.IsNull(5))
            line.Occurrence = TextOf(rows, 4) + u'/' + TextOf(rows, 5);
        line.OccurrenceName = TextOf(rows, 6);
        totals.Add(line.Worked, billed, commission);
        s.Lines.push_back(std::move(line));
    }
    if (!s.Lines.empty()) {
        s.FirstDay = DayText(s.Lines.front().Day);
        s.LastDay = DayText(s.Lines.back().Day);
    }
    s.TotalWorked = HoursText(totals.Worked());
    s.TotalBilled = HoursText(totals.Billed());
    s.TotalCommission = HoursText(totals.Commission());
    s.Amount = totals.Amount();
    s.BasisHours = totals.BasisHours();
    s.AmountText = u"R$ "_s + Money(s.Amount);
}

// The header's label and value pairs, as both formats print them.
QList<QStringList> HeaderRows(const TChtStatement& s)
{
    QList<QStringList> rows = {
        {u"CHT"_s, s.Number},
        {u"Situação"_s, s.StatusCaption},
        {u"Cliente"_s, s.ClientCode, s.ClientName},
        {u"Proposta"_s, s.Proposal, s.Version},
        {u"Serviço"_s, s.Service, s.ActivityName},
        {u"Funcionário"_s, s.EmployeeCode, s.EmployeeName},
        {u"Período"_s, s.FirstDay, s.LastDay},
        {u"Cobrança"_s, BillingTypeWord(s.Billing)},
        {u"Valor da hora"_s, Money(s.HourValue)},
    };
    if (!s.AcceptedBy.isEmpty())
        rows.append({u"Aceite do cliente"_s, s.AcceptedBy});
    return rows;
}

const QStringList& ColumnTitles()
{
    static const QStringList titles = {
        u"Data"_s,           u"Dia da semana"_s, u"Horas trabalhadas"_s,      u"Horas faturadas"_s,
        u"Horas comissão"_s, u"Ocorrência"_s,    u"Descrição da ocorrência"_s};
    return titles;
}

} // namespace

QString ChtNumberArgument(const QString& text)
{
    return ChtNumberOf(text);
}

TChtStatement LoadChtStatement(TStorage& storage, const QString& number)
{
    TChtStatement s;
    TTransaction tx(storage, TTransaction::Mode::Read);
    const TQueryText header = StatementHeaderQuery(number);
    QSqlQuery& h = storage.Select(header.Sql, header.Values);
    const bool found = h.next();
    if (found)
        ReadHeader(h, s);
    TStorage::Done(h);
    if (!found)
        throw ERefusal(u"A CHT %1 não existe."_s.arg(number));
    ReadDays(*storage.Rows(StatementDaysQuery(number)), s);
    const TIssuer issuer = ReadIssuer(storage);
    const std::optional<TChtApproval> approval = ChtApprovalOf(storage, number);
    const std::optional<double> billedOn = ChtBilledOn(storage, number);
    const std::optional<TChtAcceptance> acceptance = ChtAcceptanceOf(storage, number);
    tx.Commit();
    if (billedOn)
        s.InvoiceDate = DayText(*billedOn);
    if (approval) {
        // The operator's name, else the code; the command line names nobody.
        const QString who =
            !approval->Name.trimmed().isEmpty() ? approval->Name.trimmed() : approval->Operator;
        s.ApprovedBy = who.isEmpty()
                           ? u"Aprovada pela linha de comando em %1"_s.arg(DayText(approval->When))
                           : u"Aprovada por %1 em %2"_s.arg(who, DayText(approval->When));
    }
    if (acceptance)
        s.AcceptedBy = u"Aceita por %1 (%2) em %3"_s.arg(acceptance->Name, acceptance->Email,
                                                         DayText(acceptance->When));
    s.IssuerName = issuer.Name;
    s.IssuerCnpj = issuer.Cnpj.isEmpty() ? QString() : FormatDocument(issuer.Cnpj);
    s.IssueDate = DayText(NowOle());
    return s;
}

QByteArray StatementCsv(const TChtStatement& s)
{
    QString head = u"Demonstrativo da CHT"_s + u"\r\n"_s;
    for (const QStringList& row : HeaderRows(s))
        CsvRow(head, row);
    head += u"\r\n"_s;
    CsvRow(head, ColumnTitles());
    QString tail;
    CsvRow(tail, {u"Total"_s, QString(), s.TotalWorked, s.TotalBilled, s.TotalCommission});
    tail += u"\r\n"_s;
    CsvRow(tail, {u"Valor a faturar"_s, s.AmountText});
    QByteArray out;
    out.reserve(kCsvFixedBytes + 3 * (head.size() + tail.size()) +
                kCsvDayBytes * static_cast<qsizetype>(s.Lines.size()));
    out += "\xEF\xBB\xBF";
    out += head.toUtf8();
    for (const TChtStatementLine& l : s.Lines) {
        const TDayTexts t(l);
        for (const std::string_view cell :
             {t.Date(), t.Weekday(), t.Worked(), t.Billed(), t.Commission()}) {
            AppendCsvCell(out, cell, TCsvPolicy::ForPeople);
            out += ';';
        }
        AppendCsvCell(out, l.Occurrence, TCsvPolicy::ForPeople);
        out += ';';
        AppendCsvCell(out, l.OccurrenceName, TCsvPolicy::ForPeople);
        out += "\r\n";
    }
    out += tail.toUtf8();
    return out;
}

namespace {

// The PDF's layout: A4 with 40-point margins, the table's columns.
constexpr double kLeft = 40, kTop = 800, kBottom = 60, kRow = 14, kTableSize = 9;
// Text sizes of the title, the header's lines, the amount and the footer.
constexpr double kTitleSize = 14, kHeaderSize = 10, kAmountSize = 11, kFooterSize = 8;
// The footer's baseline, below the bottom margin.
constexpr double kFooterY = 30;
// The most characters a cell prints: each column's text stops short of the
// next; the description, the last, short of the right margin.
constexpr int kCellChars = 40, kDescriptionChars = 32;

struct TColumn
{
    double X;
    bool Right; // right-aligned at X
};
constexpr TColumn kColumns[] = {{40, false}, {100, false}, {245, true}, {305, true},
                                {365, true}, {380, false}, {425, false}};
// Titles of two lines, so that the hours' columns stay narrow.
const QStringList kTitleTop = {u"Data"_s,  u"Dia"_s,    u"Horas"_s,    u"Horas"_s,
                               u"Horas"_s, u"Ocorr."_s, u"Descrição"_s};
const QStringList kTitleBottom = {QString(),     QString(), u"trabalhadas"_s, u"faturadas"_s,
                                  u"comissão"_s, QString(), QString()};

void TableRow(TPdfWriter& pdf, double y, const QStringList& cells, bool bold = false)
{
    const int columns = static_cast<int>(std::size(kColumns));
    for (int i = 0; i < cells.size() && i < columns; ++i) {
        const TColumn& c = kColumns[i];
        if (c.Right)
            pdf.TextRight(c.X, y, cells[i], kTableSize, bold);
        else
            pdf.Text(c.X, y, cells[i].left(i == columns - 1 ? kDescriptionChars : kCellChars),
                     kTableSize, bold);
    }
}

// A day's line of the table.
void DayRow(TPdfWriter& pdf, double y, const TChtStatementLine& l)
{
    const TDayTexts t(l);
    pdf.Text(kColumns[0].X, y, t.Date(), kTableSize);
    pdf.Text(kColumns[1].X, y, t.Weekday(), kTableSize);
    pdf.TextRight(kColumns[2].X, y, t.Worked(), kTableSize);
    pdf.TextRight(kColumns[3].X, y, t.Billed(), kTableSize);
    pdf.TextRight(kColumns[4].X, y, t.Commission(), kTableSize);
    pdf.Text(kColumns[5].X, y, QStringView(l.Occurrence).left(kCellChars), kTableSize);
    pdf.Text(kColumns[6].X, y, QStringView(l.OccurrenceName).left(kDescriptionChars), kTableSize);
}

double TableTitles(TPdfWriter& pdf, double y)
{
    TableRow(pdf, y, kTitleTop, true);
    TableRow(pdf, y - 11, kTitleBottom, true);
    pdf.Line(kLeft, y - 15, TPdfWriter::kPageWidth - kLeft, y - 15);
    return y - 15 - kRow;
}

double Header(TPdfWriter& pdf, const TChtStatement& s)
{
    double y = kTop;
    pdf.Text(kLeft, y, u"Demonstrativo da CHT %1"_s.arg(s.Number), kTitleSize, true);
    y -= 24;
    for (const QStringList& row : HeaderRows(s)) {
        pdf.Text(kLeft, y, row[0] + u':', kHeaderSize, true);
        pdf.Text(kLeft + 90, y, row.mid(1).join(u" - "_s), kHeaderSize);
        y -= kRow;
    }
    return y - 10;
}

void Totals(TPdfWriter& pdf, double y, const TChtStatement& s)
{
    pdf.Line(kLeft, y + kRow - 3, TPdfWriter::kPageWidth - kLeft, y + kRow - 3);
    TableRow(pdf, y, {u"Total"_s, QString(), s.TotalWorked, s.TotalBilled, s.TotalCommission},
             true);
    y -= 2 * kRow;
    pdf.Text(kLeft, y, u"Valor a faturar:"_s, kAmountSize, true);
    pdf.Text(kLeft + 100, y, s.AmountText, kAmountSize, true);
}

} // namespace

QByteArray StatementPdf(const TChtStatement& s)
{
    TPdfWriter pdf;
    pdf.NewPage();
    double y = TableTitles(pdf, Header(pdf, s));
    for (const TChtStatementLine& l : s.Lines) {
        if (y < kBottom) {
            pdf.NewPage();
            y = TableTitles(pdf, kTop);
        }
        DayRow(pdf, y, l);
        y -= kRow;
    }
    // The totals and the amount stay together.
    if (y - 2 * kRow < kBottom - 20) {
        pdf.NewPage();
        y = kTop;
    }
    Totals(pdf, y, s);
    const int pages = pdf.PageCount();
    for (int i = 0; i < pages; ++i) {
        pdf.SelectPage(i);
        pdf.TextRight(TPdfWriter::kPageWidth - kLeft, kFooterY,
                      u"CHT %1 - Página %2 de %3"_s.arg(s.Number).arg(i + 1).arg(pages),
                      kFooterSize);
    }
    return pdf.Finish();
}

TStatementVersion StatementVersionArgument(const QString& text)
{
    if (text == u"cliente")
        return TStatementVersion::Client;
    if (text == u"interno")
        return TStatementVersion::Internal;
    throw EInvalidArgument(
        u"Versão de demonstrativo inválida: \"%1\"; use cliente ou interno."_s.arg(text));
}

TStatementFile StatementFile(TStorage& storage, const QString& number, const QString& format,
                             TStatementVersion version)
{
    if (format != u"pdf" && format != u"csv")
        throw EInvalidArgument(
            u"Formato de demonstrativo inválido: \"%1\"; use pdf ou csv."_s.arg(format));
    const TChtStatement s = LoadChtStatement(storage, ChtNumberArgument(number));
    const bool pdf = format == u"pdf";
    const QString type = pdf ? u"application/pdf"_s : u"text/csv"_s;
    if (version == TStatementVersion::Internal)
        return {u"CHT-%1.%2"_s.arg(s.Number, format), type,
                pdf ? StatementPdf(s) : StatementCsv(s)};
    if (s.IssuerName.isEmpty() || s.IssuerCnpj.isEmpty())
        throw ERefusal(u"O emitente do demonstrativo não está cadastrado. Cadastre-o com: "
                       "aph-server emitente BANCO --nome \"RAZÃO SOCIAL\" --cnpj CNPJ"_s);
    const QString name = s.IsPreview() ? u"CHT-%1-cliente-previa.%2"_s : u"CHT-%1-cliente.%2"_s;
    return {name.arg(s.Number, format), type, pdf ? ClientStatementPdf(s) : ClientStatementCsv(s)};
}

} // namespace aph

#include "server/documents/pdfwriter.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The WinAnsi (cp1252) byte of a character: Latin-1 as it is, the few
// typographic signs cp1252 places below 0xA0, "?" for anything else.
char WinAnsi(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= 0x20 && u < 0x7F) || (u >= 0xA0 && u <= 0xFF))
        return static_cast<char>(u);
    switch (u) {
    case 0x20AC:
        return '\x80';
    case 0x2018:
        return '\x91';
    case 0x2019:
        return '\x92';
    case 0x201C:
        return '\x93';
    case 0x201D:
        return '\x94';
    case 0x2022:
        return '\x95';
    case 0x2013:
        return '\x96';
    case 0x2014:
        return '\x97';
    default:
        return '?';
    }
}

// A PDF literal string; bytes above ASCII as octal escapes, so the content
// stays 7-bit text.
QByteArray Literal(const QString& text)
{
    QByteArray out = "(";
    for (const QChar c : text) {
        const auto b = static_cast<unsigned char>(WinAnsi(c));
        if (b == '(' || b == ')' || b == '\\') {
            out += '\\';
            out += static_cast<char>(b);
        } else if (b >= 0x80) {
            out += '\\' + QByteArray::number(b, 8).rightJustified(3, '0');
        } else {
            out += static_cast<char>(b);
        }
    }
    return out + ')';
}

// Objects 1 to 4 are the catalog, the page tree and the two fonts; each
// page is then two objects, the page and its content stream.
constexpr int kFirstPageObject = 5;

QByteArray Num(double v)
{
    return QByteArray::number(v, 'f', 2);
}

} // namespace

void TPdfWriter::NewPage()
{
    m_pages.emplace_back();
    m_current = PageCount() - 1;
}

QByteArray& TPdfWriter::Content()
{
    if (m_pages.empty())
        NewPage();
    return m_pages[static_cast<std::size_t>(m_current)];
}

void TPdfWriter::Text(double x, double y, const QString& text, double size, bool bold)
{
    Content() += "BT /" + QByteArray(bold ? "F2 " : "F1 ") + Num(size) + " Tf " + Num(x) + ' ' +
                 Num(y) + " Td " + Literal(text) + " Tj ET\n";
}

void TPdfWriter::TextRight(double x, double y, const QString& text, double size, bool bold)
{
    Text(x - TextWidth(text, size, bold), y, text, size, bold);
}

void TPdfWriter::Line(double x1, double y1, double x2, double y2, double width)
{
    Content() +=
        Num(width) + " w " + Num(x1) + ' ' + Num(y1) + " m " + Num(x2) + ' ' + Num(y2) + " l S\n";
}

double TPdfWriter::TextWidth(const QString& text, double size, bool bold)
{
    // Helvetica's widths (thousandths of the size) of what the documents
    // align: digits, separators, the currency sign.
    double units = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == ' ' || u == ',' || u == '.' || u == '/')
            units += 278;
        else if (u == ':')
            units += bold ? 333 : 278;
        else if (u == 'R')
            units += 722;
        else if (u == '-')
            units += 333;
        else
            units += 556;
    }
    return units * size / 1000.0;
}

QByteArray TPdfWriter::Finish() const
{
    // Objects: 1 catalog, 2 page tree, 3 and 4 the fonts, then each page
    // and its content stream.
    const int pages = std::max(1, PageCount());
    std::vector<QByteArray> objects;
    QByteArray kids;
    for (int i = 0; i < pages; ++i)
        kids += QByteArray::number(kFirstPageObject + 2 * i) + " 0 R ";
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [ " + kids + "] /Count " + QByteArray::number(pages) +
                      " >>");
    for (const char* font : {"Helvetica", "Helvetica-Bold"})
        objects.push_back(QByteArray("<< /Type /Font /Subtype /Type1 /BaseFont /") + font +
                          " /Encoding /WinAnsiEncoding >>");
    for (int i = 0; i < pages; ++i) {
        const QByteArray content =
            i < PageCount() ? m_pages[static_cast<std::size_t>(i)] : QByteArray();
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + Num(kPageWidth) + ' ' +
                          Num(kPageHeight) + "] /Resources << /Font << /F1 3 0 R /F2 4 0 R >> " +
                          ">> /Contents " + QByteArray::number(kFirstPageObject + 1 + 2 * i) +
                          " 0 R >>");
        objects.push_back("<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" +
                          content + "endstream");
    }
    QByteArray out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<qsizetype> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += QByteArray::number(static_cast<qulonglong>(i + 1)) + " 0 obj\n" + objects[i] +
               "\nendobj\n";
    }
    const qsizetype xref = out.size();
    const QByteArray count = QByteArray::number(static_cast<qulonglong>(objects.size() + 1));
    out += "xref\n0 " + count + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + count + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

} // namespace aph

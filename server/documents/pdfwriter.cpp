#include "server/documents/pdfwriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The WinAnsi (cp1252) byte of a character: Latin-1 as it is, the few
// typographic signs cp1252 places below 0xA0, "?" for anything else.
char WinAnsi(char16_t u)
{
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

// Calls f with each UTF-16 unit of the UTF-8 text, as QString::fromUtf8
// would hold it: a character beyond the first plane as its two
// surrogates, a byte that starts no character as U+FFFD.
template <typename F> void ForEachUnit(std::string_view utf8, F f)
{
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    while (p < end) {
        const unsigned char b = *p;
        int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (length == 0 || end - p < length) {
            f(u'\xFFFD');
            ++p;
            continue;
        }
        char32_t c = length == 1 ? b : b & (0x7F >> length);
        for (int i = 1; i < length; ++i)
            c = (c << 6) | (p[i] & 0x3F);
        p += length;
        if (c > 0xFFFF) {
            f(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            f(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            f(static_cast<char16_t>(c));
        }
    }
}

// One character of a PDF literal string at out, at most four bytes; bytes
// above ASCII as octal escapes, so the content stays 7-bit text.
char* LiteralChar(char* out, char16_t u)
{
    const auto b = static_cast<unsigned char>(WinAnsi(u));
    if (b == '(' || b == ')' || b == '\\') {
        *out++ = '\\';
        *out++ = static_cast<char>(b);
    } else if (b >= 0x80) {
        *out++ = '\\';
        *out++ = static_cast<char>('0' + (b >> 6));
        *out++ = static_cast<char>('0' + ((b >> 3) & 7));
        *out++ = static_cast<char>('0' + (b & 7));
    } else {
        *out++ = static_cast<char>(b);
    }
    return out;
}

template <std::size_t N> char* Copy(char* out, const char (&text)[N])
{
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}

// The most characters of a number FixedTwo writes ("999999999.99").
constexpr int kFixedChars = 12;

// The value with two decimals at out, as QByteArray::number(value, 'f', 2)
// writes it; nullptr for what it leaves to Qt (negative values, negative
// zero, 10^9 and more). The product by 100 is rounded once as a double;
// its exact error (fma) says on which side of a half the true product
// lies, and an exact half rounds up, away from zero, as Qt's does.
char* FixedTwo(char* out, double value)
{
    if (!(value >= 0 && value < 1e9) || std::signbit(value))
        return nullptr;
    const double product = value * 100;
    const double error = std::fma(value, 100, -product);
    double cents = std::floor(product);
    const double aboveHalf = (product - cents) - 0.5;
    if (aboveHalf > 0 || (aboveHalf == 0 && error >= 0))
        cents += 1;
    const auto whole = static_cast<long long>(cents);
    out = std::to_chars(out, out + kFixedChars, whole / 100).ptr;
    *out++ = '.';
    *out++ = static_cast<char>('0' + whole % 100 / 10);
    *out++ = static_cast<char>('0' + whole % 10);
    return out;
}

// Helvetica's width (thousandths of the size) of what the documents
// align: digits, separators, the currency sign.
double Units(char16_t u, bool bold)
{
    if (u == ' ' || u == ',' || u == '.' || u == '/')
        return 278;
    if (u == ':')
        return bold ? 333 : 278;
    if (u == 'R')
        return 722;
    if (u == '-')
        return 333;
    return 556;
}

// Objects 1 to 4 are the catalog, the page tree and the two fonts; each
// page is then two objects, the page and its content stream.
constexpr int kFirstPageObject = 5;
// The first page's content starts at this size; later pages at the size
// of the one before, so that a page is written without growing.
constexpr qsizetype kFirstPageBytes = 16 * 1024;
// What Finish adds to the content streams: the fixed objects, and each
// page's object and stream header and its line of the cross-reference.
constexpr qsizetype kDocumentBytes = 1024, kPerPageBytes = 320;

void AppendInteger(QByteArray& out, long long value)
{
    char buffer[24];
    out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer);
}

} // namespace

void TPdfWriter::AppendNumber(QByteArray& out, double value)
{
    char buffer[kFixedChars];
    if (const char* end = FixedTwo(buffer, value))
        out.append(buffer, end - buffer);
    else
        out += QByteArray::number(value, 'f', 2);
}

void TPdfWriter::NewPage()
{
    const qsizetype room = m_pages.empty() ? kFirstPageBytes : m_pages.back().size() + 1024;
    m_pages.emplace_back();
    m_pages.back().reserve(room);
    m_current = PageCount() - 1;
}

QByteArray& TPdfWriter::Content()
{
    if (m_pages.empty())
        NewPage();
    return m_pages[static_cast<std::size_t>(m_current)];
}

template <typename Units>
void TPdfWriter::TextOperator(double x, double y, double size, bool bold, qsizetype units,
                              Units forEach)
{
    // "BT /F1 9.00 Tf x y Td (text) Tj ET": written into a buffer on the
    // stack and appended at once; a long text, or a number Qt must write,
    // takes the page's buffer piece by piece.
    constexpr qsizetype kShortText = 64;
    char op[3 * kFixedChars + 4 * kShortText + 32];
    if (units <= kShortText) {
        char* p = Copy(op, "BT /F1 ");
        if (bold)
            p[-2] = '2';
        p = FixedTwo(p, size);
        if (p) {
            p = Copy(p, " Tf ");
            p = FixedTwo(p, x);
        }
        if (p) {
            *p++ = ' ';
            p = FixedTwo(p, y);
        }
        if (p) {
            p = Copy(p, " Td (");
            forEach([&p](char16_t u) { p = LiteralChar(p, u); });
            p = Copy(p, ") Tj ET\n");
            Content().append(op, p - op);
            return;
        }
    }
    QByteArray& out = Content();
    out += bold ? "BT /F2 " : "BT /F1 ";
    AppendNumber(out, size);
    out += " Tf ";
    AppendNumber(out, x);
    out += ' ';
    AppendNumber(out, y);
    out += " Td (";
    forEach([&out](char16_t u) {
        char literal[4];
        out.append(literal, LiteralChar(literal, u) - literal);
    });
    out += ") Tj ET\n";
}

void TPdfWriter::Text(double x, double y, QStringView text, double size, bool bold)
{
    TextOperator(x, y, size, bold, text.size(), [text](auto put) {
        for (const QChar c : text)
            put(c.unicode());
    });
}

void TPdfWriter::Text(double x, double y, std::string_view utf8, double size, bool bold)
{
    // A UTF-8 text has no more UTF-16 units than bytes.
    TextOperator(x, y, size, bold, static_cast<qsizetype>(utf8.size()),
                 [utf8](auto put) { ForEachUnit(utf8, put); });
}

void TPdfWriter::TextRight(double x, double y, QStringView text, double size, bool bold)
{
    Text(x - TextWidth(text, size, bold), y, text, size, bold);
}

void TPdfWriter::TextRight(double x, double y, std::string_view utf8, double size, bool bold)
{
    Text(x - TextWidth(utf8, size, bold), y, utf8, size, bold);
}

void TPdfWriter::Line(double x1, double y1, double x2, double y2, double width)
{
    QByteArray& out = Content();
    AppendNumber(out, width);
    out += " w ";
    AppendNumber(out, x1);
    out += ' ';
    AppendNumber(out, y1);
    out += " m ";
    AppendNumber(out, x2);
    out += ' ';
    AppendNumber(out, y2);
    out += " l S\n";
}

double TPdfWriter::TextWidth(QStringView text, double size, bool bold)
{
    double units = 0;
    for (const QChar c : text)
        units += Units(c.unicode(), bold);
    return units * size / 1000.0;
}

double TPdfWriter::TextWidth(std::string_view utf8, double size, bool bold)
{
    double units = 0;
    ForEachUnit(utf8, [&units, bold](char16_t u) { units += Units(u, bold); });
    return units * size / 1000.0;
}

QByteArray TPdfWriter::Finish() const
{
    // Objects: 1 catalog, 2 page tree, 3 and 4 the fonts, then each page
    // and its content stream; written in place, their offsets noted for
    // the cross-reference table.
    const int pages = std::max(1, PageCount());
    qsizetype size = kDocumentBytes + kPerPageBytes * pages;
    for (const QByteArray& page : m_pages)
        size += page.size();
    QByteArray out;
    out.reserve(size);
    out += "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<qsizetype> offsets;
    offsets.reserve(static_cast<std::size_t>(4 + 2 * pages));
    const auto begin = [&out, &offsets] {
        offsets.push_back(out.size());
        AppendInteger(out, static_cast<long long>(offsets.size()));
        out += " 0 obj\n";
    };
    begin();
    out += "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    begin();
    out += "<< /Type /Pages /Kids [ ";
    for (int i = 0; i < pages; ++i) {
        AppendInteger(out, kFirstPageObject + 2 * i);
        out += " 0 R ";
    }
    out += "] /Count ";
    AppendInteger(out, pages);
    out += " >>\nendobj\n";
    for (const char* font : {"Helvetica", "Helvetica-Bold"}) {
        begin();
        out += "<< /Type /Font /Subtype /Type1 /BaseFont /";
        out += font;
        out += " /Encoding /WinAnsiEncoding >>\nendobj\n";
    }
    for (int i = 0; i < pages; ++i) {
        begin();
        out += "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ";
        AppendNumber(out, kPageWidth);
        out += ' ';
        AppendNumber(out, kPageHeight);
        out += "] /Resources << /Font << /F1 3 0 R /F2 4 0 R >> >> /Contents ";
        AppendInteger(out, kFirstPageObject + 1 + 2 * i);
        out += " 0 R >>\nendobj\n";
        begin();
        const QByteArray content =
            i < PageCount() ? m_pages[static_cast<std::size_t>(i)] : QByteArray();
        out += "<< /Length ";
        AppendInteger(out, content.size());
        out += " >>\nstream\n";
        out += content;
        out += "endstream\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 ";
    AppendInteger(out, static_cast<long long>(offsets.size() + 1));
    out += "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets) {
        char buffer[24];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, offset).ptr;
        out.append(std::max<qsizetype>(0, 10 - (end - buffer)), '0');
        out.append(buffer, end - buffer);
        out += " 00000 n \n";
    }
    out += "trailer\n<< /Size ";
    AppendInteger(out, static_cast<long long>(offsets.size() + 1));
    out += " /Root 1 0 R >>\nstartxref\n";
    AppendInteger(out, xref);
    out += "\n%%EOF\n";
    return out;
}

} // namespace aph

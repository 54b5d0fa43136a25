#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <string_view>
#include <vector>

namespace aph {

// A small PDF 1.4 writer for the server's documents: A4 pages of text in
// Helvetica and Helvetica-Bold (WinAnsiEncoding, so that Portuguese
// accents print) and straight lines. Coordinates are points from the
// page's bottom left corner. Needs no Gui module. Numbers and text go
// straight into the page's content, formatted in stack buffers, so that a
// document of many pages makes no heap string per line.
class TPdfWriter
{
public:
    static constexpr double kPageWidth = 595.28;
    static constexpr double kPageHeight = 841.89;

    // Starts a page; later text and lines go to it.
    void NewPage();
    int PageCount() const { return static_cast<int>(m_pages.size()); }
    // Makes an earlier page (from 0) the one drawn on, for footers written
    // once the page count is known.
    void SelectPage(int index) { m_current = index; }

    void Text(double x, double y, QStringView text, double size, bool bold = false);
    void Text(double x, double y, const QString& text, double size, bool bold = false)
    {
        Text(x, y, QStringView(text), size, bold);
    }
    // Text given in UTF-8, written as the same text as a QString would be.
    void Text(double x, double y, std::string_view utf8, double size, bool bold = false);
    // Text that ends at x.
    void TextRight(double x, double y, QStringView text, double size, bool bold = false);
    void TextRight(double x, double y, const QString& text, double size, bool bold = false)
    {
        TextRight(x, y, QStringView(text), size, bold);
    }
    void TextRight(double x, double y, std::string_view utf8, double size, bool bold = false);
    void Line(double x1, double y1, double x2, double y2, double width = 0.5);

    // The document: header, objects, cross-reference table and trailer.
    QByteArray Finish() const;

    // The width of text in Helvetica, in points; characters without their
    // own width count as a digit.
    static double TextWidth(QStringView text, double size, bool bold = false);
    static double TextWidth(std::string_view utf8, double size, bool bold = false);

    // A number with two decimals, as QByteArray::number(v, 'f', 2) writes
    // it, appended to out.
    static void AppendNumber(QByteArray& out, double value);

private:
    QByteArray& Content();
    // The text operator, its literal made of the UTF-16 units forEach
    // hands to the function it is given.
    template <typename Units>
    void TextOperator(double x, double y, double size, bool bold, qsizetype units, Units forEach);

    std::vector<QByteArray> m_pages;
    int m_current = -1;
};

} // namespace aph

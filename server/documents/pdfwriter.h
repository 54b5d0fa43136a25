#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace aph {

// A small PDF 1.4 writer for the server's documents: A4 pages of text in
// Helvetica and Helvetica-Bold (WinAnsiEncoding, so that Portuguese
// accents print) and straight lines. Coordinates are points from the
// page's bottom left corner. Needs no Gui module.
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

    void Text(double x, double y, const QString& text, double size, bool bold = false);
    // Text that ends at x.
    void TextRight(double x, double y, const QString& text, double size, bool bold = false);
    void Line(double x1, double y1, double x2, double y2, double width = 0.5);

    // The document: header, objects, cross-reference table and trailer.
    QByteArray Finish() const;

    // The width of text in Helvetica, in points; characters without their
    // own width count as a digit.
    static double TextWidth(const QString& text, double size, bool bold = false);

private:
    QByteArray& Content();

    std::vector<QByteArray> m_pages;
    int m_current = -1;
};

} // namespace aph

#include "host/qt/qtcanvas.h"

#include "host/qt/qtconvert.h"

#include <QFontMetrics>
#include <QPainter>

namespace aph {

TQtCanvas::TQtCanvas(QPainter& painter, const QPalette& palette)
    : m_painter(painter), m_palette(palette)
{}

void TQtCanvas::FillRect(const QRect& rect)
{
    m_painter.fillRect(rect, QtColor(Brush.Color, m_palette));
}

void TQtCanvas::TextRect(const QRect& clip, int x, int y, const QString& text)
{
    m_painter.save();
    m_painter.setClipRect(clip, Qt::IntersectClip);
    const QFont font = QtFont(Font);
    m_painter.setFont(font);
    m_painter.setPen(QtColor(Font.Color, m_palette));
    // (x, y) is the text's top-left corner, as the handlers give it.
    m_painter.drawText(QPoint(x, y + QFontMetrics(font).ascent()), text);
    m_painter.restore();
}

int TQtCanvas::TextWidth(const QString& text)
{
    return QFontMetrics(QtFont(Font)).horizontalAdvance(text);
}

} // namespace aph

#pragma once

#include "host/ui/canvas.h"

#include <QPalette>

class QPainter;

namespace aph {

// The canvas a grid cell is painted on, over a QPainter: what the screens'
// draw handlers set (brush, font colour) is what reaches the screen.
class TQtCanvas : public TCanvas
{
public:
    TQtCanvas(QPainter& painter, const QPalette& palette);
    void FillRect(const QRect& rect) override;
    void TextRect(const QRect& clip, int x, int y, const QString& text) override;
    int TextWidth(const QString& text) override;

private:
    QPainter& m_painter;
    QPalette m_palette;
};

} // namespace aph

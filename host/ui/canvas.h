#pragma once

#include "host/ui/types.h"

#include <QRect>
#include <QString>

namespace aph {

struct TBrush
{
    TColor Color = clWindow;
};

// Where a grid cell is painted: the Qt view paints on a QPainter, tests
// record what was painted.
class TCanvas
{
public:
    virtual ~TCanvas() = default;
    TBrush Brush;
    TFont Font;
    virtual void FillRect(const QRect& rect) = 0;
    // Writes text with its top-left corner at (x, y), clipped to the rect.
    virtual void TextRect(const QRect& clip, int x, int y, const QString& text) = 0;
    virtual int TextWidth(const QString& text) = 0;
};

} // namespace aph

#pragma once

#include "host/ui/types.h"

#include <QColor>
#include <QFont>
#include <QPalette>

class QKeyEvent;

namespace aph {

// A colour of the component runtime on screen: system colours come from
// the palette, the others are RGB.
QColor QtColor(TColor color, const QPalette& palette);
// A font of the component runtime on screen. The forms name the fonts of
// the system they were designed on; a sans-serif of similar metrics stands
// in for them.
QFont QtFont(const TFont& font);

// A key as the headless controls know it: 0 when they have no code for it.
struct TKeyStroke
{
    TWord Key = 0;
    TShiftState Shift = ssNone;
    QChar Char; // what the key types, if anything
};
TKeyStroke KeyStrokeOf(const QKeyEvent& event);

} // namespace aph

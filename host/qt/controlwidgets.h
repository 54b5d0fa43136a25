#pragma once

#include <QIcon>
#include <QString>

class QStyle;

namespace aph {

// The picture of a toolbar button by the name the form gives it
// ("insert", "filter", ...); a null icon for a name it does not know.
QIcon GlyphIcon(const QString& glyph, const QStyle* style);

} // namespace aph

#pragma once

#include <QString>
#include <QStringView>

namespace aph {

// Characters a reader does not see as themselves: control characters (C0,
// DEL, C1: a terminal may take them as commands, NUL cuts a C string),
// format characters (direction marks and overrides, zero-width ones, the
// byte order mark), line and paragraph separators, and a surrogate that
// is not part of a pair. Text that holds one can look like other text.
bool IsHiddenCharacter(char32_t c);
bool HasHiddenCharacters(QStringView text);

// The text with every hidden character written as \xHH (ASCII) or \uXXXX,
// so that it shows as what it holds and cannot move the cursor, recolour a
// terminal or forge a line; with keepLineBreaks, "\n" stays a line break
// (a message of several lines).
QString EscapeHidden(QStringView text, bool keepLineBreaks);

} // namespace aph

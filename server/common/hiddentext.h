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

// Control characters (C0 with its line feed and carriage return, DEL,
// C1), the line and paragraph separators and a lone surrogate: a line
// break or a terminal's command inside a one-line text.
bool HasControlCharacters(QStringView text);
// The characters that reorder the text around them: direction marks,
// embeddings, overrides and isolates.
bool IsBidiControl(char32_t c);
bool HasBidiControls(QStringView text);
// The text without its format characters (zero-width ones, direction
// marks and overrides, the byte order mark, the soft hyphen): what a
// reader sees of it, so that its length is the one a reader counts and
// two texts that look the same compare the same.
QString WithoutInvisible(QStringView text);

// The text with every hidden character written as \xHH (ASCII) or \uXXXX,
// so that it shows as what it holds and cannot move the cursor, recolour a
// terminal or forge a line; with keepLineBreaks, "\n" stays a line break
// (a message of several lines).
QString EscapeHidden(QStringView text, bool keepLineBreaks);

} // namespace aph

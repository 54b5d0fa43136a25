#pragma once

#include <QString>

#include <cstddef>
#include <string_view>

namespace aph {

// The length of the strict UTF-8 sequence at p, of at most `left` bytes;
// 0 when it is not one (overlong, a surrogate, above U+10FFFF, cut short
// or a stray continuation byte).
std::size_t Utf8Sequence(const unsigned char* p, std::size_t left);

// The first `units` UTF-16 code units of UTF-8 text, as QString::left
// cuts them. False when the text is not strict UTF-8 or the cut would split
// a surrogate pair: such text takes the QString way, whose replacements
// this does not copy.
bool CutUtf8(std::string_view text, int units, std::string_view& cut);

// The first `chars` characters of text, counted as a database counts a
// VARCHAR's (a pair of surrogates is one), never half a pair.
QString CutChars(const QString& text, qsizetype chars);

} // namespace aph

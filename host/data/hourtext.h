#pragma once

#include <QString>

namespace aph {

// Decimal hours as people read them, "HH:MM": at least two digits for the
// hours, always two for the minutes. The fraction becomes minutes in
// extended precision, halves going to the even minute, and a fraction that
// rounds to a whole hour carries. The screens and the server's statements
// write hours with this one function, so they never disagree.
QString HoursText(double hours);

// Room for the longest text HoursChars writes: two 64-bit numbers with
// their signs, the padding zeros and the colon.
constexpr int kHoursTextChars = 48;
// The same text into buffer (kHoursTextChars at least), without a heap
// string, for documents that write many; returns its length.
int HoursChars(double hours, char* buffer);

} // namespace aph

#pragma once

#include <QString>

namespace aph {

// Decimal hours as people read them, "HH:MM": at least two digits for the
// hours, always two for the minutes. The fraction becomes minutes in
// extended precision, halves going to the even minute, and a fraction that
// rounds to a whole hour carries. The screens and the server's statements
// write hours with this one function, so they never disagree.
QString HoursText(double hours);

} // namespace aph

#include "host/data/hourtext.h"

#include <charconv>
#include <cmath>

namespace aph {

int HoursChars(double hours, char* buffer)
{
    // The default rounding mode sends halves to the even minute. The whole
    // hours and the fraction are exact in a double; the minutes are worked
    // out in extended precision (rint rounds as nearbyint does, without
    // the cost of keeping the floating-point flags).
    const double whole = std::trunc(hours);
    long double h = whole;
    long double m = std::rint((static_cast<long double>(hours) - h) * 60.0L);
    if (m >= 60.0L) {
        h += 1.0L;
        m -= 60.0L;
    }
    char* out = buffer;
    char* const end = buffer + kHoursTextChars;
    if (h < 10)
        *out++ = '0';
    out = std::to_chars(out, end, static_cast<long long>(h)).ptr;
    *out++ = ':';
    if (m < 10)
        *out++ = '0';
    out = std::to_chars(out, end, static_cast<long long>(m)).ptr;
    return static_cast<int>(out - buffer);
}

QString HoursText(double hours)
{
    char buffer[kHoursTextChars];
    return QString::fromLatin1(buffer, HoursChars(hours, buffer));
}

} // namespace aph

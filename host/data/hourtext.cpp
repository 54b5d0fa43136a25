#include "host/data/hourtext.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace aph {

QString HoursText(double hours)
{
    // The default rounding mode sends halves to the even minute.
    long double h = std::trunc(static_cast<long double>(hours));
    long double m = std::nearbyint((static_cast<long double>(hours) - h) * 60.0L);
    if (m >= 60.0L) {
        h += 1.0L;
        m -= 60.0L;
    }
    QString text;
    if (h < 10)
        text += u'0';
    text += QString::number(static_cast<qlonglong>(h));
    text += u':';
    if (m < 10)
        text += u'0';
    text += QString::number(static_cast<qlonglong>(m));
    return text;
}

} // namespace aph

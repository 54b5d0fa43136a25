#include "server/common/clock.h"

#include "host/data/formatsettings.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace aph {

double NowOle()
{
    const QDateTime now = QDateTime::currentDateTime();
    return DateToOle(now.date()) + now.time().msecsSinceStartOfDay() / 86400000.0;
}

const TFormatSettings& BrazilFormat()
{
    static const TFormatSettings fs = TFormatSettings::ForLocale(u"pt_BR"_s);
    return fs;
}

} // namespace aph

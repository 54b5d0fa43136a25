#include "server/common/incident.h"

#include "server/common/serverlog.h"

#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace aph {

QString NewIncidentId()
{
    return u"%1"_s.arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

void LogIncident(const QString& incident, const QString& detail)
{
    LogLine(TLogLevel::Error, u"[ocorrência %1] %2"_s.arg(incident, detail));
}

} // namespace aph

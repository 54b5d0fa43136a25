#pragma once

#include <QString>

namespace aph {

// A new incident id: eight hex digits that tie a reply to the log line
// holding the detail.
QString NewIncidentId();
// Writes the detail of an incident to the server's log (stderr).
void LogIncident(const QString& incident, const QString& detail);

} // namespace aph

#pragma once

#include <QString>

namespace aph {

// What the server writes on standard error, one line per event. Under
// systemd (JOURNAL_STREAM set) each line starts with its syslog priority
// ("<3>", "<4>", "<6>", "<7>"), which journald files it under.
enum class TLogLevel
{
    Error,   // failures: incidents, the database lost
    Warning, // refused Logins, connections closed by a limit
    Info,    // one line per request
    Debug    // connections opened and closed
};

// The level of "--log-level": error, warning, info or debug (or their
// Portuguese names erro, aviso, info, depuracao); throws Exception on any
// other.
TLogLevel ParseLogLevel(const QString& text);
void SetLogLevel(TLogLevel level);
bool Logs(TLogLevel level);
// Writes "aph-server: TEXT" when the level is on, with its hidden
// characters escaped (hiddentext.h), a line break too; one write per line,
// so that lines of different threads never interleave.
void LogLine(TLogLevel level, const QString& text);

// A value as it may stand in a log line: printable ASCII as it is, ASCII
// controls, space and backslash escaped as \xHH and everything else
// (accents, C1 controls, line and paragraph separators, no-break and
// direction marks) as \uXXXX, cut at 80 characters, "-" when empty; so
// that text a client sent can never forge a line or a field, even for a
// reader that understands Unicode.
QString LogValue(const QString& text);

} // namespace aph

#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace aph {

// One value of aph-server's configuration file, with the place it was read
// from ("ARQUIVO, linha N"), for the messages that refuse it.
struct TConfigValue
{
    QString Value;
    QString Where;
};

// Reads a configuration file of "key = value" lines; blank lines and lines
// starting with '#' are skipped. The keys allowed are those of valued
// (a value of their own) and of flags (yes or no; read as "1" or "0").
// An unreadable file, an unknown or repeated key, a line without '=' or a
// key without a value: an Exception naming the file and the line.
QHash<QString, TConfigValue> ReadServerConfig(const QString& file, const QStringList& valued,
                                              const QStringList& flags);

} // namespace aph

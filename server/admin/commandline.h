#pragma once

#include "host/data/exceptions.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>

namespace aph {

// A command line aph-server cannot run: its message goes out with the
// usage, and the exit status is 2.
class EUsage : public Exception
{
public:
    using Exception::Exception;
};

// Reads "--name value" options and positional arguments.
struct TArgs
{
    QStringList Positional;
    QHash<QString, QString> Options;
    QStringList Flags;
    // Where an option read from a configuration file was ("ARQUIVO, linha N").
    QHash<QString, QString> Origins;

    // valued: the options followed by a value; flags: those standing
    // alone. Anything else starting with "--" is refused.
    TArgs(const QStringList& args, const QStringList& valued, const QStringList& flags);
    // The option's number, fallback without it; EUsage when it is no
    // whole number from min to max.
    qint64 Number(const QString& name, qint64 fallback, qint64 min, qint64 max) const;
    // The file and line an option came from, to open a message refusing it.
    QString From(const QString& name) const;
};

class TStorage;

// Writes a line of the command's output, in UTF-8, at once, with its
// hidden characters escaped (line breaks kept): every text a command shows
// goes through here.
void Print(FILE* out, const QString& text);

// The database a command works on: it must exist and have the current
// schema, or the message says what to run.
std::unique_ptr<TStorage> OpenCurrent(const QString& spec);

} // namespace aph

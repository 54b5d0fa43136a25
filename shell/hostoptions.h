#pragma once

#include "host/framework/environment.h"

#include <QString>
#include <QStringList>

namespace aph {

// How aph-host was asked to run: the host environment (from the INI file,
// each value overridable on the command line) and what to do at start.
struct THostOptions
{
    THostEnvironment Environment;
    QString ConfigFile;
    QString ModuleFile;       // empty: libPkg_Aph31500.so in ../lib/aph or ../lib
    bool Open = false;        // open "Apuração de CHT" at start
    QString Screenshot;       // grab the main window here once the screen is open, then quit
    QString DialogScreenshot; // grab the first modal dialog here
    bool Help = false;
    // Dates, day names and numbers as the screens show them: Brazilian
    // whatever the process locale, unless the INI ("locale") or --locale
    // names another.
    QString Locale = QStringLiteral("pt_BR");
    // Said once on standard error at start: the INI file holding the token
    // is readable by other users.
    QString Warning = {};
};

// The usage text, in Portuguese.
QString HostUsage();

// Where the configuration lives unless --config says otherwise.
QString DefaultConfigFile();

// Reads the command line (without the program name) and the INI file it
// names. Every value must be present and sound; otherwise an Exception
// whose message names the key, the file and the option that sets it.
THostOptions ParseHostOptions(const QStringList& arguments);

} // namespace aph

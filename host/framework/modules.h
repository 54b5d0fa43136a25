#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace aph {

// A module the host has loaded: its file, its language resources (if it
// has a separate resource file) and its units.
struct TModuleInfo
{
    QString FileName;
    QString ResourceFile; // empty: the module's own texts
    QStringList Units;
};

// The runtime's list of loaded modules.
void RegisterModule(const TModuleInfo& module, const QHash<QString, QString>& resources);
void UnregisterModule(const QString& fileName);
QList<TModuleInfo> LoadedModules();

// The language resource file of a module: beside it, named after it with
// the user's language ("libPkg_X.so.pt_BR"); empty when there is none.
QString FindResourceFile(const QString& moduleFile, const QString& language);
// Its texts, one "SCREEN:key|text" per line, replacing the screens' own.
QHash<QString, QString> ReadResourceFile(const QString& file);
// A text the loaded resources give for a screen's message key, if any.
bool ResourceString(const QString& screenCode, const QString& key, QString& text);

} // namespace aph

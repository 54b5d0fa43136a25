// The module Pkg_Aph31500: its unit table, its start and end, and its
// registration with the host's list of loaded modules.
#include "package/pkg_aph31500.h"

#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/data/formatsettings.h"
#include "host/framework/modules.h"

#include <dlfcn.h>

namespace {

using namespace aph;

// The data runtime reads the user's formats when a module starts, so a
// locale changed since the host started is honoured, unless the host chose
// the formats itself.
void DataInitialization()
{
    if (!HostChoseFormatSettings())
        SetFormatSettings(TFormatSettings::FromEnvironment());
}

void Nothing() {}

const TUnitEntry kUnits[] = {
    {"Aph.Data", DataInitialization, Nothing},
    {"Aph.Framework", Nothing, Nothing},
    {"Cli_aph31500", Cli_aph31500_Initialization, Cli_aph31500_Finalization},
    {"Cli_aph31501", Cli_aph31501_Initialization, Cli_aph31501_Finalization},
};

const TPackageInfoTable kTable = {static_cast<int>(std::size(kUnits)), kUnits};

bool g_initialized = false;

QString ModuleFileName()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleFileName), &info) == 0 || !info.dli_fname)
        return {};
    return QString::fromLocal8Bit(info.dli_fname);
}

QString Language()
{
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(var);
        if (!value.isEmpty())
            return QString::fromLocal8Bit(value);
    }
    return {};
}

// Load: find the language resource file named after this module, then
// join the host's list of loaded modules.
__attribute__((constructor)) void ModuleLoaded()
{
    TModuleInfo info;
    info.FileName = ModuleFileName();
    info.ResourceFile = FindResourceFile(info.FileName, Language());
    for (const TUnitEntry& unit : kUnits)
        info.Units << QString::fromLatin1(unit.Name);
    RegisterModule(info, info.ResourceFile.isEmpty() ? QHash<QString, QString>()
                                                     : ReadResourceFile(info.ResourceFile));
}

// Unload: leave the list, which releases the resource texts.
__attribute__((destructor)) void ModuleUnloaded()
{
    if (g_initialized)
        Finalize();
    UnregisterModule(ModuleFileName());
}

} // namespace

extern "C" const TPackageInfoTable* GetPackageInfoTable()
{
    return &kTable;
}

extern "C" void Initialize()
{
    if (g_initialized)
        return;
    for (const TUnitEntry& unit : kUnits)
        unit.Initialization();
    g_initialized = true;
}

extern "C" void Finalize()
{
    if (!g_initialized)
        return;
    g_initialized = false;
    for (auto it = std::rbegin(kUnits); it != std::rend(kUnits); ++it)
        it->Finalization();
}

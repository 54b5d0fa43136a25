#include "shell/moduleloader.h"

#include "host/data/exceptions.h"
#include "host/framework/modules.h"

#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>
#include <link.h>

using namespace Qt::StringLiterals;

namespace aph {

TModuleLoader::TModuleLoader(QString file) : m_file(std::move(file)) {}

TModuleLoader::~TModuleLoader()
{
    Unload();
}

QString TModuleLoader::DefaultFile(const QString& programDir)
{
    const QString installed = QDir::cleanPath(programDir + u"/../lib/aph/libPkg_Aph31500.so"_s);
    if (QFileInfo::exists(installed))
        return installed;
    return QDir::cleanPath(programDir + u"/../lib/libPkg_Aph31500.so"_s);
}

void TModuleLoader::Load()
{
    if (m_handle)
        return;
    if (!QFileInfo::exists(m_file))
        throw Exception(QString::fromUtf8("Módulo não encontrado: %1").arg(m_file));
    // The module stays mapped after it is closed: texts it handed to the host
    // (captions, titles) share its constant data, and the host's widgets may
    // still read them while the window goes away after Finalize.
    void* handle =
        dlopen(QFile::encodeName(m_file).constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle)
        throw Exception(QString::fromUtf8("Não foi possível carregar o módulo %1: %2")
                            .arg(m_file, QString::fromLocal8Bit(dlerror())));
    const auto symbol = [&](const char* name) {
        void* s = dlsym(handle, name);
        if (!s) {
            dlclose(handle);
            throw Exception(QString::fromUtf8("O módulo %1 não exporta %2.")
                                .arg(m_file, QString::fromLatin1(name)));
        }
        return reinterpret_cast<void (*)()>(s);
    };
    const auto initialize = symbol("Initialize");
    m_finalize = symbol("Finalize");
    m_iniProc = symbol("IniProc");
    m_handle = handle;
    initialize();
}

void TModuleLoader::IniProc()
{
    Load();
    m_iniProc();
}

void TModuleLoader::Unload()
{
    if (!m_handle)
        return;
    // The module's screens go with its code: Finalize first.
    m_finalize();
    // The module stays mapped, so its own finalization only runs at exit:
    // it leaves the host's list of loaded modules here, under the name the
    // loader gave it, as it is closed.
    link_map* map = nullptr;
    if (dlinfo(m_handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name)
        UnregisterModule(QString::fromLocal8Bit(map->l_name));
    dlclose(m_handle);
    m_handle = nullptr;
    m_iniProc = nullptr;
    m_finalize = nullptr;
}

} // namespace aph

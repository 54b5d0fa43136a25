#include "host/framework/modules.h"

#include <QFile>
#include <QFileInfo>

namespace aph {

namespace {

struct Registry
{
    QList<TModuleInfo> modules;
    QHash<QString, QHash<QString, QString>> resources; // by module file
};

// Never destroyed: a module that stays mapped leaves the list from its own
// finalization at exit, which may run after this library's statics are gone.
Registry& Modules()
{
    static auto* registry = new Registry;
    return *registry;
}

} // namespace

void RegisterModule(const TModuleInfo& module, const QHash<QString, QString>& resources)
{
    UnregisterModule(module.FileName);
    Modules().modules << module;
    Modules().resources.insert(module.FileName, resources);
}

void UnregisterModule(const QString& fileName)
{
    Registry& r = Modules();
    r.modules.removeIf([&](const TModuleInfo& m) { return m.FileName == fileName; });
    r.resources.remove(fileName); // releases the resource texts
}

QList<TModuleInfo> LoadedModules()
{
    return Modules().modules;
}

QString FindResourceFile(const QString& moduleFile, const QString& language)
{
    if (moduleFile.isEmpty() || language.isEmpty())
        return {};
    // "pt_BR.UTF-8" looks for ".pt_BR", then ".pt".
    const QString full = language.section(u'.', 0, 0).section(u'@', 0, 0);
    for (const QString& suffix : {full, full.section(u'_', 0, 0)}) {
        const QString candidate = moduleFile + u'.' + suffix;
        if (!suffix.isEmpty() && QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

QHash<QString, QString> ReadResourceFile(const QString& file)
{
    QHash<QString, QString> texts;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return texts;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        const qsizetype bar = line.indexOf(u'|');
        if (line.isEmpty() || line.startsWith(u'#') || bar <= 0)
            continue;
        texts.insert(line.left(bar).toUpper(), line.mid(bar + 1));
    }
    return texts;
}

bool ResourceString(const QString& screenCode, const QString& key, QString& text)
{
    const QString wanted = (screenCode + u':' + key).toUpper();
    for (const auto& texts : std::as_const(Modules().resources)) {
        const auto it = texts.constFind(wanted);
        if (it != texts.cend()) {
            text = *it;
            return true;
        }
    }
    return false;
}

} // namespace aph

#include "tests/layering/layering.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace aph::test {

namespace {

QStringList Cells(const QString& cell)
{
    QStringList names;
    static const QRegularExpression quoted(u"`([^`]+)`"_s);
    for (auto it = quoted.globalMatch(cell); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

QStringList Words(const QString& cell)
{
    QStringList words;
    for (const QString& w : cell.split(u',', Qt::SkipEmptyParts))
        if (!w.trimmed().isEmpty() && w.trimmed() != u"—")
            words << w.trimmed();
    return words;
}

// The table folder a project path lies in ("host/qt/gridview.h" ->
// "host/qt"), or the path's first component when no folder holds it.
QString FolderOf(const QString& path, const std::vector<TLayer>& layers)
{
    QString folder;
    for (const TLayer& layer : layers)
        if (path.startsWith(layer.Folder + u'/') && layer.Folder.size() > folder.size())
            folder = layer.Folder;
    return folder.isEmpty() ? path.section(u'/', 0, 0) : folder;
}

// The Qt module of an angled include: "QtWidgets/QWidget" names it, a bare
// class header (<QWidget>) is looked up among the modules' headers.
QString QtModuleOf(const QString& header, const QString& qtHeaders)
{
    if (header.startsWith(u"Qt") && header.contains(u'/'))
        return header.section(u'/', 0, 0).mid(2);
    if (!header.startsWith(u'Q'))
        return {};
    const QDir dir(qtHeaders);
    for (const QString& module : dir.entryList({u"Qt*"_s}, QDir::Dirs))
        if (QFileInfo::exists(dir.filePath(module + u'/' + header)))
            return module.mid(2);
    return {};
}

QString Check(const QString& include, bool quoted, const TLayer& layer,
              const std::vector<TLayer>& layers, const QString& root, const QString& qtHeaders)
{
    if (quoted) {
        // Every project header is named by its path from the top, so that
        // the rule can be read off the include itself.
        if (!include.contains(u'/'))
            return u"%1: name the header by its path from the top"_s.arg(layer.Folder);
        if (!QFileInfo::exists(QDir(root).filePath(include)))
            return {};
        const QString folder = FolderOf(include, layers);
        if (folder == layer.Folder || layer.Includes.contains(folder))
            return {};
        return u"%1 may not include from %2"_s.arg(layer.Folder, folder);
    }
    const QString module = QtModuleOf(include, qtHeaders);
    if (module.isEmpty() || layer.QtModules.contains(module))
        return {};
    return u"%1 may not use Qt %2"_s.arg(layer.Folder, module);
}

} // namespace

std::vector<TLayer> ReadLayerTable(const QString& contributingFile)
{
    std::vector<TLayer> layers;
    QFile file(contributingFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return layers;
    QTextStream in(&file);
    bool inSection = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u"## "))
            inSection = line == u"## Layers";
        if (!inSection || !line.startsWith(u"| `"))
            continue;
        const QStringList cells = line.mid(1).split(u'|');
        if (cells.size() < 3)
            continue;
        const QStringList folder = Cells(cells[0]);
        if (folder.size() == 1)
            layers.push_back({folder[0], Cells(cells[1]), Words(cells[2])});
    }
    return layers;
}

QStringList LayerViolations(const QString& root, const std::vector<TLayer>& layers,
                            const QString& qtHeaders)
{
    static const QRegularExpression include(uR"(^\s*#\s*include\s*([<"])([^>"]+)[>"])"_s);
    QStringList violations;
    const QDir top(root);
    for (const TLayer& layer : layers) {
        QDirIterator files(top.filePath(layer.Folder), {u"*.h"_s, u"*.cpp"_s}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
                continue;
            QTextStream in(&file);
            for (int number = 1; !in.atEnd(); ++number) {
                const auto m = include.match(in.readLine());
                if (!m.hasMatch())
                    continue;
                const QString why =
                    Check(m.captured(2), m.captured(1) == u"\"", layer, layers, root, qtHeaders);
                if (!why.isEmpty())
                    violations << u"%1:%2: %3 — %4"_s.arg(top.relativeFilePath(path))
                                      .arg(number)
                                      .arg(m.captured(2), why);
            }
        }
    }
    return violations;
}

} // namespace aph::test

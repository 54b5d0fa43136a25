#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace aph::test {

// One row of the layer table: a folder of the project, the folders whose
// headers it may include (its own always), and the Qt modules it may use.
struct TLayer
{
    QString Folder;
    QStringList Includes;
    QStringList QtModules;
};

// The layer table of a CONTRIBUTING.md: the rows of the table under the
// "## Layers" heading whose first cell is a folder in backquotes.
std::vector<TLayer> ReadLayerTable(const QString& contributingFile);

// Every include in the table's folders (under root) that reaches a folder
// of the project above its own, names a project header without its path
// from the top ("storage.h"), or a Qt module its row does not list, as
// "file:line: include — reason". Qt headers given by class name (<QWidget>)
// are found in the Qt module that holds them under qtHeaders.
QStringList LayerViolations(const QString& root, const std::vector<TLayer>& layers,
                            const QString& qtHeaders);

} // namespace aph::test

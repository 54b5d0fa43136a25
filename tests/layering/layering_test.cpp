// The layer table in CONTRIBUTING.md is the rule: a folder includes only the
// folders below it, and Qt Widgets and Gui only in the Qt view and the shell.
#include "tests/layering/layering.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLibraryInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace aph::test;

namespace {

const QString kRoot = QString::fromUtf8(APH_SOURCE_DIR);

QString QtHeaders()
{
    return QLibraryInfo::path(QLibraryInfo::HeadersPath);
}

std::vector<TLayer> ProjectLayers()
{
    return ReadLayerTable(kRoot + u"/CONTRIBUTING.md"_s);
}

void Write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

TEST(Layering, EveryFolderOfProductionCodeHasARowInTheTable)
{
    const std::vector<TLayer> layers = ProjectLayers();
    ASSERT_GE(layers.size(), 10u) << "the table under \"## Layers\" in CONTRIBUTING.md";
    const QDir root(kRoot);
    QDirIterator files(kRoot, {u"*.h"_s, u"*.cpp"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = root.relativeFilePath(files.next());
        const QString top = path.section(u'/', 0, 0);
        if (top == u"tests" || top == u"bench" || top.startsWith(u"build") || top.startsWith(u'.'))
            continue;
        const bool covered = std::any_of(layers.begin(), layers.end(), [&](const TLayer& l) {
            return path.startsWith(l.Folder + u'/');
        });
        EXPECT_TRUE(covered) << path.toStdString() << " lies in no folder of the layer table";
    }
}

TEST(Layering, NoFolderIncludesALayerAboveItOrAQtModuleItMayNotUse)
{
    const QStringList violations = LayerViolations(kRoot, ProjectLayers(), QtHeaders());
    EXPECT_TRUE(violations.isEmpty()) << violations.join(u'\n').toStdString();
}

TEST(Layering, PlantedWrongIncludesAreEachReported)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    ASSERT_TRUE(QFile::copy(kRoot + u"/CONTRIBUTING.md"_s, root + u"/CONTRIBUTING.md"_s));
    for (const char* header :
         {"host/qt/gridview.h", "host/ui/control.h", "host/framework/functions.h", "approval/cli.h",
          "server/net/rpcserver.h", "server/storage/storage.h", "server/common/clock.h"})
        Write(root + u'/' + QString::fromUtf8(header), "#pragma once\n");
    Write(root + u"/approval/planted.cpp"_s, "#include \"approval/cli.h\"\n"
                                             "#include \"cli.h\"\n"
                                             "#include \"host/framework/functions.h\"\n"
                                             "#include \"host/qt/gridview.h\"\n"
                                             "#include <QString>\n"
                                             "#include <QWidget>\n"
                                             "  #  include <QtGui/QPainter>\n"
                                             "#include <vector>\n");
    Write(root + u"/host/data/planted.h"_s, "#include \"host/ui/control.h\"\n");
    // Inside the server, the rooms keep to their rows as the top folders do:
    // the storage reaches neither the network nor the screens' Qt modules.
    Write(root + u"/server/storage/planted.cpp"_s, "#include \"server/common/clock.h\"\n"
                                                   "#include \"server/net/rpcserver.h\"\n"
                                                   "#include \"storage.h\"\n"
                                                   "#include <QTcpSocket>\n");

    QStringList violations =
        LayerViolations(root, ReadLayerTable(root + u"/CONTRIBUTING.md"_s), QtHeaders());
    violations.sort();
    const QStringList expected = {
        u"approval/planted.cpp:2: cli.h"_s,
        u"approval/planted.cpp:4: host/qt/gridview.h"_s,
        u"approval/planted.cpp:6: QWidget — approval may not use Qt Widgets"_s,
        u"approval/planted.cpp:7: QtGui/QPainter"_s,
        u"host/data/planted.h:1: host/ui/control.h — host/data may not include from host/ui"_s,
        u"server/storage/planted.cpp:2: server/net/rpcserver.h — server/storage may not include "
        "from server/net"_s,
        u"server/storage/planted.cpp:3: storage.h — server/storage: name the header by its path "
        "from the top"_s,
        u"server/storage/planted.cpp:4: QTcpSocket — server/storage may not use Qt Network"_s,
    };
    ASSERT_EQ(violations.size(), expected.size()) << violations.join(u'\n').toStdString();
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(violations[i].startsWith(expected[i])) << violations[i].toStdString();
}

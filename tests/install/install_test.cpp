// The installed programs, as a machine gets them: this build installed with
// `cmake --install` into a temporary prefix, or into a DESTDIR with the
// /usr prefix of the packages, and the installed aph-server and aph-host
// run from there, with nothing of the build tree on their way.
#include "service/rpcclient.h"
#include "tests/support/startedprocess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct TRun
{
    int Code = -1;
    QString Out;
    QString Err;
};

// The environment of the installed programs: no library path that could
// hide a wrong RPATH.
QProcessEnvironment CleanEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"LD_LIBRARY_PATH"_s);
    return env;
}

TRun RunProgram(const QString& program, const QStringList& args,
                const QProcessEnvironment& env = CleanEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    TRun run;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished(5000);
    }
    run.Out = QString::fromUtf8(p.readAllStandardOutput());
    run.Err = QString::fromUtf8(p.readAllStandardError());
    if (p.exitStatus() == QProcess::NormalExit)
        run.Code = p.exitCode();
    return run;
}

QString ReadText(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The value of the first "Key=value" line of a unit file.
QString UnitValue(const QString& unit, const QString& key)
{
    for (const QString& line : unit.split(u'\n'))
        if (line.startsWith(key + u'='))
            return line.mid(key.size() + 1).trimmed();
    return {};
}

const QJsonArray kPropAll{u"0001"_s, QString(), u"T"_s};

class Installed : public ::testing::Test
{
protected:
    // Installs the build under the prefix (inside destdir when given).
    void Install(const QString& prefix, const QString& destdir = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!destdir.isEmpty())
            env.insert(u"DESTDIR"_s, destdir);
        const TRun run =
            RunProgram(QStringLiteral(APH_CMAKE),
                       {u"--install"_s, QStringLiteral(APH_BUILD_DIR), u"--prefix"_s, prefix}, env);
        ASSERT_EQ(run.Code, 0) << run.Out.toStdString() << run.Err.toStdString();
    }
    // A demo database made by the installed aph-server, and ANA's token.
    void InitDatabase(const QString& server)
    {
        m_db = u"sqlite:"_s + m_dir.filePath(u"aph.db"_s);
        const TRun init = RunProgram(server, {u"init"_s, m_db, u"--demo"_s});
        ASSERT_EQ(init.Code, 0) << init.Err.toStdString();
        const TRun token = RunProgram(server, {u"token"_s, m_db, u"ANA"_s});
        ASSERT_EQ(token.Code, 0) << token.Err.toStdString();
        m_token = token.Out.trimmed();
    }
    QTemporaryDir m_dir;
    QString m_db;
    QString m_token;
};

} // namespace

TEST_F(Installed, EveryFileLandsUnderThePrefixAndTheProgramsLinkFromThere)
{
    const QString prefix = m_dir.filePath(u"opt/aph"_s);
    ASSERT_NO_FATAL_FAILURE(Install(prefix));
    for (const char* file :
         {"bin/aph-server", "bin/aph-host", "lib/aph/libPkg_Aph31500.so",
          "lib/aph/libPkg_Aph31500.so.pt_BR", "lib/aph/libaph_data.so", "lib/aph/libaph_ui.so",
          "lib/aph/libaph_framework.so", "lib/systemd/system/aph-server.service",
          "etc/aph/aph-server.conf", "share/doc/aph/README.md", "share/doc/aph/operations.md"})
        EXPECT_TRUE(QFileInfo(prefix + u'/' + QLatin1String(file)).isFile()) << file;

    // Each of the project's libraries resolves inside the prefix, through
    // the installed RPATH, never in the build tree.
    for (const char* binary : {"bin/aph-server", "bin/aph-host", "lib/aph/libPkg_Aph31500.so",
                               "lib/aph/libaph_framework.so"}) {
        const TRun ldd = RunProgram(u"ldd"_s, {prefix + u'/' + QLatin1String(binary)});
        ASSERT_EQ(ldd.Code, 0) << binary << ldd.Err.toStdString();
        EXPECT_FALSE(ldd.Out.contains(u"not found"_s)) << binary << ldd.Out.toStdString();
        int own = 0;
        for (const QString& line : ldd.Out.split(u'\n')) {
            if (!line.trimmed().startsWith(u"libaph_"_s))
                continue;
            ++own;
            const QString path = QDir::cleanPath(line.section(u"=> "_s, 1).section(u" ("_s, 0, 0));
            EXPECT_TRUE(path.startsWith(prefix + u"/lib/aph/"_s))
                << binary << ": " << line.toStdString();
        }
        EXPECT_GT(own, 0) << binary << ldd.Out.toStdString();
    }
}

TEST_F(Installed, TheUnitRunsTheInstalledServerWithTheShippedConfiguration)
{
    // As the packages install: prefix /usr, the configuration in /etc.
    const QString root = m_dir.filePath(u"root"_s);
    ASSERT_NO_FATAL_FAILURE(Install(u"/usr"_s, root));
    const QString unit = ReadText(root + u"/usr/lib/systemd/system/aph-server.service"_s);
    QStringList command = UnitValue(unit, u"ExecStart"_s).split(u' ', Qt::SkipEmptyParts);
    ASSERT_GE(command.size(), 4) << unit.toStdString();
    // The unit's program and configuration are where the install put them.
    const QString program = root + command.takeFirst();
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();
    const qsizetype config = command.indexOf(u"--config"_s);
    ASSERT_GE(config, 0);
    command[config + 1] = root + command[config + 1];
    const QString conf = ReadText(command[config + 1]);
    ASSERT_FALSE(conf.isEmpty()) << command[config + 1].toStdString();
    // The database it names is in the state folder the unit gives the
    // service, the one folder the service may write to.
    const QString state = u"/var/lib/"_s + UnitValue(unit, u"StateDirectory"_s) + u'/';
    EXPECT_TRUE(conf.contains(u"\ndatabase = sqlite:"_s + state)) << conf.toStdString();
    EXPECT_TRUE(UnitValue(unit, u"ReadWritePaths"_s).split(u' ').contains(state.chopped(1)));

    // The unit's command, with a database of the test's and a free port
    // given on top of the shipped configuration.
    ASSERT_NO_FATAL_FAILURE(InitDatabase(program));
    TStartedProcess server(program, command + QStringList{m_db, u"--port"_s, u"0"_s},
                           CleanEnvironment());
    ASSERT_NE(server.Port(), 0) << server.FirstLine().toStdString()
                                << server.Errors().toStdString();
    EXPECT_TRUE(server.FirstLine().startsWith(u"aph-server escutando em 127.0.0.1:"_s))
        << server.FirstLine().toStdString();
    TRpcClient client;
    client.Connect(u"127.0.0.1"_s, server.Port());
    client.Login(u"ANA"_s, m_token);
    EXPECT_FALSE(client.Call(u"GetProp"_s, kPropAll).isNull());
}

TEST_F(Installed, TheInstalledHostOpensTheInstalledModule)
{
    const QString xvfbRun = QStandardPaths::findExecutable(u"xvfb-run"_s);
    if (xvfbRun.isEmpty())
        GTEST_SKIP() << "xvfb-run not installed";
    const QString prefix = m_dir.filePath(u"usr"_s);
    ASSERT_NO_FATAL_FAILURE(Install(prefix));
    ASSERT_NO_FATAL_FAILURE(InitDatabase(prefix + u"/bin/aph-server"_s));
    TStartedProcess server(prefix + u"/bin/aph-server"_s, {u"serve"_s, m_db, u"--port"_s, u"0"_s},
                           CleanEnvironment());
    ASSERT_NE(server.Port(), 0) << server.Errors().toStdString();

    const QString ini = m_dir.filePath(u"aph-host.ini"_s);
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // No database key: the installed desktop reads its lists through
        // the server.
        f.write(u"[host]\noperator=ANA\nbranch=0001\nhost=127.0.0.1\nport=%1\ntoken=%2\n"_s
                    .arg(server.Port())
                    .arg(m_token)
                    .toUtf8());
    }
    // The host finds the module in its ../lib/aph by itself (no --module),
    // opens the approval screen, and saves its picture.
    const QString shot = m_dir.filePath(u"tela.png"_s);
    QProcessEnvironment env = CleanEnvironment();
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"DISPLAY"_s);
    env.insert(u"LANG"_s, u"pt_BR.UTF-8"_s);
    env.insert(u"XDG_CONFIG_HOME"_s, m_dir.path());
    const TRun host =
        RunProgram(xvfbRun,
                   {u"-a"_s, u"-s"_s, u"-screen 0 1280x800x24"_s, prefix + u"/bin/aph-host"_s,
                    u"--config"_s, ini, u"--screenshot"_s, shot},
                   env);
    ASSERT_EQ(host.Code, 0) << host.Err.toStdString();
    EXPECT_TRUE(host.Err.contains(u"Apuração de CHT aberta em"_s)) << host.Err.toStdString();
    EXPECT_FALSE(QImage(shot).isNull());
}

TEST_F(Installed, ThePackagesHoldEveryInstalledFileOnceAndTheirProgramsRun)
{
    if (QStandardPaths::findExecutable(u"dpkg-deb"_s).isEmpty())
        GTEST_SKIP() << "dpkg-deb not installed";
    const QString out = m_dir.filePath(u"debs"_s);
    const TRun cpack =
        RunProgram(QStringLiteral(APH_CPACK), {u"-G"_s, u"DEB"_s, u"-B"_s, out, u"--config"_s,
                                               QStringLiteral(APH_BUILD_DIR "/CPackConfig.cmake")});
    ASSERT_EQ(cpack.Code, 0) << cpack.Out.toStdString() << cpack.Err.toStdString();

    // Each package's files, as dpkg would install them.
    const QString arch = RunProgram(u"dpkg"_s, {u"--print-architecture"_s}).Out.trimmed();
    QHash<QString, QStringList> files;
    for (const QString& name : {u"aph-server"_s, u"aph-desktop"_s, u"aph-common"_s}) {
        const QString deb = u"%1/%2_%3_%4.deb"_s.arg(out, name, QStringLiteral(APH_VERSION), arch);
        const TRun contents = RunProgram(u"dpkg-deb"_s, {u"-c"_s, deb});
        ASSERT_EQ(contents.Code, 0) << name.toStdString() << contents.Err.toStdString();
        for (const QString& line : contents.Out.split(u'\n', Qt::SkipEmptyParts))
            if (line.startsWith(u'-'))
                files[name] << line.section(u' ', -1).mid(1);
        const QString root = m_dir.filePath(u"root"_s);
        ASSERT_EQ(RunProgram(u"dpkg-deb"_s, {u"-x"_s, deb, root}).Code, 0);
        const QString control = m_dir.filePath(u"control-"_s + name);
        ASSERT_EQ(RunProgram(u"dpkg-deb"_s, {u"-e"_s, deb, control}).Code, 0);
        // The maintainer scripts parse.
        for (const QString& script : {u"postinst"_s, u"prerm"_s, u"postrm"_s}) {
            if (QFileInfo::exists(control + u'/' + script)) {
                EXPECT_EQ(RunProgram(u"sh"_s, {u"-n"_s, control + u'/' + script}).Code, 0)
                    << name.toStdString() << " " << script.toStdString();
            }
        }
    }
    EXPECT_TRUE(files[u"aph-server"_s].contains(u"/usr/bin/aph-server"_s));
    EXPECT_TRUE(files[u"aph-server"_s].contains(u"/usr/lib/systemd/system/aph-server.service"_s));
    EXPECT_TRUE(files[u"aph-server"_s].contains(u"/etc/aph/aph-server.conf"_s));
    EXPECT_TRUE(files[u"aph-desktop"_s].contains(u"/usr/bin/aph-host"_s));
    EXPECT_TRUE(files[u"aph-desktop"_s].contains(u"/usr/lib/aph/libPkg_Aph31500.so"_s));
    // The configuration is a conffile: an upgrade keeps the local edits.
    EXPECT_EQ(ReadText(m_dir.filePath(u"control-aph-server/conffiles"_s)).trimmed(),
              u"/etc/aph/aph-server.conf"_s);

    // Every file the install rules copy is in exactly one package.
    const QString destdir = m_dir.filePath(u"installed"_s);
    ASSERT_NO_FATAL_FAILURE(Install(u"/usr"_s, destdir));
    QStringList installed;
    QDirIterator it(destdir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        installed << it.next().mid(destdir.size());
    QStringList packaged =
        files[u"aph-server"_s] + files[u"aph-desktop"_s] + files[u"aph-common"_s];
    installed.sort();
    packaged.sort();
    EXPECT_EQ(packaged, installed);

    // The server and the host's libraries unpacked together run from there:
    // the stripped programs keep their RPATH.
    const QString root = m_dir.filePath(u"root"_s);
    const TRun init = RunProgram(root + u"/usr/bin/aph-server"_s,
                                 {u"init"_s, u"sqlite:"_s + m_dir.filePath(u"pkg.db"_s)});
    EXPECT_EQ(init.Code, 0) << init.Err.toStdString();
    const TRun ldd = RunProgram(u"ldd"_s, {root + u"/usr/bin/aph-host"_s});
    EXPECT_FALSE(ldd.Out.contains(u"not found"_s)) << ldd.Out.toStdString();
    EXPECT_TRUE(ldd.Out.contains(root + u"/usr/bin/../lib/aph/libaph_framework.so"_s))
        << ldd.Out.toStdString();
}

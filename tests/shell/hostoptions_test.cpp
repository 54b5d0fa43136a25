// aph-host's environment: from the INI file, overridden on the command
// line, and refused with the key named when a value is missing or wrong.
#include "host/data/exceptions.h"
#include "shell/hostoptions.h"
#include "tests/support/env.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace aph;
using namespace aph::test;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

struct HostOptions : ::testing::Test
{
    QTemporaryDir dir;
    QString ini;
    void Write(const char* text)
    {
        ini = dir.filePath(S("aph-host.ini"));
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QString Refusal(const QStringList& args)
    {
        try {
            ParseHostOptions(args);
        } catch (const Exception& e) {
            return e.Message();
        }
        return {};
    }
};

const char* const kComplete = "[host]\n"
                              "operator=ANA\n"
                              "branch=0001\n"
                              "host=127.0.0.1\n"
                              "port=8090\n"
                              "token=abc\n"
                              "database=sqlite:/tmp/x.db\n";

} // namespace

TEST_F(HostOptions, TheFileGivesTheEnvironmentAndTheCommandLineOverridesIt)
{
    Write(kComplete);
    THostOptions o = ParseHostOptions({S("--config"), ini});
    EXPECT_EQ(o.Environment.Operador, S("ANA"));
    EXPECT_EQ(o.Environment.FiliProc, S("0001"));
    EXPECT_EQ(o.Environment.WebURL, S("127.0.0.1"));
    EXPECT_EQ(o.Environment.WebPort, 8090);
    EXPECT_EQ(o.Environment.Token, S("abc"));
    EXPECT_EQ(o.Environment.Database, S("sqlite:/tmp/x.db"));
    EXPECT_FALSE(o.Open);

    o = ParseHostOptions({S("--config"), ini, S("--port"), S("9001"), S("--operator"), S("BRUNO"),
                          S("--screenshot"), S("/tmp/a.png")});
    EXPECT_EQ(o.Environment.WebPort, 9001);
    EXPECT_EQ(o.Environment.Operador, S("BRUNO"));
    EXPECT_TRUE(o.Open) << "a screenshot needs the screen open";
    EXPECT_EQ(o.Screenshot, S("/tmp/a.png"));
}

TEST_F(HostOptions, AMissingOrBrokenValueIsRefusedNamingItsKey)
{
    Write("[host]\noperator=ANA\nbranch=0001\nhost=127.0.0.1\nport=8090\n"
          "database=sqlite:/tmp/x.db\n");
    QString why = Refusal({S("--config"), ini});
    EXPECT_TRUE(why.contains(S("'token'"))) << why.toStdString();
    EXPECT_TRUE(why.contains(ini));
    EXPECT_TRUE(why.contains(S("--token")));
    EXPECT_TRUE(Refusal({S("--config"), ini, S("--token"), S("t")}).isEmpty());

    Write(kComplete);
    why = Refusal({S("--config"), ini, S("--port"), S("80a")});
    EXPECT_TRUE(why.contains(S("'port'")) && why.contains(S("80a"))) << why.toStdString();
    EXPECT_TRUE(Refusal({S("--config"), ini, S("--port"), S("70000")}).contains(S("'port'")));
    why = Refusal({S("--config"), ini, S("--database"), S("/tmp/x.db")});
    EXPECT_TRUE(why.contains(S("'database'"))) << why.toStdString();
    EXPECT_TRUE(Refusal({S("--config"), ini, S("--host"), S("  ")}).contains(S("'host'")));
    EXPECT_TRUE(Refusal({S("--config"), ini, S("--port")}).contains(S("--port")));
    EXPECT_TRUE(Refusal({S("--config"), ini, S("--porta"), S("1")}).contains(S("--porta")));
}

TEST_F(HostOptions, TheFileIsFoundInTheUsersConfigurationFolderUnlessNamed)
{
    ScopedEnv config("XDG_CONFIG_HOME", dir.path().toLocal8Bit().constData());
    EXPECT_EQ(DefaultConfigFile(), dir.filePath(S("aph/aph-host.ini")));
    // Without the file, the command line alone may give everything.
    const THostOptions o = ParseHostOptions(
        {S("--operator"), S("ANA"), S("--branch"), S("0001"), S("--host"), S("localhost"),
         S("--port"), S("8090"), S("--token"), S("t"), S("--database"), S("sqlite:/tmp/x.db")});
    EXPECT_EQ(o.ConfigFile, DefaultConfigFile());
    const QString why = Refusal({S("--operator"), S("ANA")});
    EXPECT_TRUE(why.contains(S("'branch'")) && why.contains(S("não encontrado")))
        << why.toStdString();
    // A file named on the command line must exist.
    EXPECT_TRUE(Refusal({S("--config"), dir.filePath(S("nada.ini"))}).contains(S("nada.ini")));
}

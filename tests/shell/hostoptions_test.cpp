// aph-host's environment: from the INI file, overridden on the command
// line, and refused with the key named when a value is missing or wrong.
#include "host/data/exceptions.h"
#include "shell/hostoptions.h"
#include "tests/support/env.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct HostOptions : ::testing::Test
{
    QTemporaryDir dir;
    QString ini;
    void Write(const char* text)
    {
        ini = dir.filePath(u"aph-host.ini"_s);
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    // The complete file with more lines.
    void WriteWith(const QByteArray& more);
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

void HostOptions::WriteWith(const QByteArray& more)
{
    const QByteArray text = kComplete + more;
    Write(text.constData());
}

} // namespace

TEST_F(HostOptions, TheFileGivesTheEnvironmentAndTheCommandLineOverridesIt)
{
    Write(kComplete);
    THostOptions o = ParseHostOptions({u"--config"_s, ini});
    EXPECT_EQ(o.Environment.Operador, u"ANA"_s);
    EXPECT_EQ(o.Environment.FiliProc, u"0001"_s);
    EXPECT_EQ(o.Environment.WebURL, u"127.0.0.1"_s);
    EXPECT_EQ(o.Environment.WebPort, 8090);
    EXPECT_EQ(o.Environment.Token, u"abc"_s);
    EXPECT_EQ(o.Environment.Database, u"sqlite:/tmp/x.db"_s);
    EXPECT_FALSE(o.Open);

    o = ParseHostOptions({u"--config"_s, ini, u"--port"_s, u"9001"_s, u"--operator"_s, u"BRUNO"_s,
                          u"--screenshot"_s, u"/tmp/a.png"_s});
    EXPECT_EQ(o.Environment.WebPort, 9001);
    EXPECT_EQ(o.Environment.Operador, u"BRUNO"_s);
    EXPECT_TRUE(o.Open) << "a screenshot needs the screen open";
    EXPECT_EQ(o.Screenshot, u"/tmp/a.png"_s);
}

TEST_F(HostOptions, DatesAndNumbersAreBrazilianUnlessTheFileOrCommandLineSaysOtherwise)
{
    ScopedEnv lang("LANG", "C.UTF-8"), all("LC_ALL", "C.UTF-8");
    Write(kComplete);
    EXPECT_EQ(ParseHostOptions({u"--config"_s, ini}).Locale, u"pt_BR"_s);
    EXPECT_EQ(ParseHostOptions({u"--config"_s, ini, u"--locale"_s, u"en_US"_s}).Locale, u"en_US"_s);
    const QByteArray withLocale = QByteArray(kComplete) + "locale=en_GB\n";
    Write(withLocale.constData());
    EXPECT_EQ(ParseHostOptions({u"--config"_s, ini}).Locale, u"en_GB"_s);
}

TEST_F(HostOptions, AMissingOrBrokenValueIsRefusedNamingItsKey)
{
    Write("[host]\noperator=ANA\nbranch=0001\nhost=127.0.0.1\nport=8090\n"
          "database=sqlite:/tmp/x.db\n");
    QString why = Refusal({u"--config"_s, ini});
    EXPECT_TRUE(why.contains(u"'token'"_s)) << why.toStdString();
    EXPECT_TRUE(why.contains(ini));
    EXPECT_TRUE(why.contains(u"--token"_s));
    EXPECT_TRUE(Refusal({u"--config"_s, ini, u"--token"_s, u"t"_s}).isEmpty());

    Write(kComplete);
    why = Refusal({u"--config"_s, ini, u"--port"_s, u"80a"_s});
    EXPECT_TRUE(why.contains(u"'port'"_s) && why.contains(u"80a"_s)) << why.toStdString();
    EXPECT_TRUE(Refusal({u"--config"_s, ini, u"--port"_s, u"70000"_s}).contains(u"'port'"_s));
    why = Refusal({u"--config"_s, ini, u"--database"_s, u"/tmp/x.db"_s});
    EXPECT_TRUE(why.contains(u"'database'"_s)) << why.toStdString();
    EXPECT_TRUE(Refusal({u"--config"_s, ini, u"--host"_s, u"  "_s}).contains(u"'host'"_s));
    EXPECT_TRUE(Refusal({u"--config"_s, ini, u"--port"_s}).contains(u"--port"_s));
    EXPECT_TRUE(Refusal({u"--config"_s, ini, u"--porta"_s, u"1"_s}).contains(u"--porta"_s));
}

TEST_F(HostOptions, TheFileIsFoundInTheUsersConfigurationFolderUnlessNamed)
{
    ScopedEnv config("XDG_CONFIG_HOME", dir.path().toLocal8Bit().constData());
    EXPECT_EQ(DefaultConfigFile(), dir.filePath(u"aph/aph-host.ini"_s));
    // Without the file, the command line alone may give everything.
    const THostOptions o = ParseHostOptions(
        {u"--operator"_s, u"ANA"_s, u"--branch"_s, u"0001"_s, u"--host"_s, u"localhost"_s,
         u"--port"_s, u"8090"_s, u"--token"_s, u"t"_s, u"--database"_s, u"sqlite:/tmp/x.db"_s});
    EXPECT_EQ(o.ConfigFile, DefaultConfigFile());
    const QString why = Refusal({u"--operator"_s, u"ANA"_s});
    EXPECT_TRUE(why.contains(u"'branch'"_s) && why.contains(u"não encontrado"_s))
        << why.toStdString();
    // A file named on the command line must exist.
    EXPECT_TRUE(Refusal({u"--config"_s, dir.filePath(u"nada.ini"_s)}).contains(u"nada.ini"_s));
}

TEST_F(HostOptions, TlsTakesTheUsualSpellingsAndTheAuthoritySitsBesideTheFile)
{
    Write(kComplete);
    EXPECT_FALSE(ParseHostOptions({u"--config"_s, ini}).Environment.Tls) << "plain by default";
    for (const char* on : {"1", "sim", "SIM", "true", "yes"}) {
        WriteWith(QByteArray("tls=") + on + "\nca=certs/ca.pem\n");
        const THostEnvironment env = ParseHostOptions({u"--config"_s, ini}).Environment;
        EXPECT_TRUE(env.Tls) << on;
        EXPECT_EQ(env.CaFile, dir.filePath(u"certs/ca.pem"_s)) << on;
    }
    for (const char* off : {"0", "não", "nao", "false", "no"}) {
        WriteWith(QByteArray("tls=") + off + "\n");
        EXPECT_FALSE(ParseHostOptions({u"--config"_s, ini}).Environment.Tls) << off;
    }
    // The command line overrides both; its path is taken as given.
    const THostEnvironment env =
        ParseHostOptions({u"--config"_s, ini, u"--tls"_s, u"1"_s, u"--ca"_s, u"/etc/aph/ca.pem"_s})
            .Environment;
    EXPECT_TRUE(env.Tls);
    EXPECT_EQ(env.CaFile, u"/etc/aph/ca.pem"_s);
    EXPECT_TRUE(
        ParseHostOptions({u"--config"_s, ini, u"--tls"_s, u"sim"_s}).Environment.CaFile.isEmpty())
        << "no authority: the system's";
}

TEST_F(HostOptions, AnUnknownTlsValueOrAnAuthorityWithoutTlsIsRefused)
{
    WriteWith("tls=talvez\n");
    QString why = Refusal({u"--config"_s, ini});
    EXPECT_TRUE(why.contains(u"'tls'"_s) && why.contains(u"talvez"_s)) << why.toStdString();
    WriteWith("ca=/etc/aph/ca.pem\n");
    why = Refusal({u"--config"_s, ini});
    EXPECT_TRUE(why.contains(u"'ca'"_s) && why.contains(u"tls"_s)) << why.toStdString();
    EXPECT_TRUE(Refusal({u"--config"_s, ini, u"--tls"_s, u"1"_s}).isEmpty());
}

namespace {

// The complete file with another "host" line.
QList<TServerAddress> ServersOf(HostOptions& t, const QByteArray& hostLine)
{
    QByteArray text(kComplete);
    text.replace(QByteArray("host=127.0.0.1"), QByteArray(QByteArray("host=") + hostLine));
    t.Write(text.constData());
    return ParseHostOptions({u"--config"_s, t.ini}).Environment.Servers;
}

} // namespace

TEST_F(HostOptions, SeveralServersAreListedInOrderEachWithItsPortOrTheCommonOne)
{
    using S = QList<TServerAddress>;
    EXPECT_EQ(ServersOf(*this, "127.0.0.1"), (S{{u"127.0.0.1"_s, 8090}})) << "one, as always";
    EXPECT_EQ(ServersOf(*this, "app1, app2:9001 ,10.0.0.3"),
              (S{{u"app1"_s, 8090}, {u"app2"_s, 9001}, {u"10.0.0.3"_s, 8090}}));
    // Quoted, the INI value is one string; unquoted, QSettings splits it.
    EXPECT_EQ(ServersOf(*this, "\"app1,app2:9001\""), (S{{u"app1"_s, 8090}, {u"app2"_s, 9001}}));
    EXPECT_EQ(ServersOf(*this, "[::1]:9002,[fd00::5],::1"),
              (S{{u"::1"_s, 9002}, {u"fd00::5"_s, 8090}, {u"::1"_s, 8090}}));

    // The first server is the environment's host and port; the command
    // line's list replaces the file's.
    Write(kComplete);
    const THostEnvironment env =
        ParseHostOptions({u"--config"_s, ini, u"--host"_s, u"app2:9001,app1"_s}).Environment;
    EXPECT_EQ(env.WebURL, u"app2"_s);
    EXPECT_EQ(env.WebPort, 9001);
    EXPECT_EQ(env.Servers, (S{{u"app2"_s, 9001}, {u"app1"_s, 8090}}));
    EXPECT_EQ((TServerAddress{u"fd00::5"_s, 8090}).Text(), u"[fd00::5]:8090"_s);
}

TEST_F(HostOptions, AnEmptyServerOrABadPortInTheListIsRefusedNamingTheEntry)
{
    Write(kComplete);
    const auto refusal = [&](const QString& hosts) {
        return Refusal({u"--config"_s, ini, u"--host"_s, hosts});
    };
    for (const QString& bad : {u"app1,,app2"_s, u"app1,"_s, u",app1"_s, u":9000"_s, u"[]:9000"_s}) {
        const QString why = refusal(bad);
        EXPECT_TRUE(why.contains(u"'host'"_s) && why.contains(u"vírgula"_s)) << why.toStdString();
    }
    for (const char* port : {"0", "65536", "80a", ""}) {
        const QString entry = u"app2:"_s + QString::fromLatin1(port);
        const QString why = refusal(u"app1,"_s + entry);
        EXPECT_TRUE(why.contains(u"'host'"_s) && why.contains(u"'%1'"_s.arg(entry)) &&
                    why.contains(u"1 a 65535"_s))
            << why.toStdString();
    }
    for (const QString& bad : {u"[::1"_s, u"[::1]9000"_s, u"[::1]:x"_s})
        EXPECT_TRUE(refusal(bad).contains(u"'host'"_s)) << bad.toStdString();
    EXPECT_TRUE(refusal(u"app1:65535,[::1]:1"_s).isEmpty());
}

// A desktop needs no database of its own: without the key its lookups go
// through the server. A file holding the token that others may read is
// said at start, as ssh does for keys.
TEST_F(HostOptions, TheDatabaseIsOptionalAndATokenOthersMayReadIsWarned)
{
    Write("[host]\noperator=ANA\nbranch=0001\nhost=127.0.0.1\nport=8090\ntoken=abc\n");
    const auto owner = QFile::ReadOwner | QFile::WriteOwner;
    const auto warning = [this] {
        return ParseHostOptions({u"--config"_s, ini}).Warning;
    };
    ASSERT_TRUE(QFile::setPermissions(ini, owner));
    EXPECT_TRUE(ParseHostOptions({u"--config"_s, ini}).Environment.Database.isEmpty());
    EXPECT_TRUE(warning().isEmpty());
    for (const QFile::Permission other : {QFile::ReadGroup, QFile::ReadOther}) {
        ASSERT_TRUE(QFile::setPermissions(ini, owner | other));
        EXPECT_EQ(warning(), u"Aviso: %1 guarda o token do operador e pode ser lido por outros "
                             "usuários deste computador; restrinja-o com: chmod 600 %1"_s.arg(ini));
    }
    // Without a token in it, the file keeps no secret.
    Write("[host]\noperator=ANA\nbranch=0001\nhost=127.0.0.1\nport=8090\n");
    ASSERT_TRUE(QFile::setPermissions(ini, owner | QFile::ReadOther));
    EXPECT_TRUE(ParseHostOptions({u"--config"_s, ini, u"--token"_s, u"t"_s}).Warning.isEmpty());
}

// aph-server serve --config: the options from a "key = value" file, under
// those of the command line, and the file's faults refused with their
// place before anything is opened (a value the command line overrides is
// not read: the faults here are in the values that count).
#include "tests/support/serverfixture.h"
#include "tests/support/startedprocess.h"

#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const QJsonArray kPropAll{u"0001"_s, QString(), u"T"_s};

class ServerConfig : public ServerTest
{
protected:
    // A configuration file holding the text; its path.
    QString Config(const QString& text)
    {
        const QString file = m_dir.filePath(u"aph-server-%1.conf"_s.arg(++m_files));
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        return file;
    }
    // aph-server serve with the arguments, started and read up to its
    // first line.
    std::unique_ptr<TStartedProcess> Serve(const QStringList& args)
    {
        return std::make_unique<TStartedProcess>(QStringLiteral(APH_SERVER_BIN),
                                                 QStringList{u"serve"_s} + args);
    }
    QTemporaryDir m_dir;
    int m_files = 0;
};

} // namespace

TEST_F(ServerConfig, TheFileAloneNamesTheDatabaseAndTheOptions)
{
    const QString file = Config(u"# aph-server de teste\n"
                                "\n"
                                "database = %1\n"
                                "listen=127.0.0.1\n"
                                "   port =   0   \n"
                                "workers = 2\n"
                                "no-auth = não\n"_s.arg(m_db->Spec()));
    auto server = Serve({u"--config"_s, file});
    ASSERT_NE(server->Port(), 0) << server->FirstLine().toStdString()
                                 << server->Errors().toStdString();
    EXPECT_FALSE(server->FirstLine().contains(u"sem autenticação"_s));

    // The database of the file is the one served: ANA's token logs in.
    TRpcClient client;
    client.Connect(u"127.0.0.1"_s, server->Port());
    client.Login(u"ANA"_s, m_token);
    EXPECT_FALSE(Checked(client, u"GetProp"_s, kPropAll).Rows.empty());
}

TEST_F(ServerConfig, TheCommandLineOverridesTheFileAndFlagsComeFromIt)
{
    // Every value the command line gives would keep the file's server
    // from starting: a database that does not exist, a port already taken.
    const QString file = Config(u"database = sqlite:%1/nao-existe/aph.db\n"
                                "port = %2\n"
                                "no-auth = sim\n"_s.arg(m_dir.path())
                                    .arg(m_server->Port()));
    auto server = Serve({m_db->Spec(), u"--config"_s, file, u"--port"_s, u"0"_s});
    ASSERT_NE(server->Port(), 0) << server->FirstLine().toStdString()
                                 << server->Errors().toStdString();
    EXPECT_NE(server->Port(), m_server->Port());
    // no-auth from the file: calls without Login are answered.
    EXPECT_TRUE(server->FirstLine().contains(u"sem autenticação"_s))
        << server->FirstLine().toStdString();
    TRpcClient client;
    client.Connect(u"127.0.0.1"_s, server->Port());
    EXPECT_FALSE(Checked(client, u"GetProp"_s, kPropAll).Rows.empty());

    // Without the overrides, the file's taken port stops it.
    auto fromFile = Serve({m_db->Spec(), u"--config"_s, file});
    EXPECT_EQ(fromFile->Port(), 0) << fromFile->FirstLine().toStdString();
    EXPECT_NE(fromFile->ExitCode(), 0);
}

TEST_F(ServerConfig, FaultsOfTheFileAreRefusedWithTheFileAndLine)
{
    struct Case
    {
        QString text;
        int line;
        QString says;       // a word the message must hold
        QString never = {}; // what the line holds that it must not repeat
    };
    const QString head = u"# comentário\ndatabase = %1\n"_s.arg(m_db->Spec());
    const QList<Case> cases{
        {head + u"prot = 8090\n"_s, 3, u"prot"_s},
        {head + u"\nport = setenta\n"_s, 4, u"--port"_s, u"setenta"_s},
        {head + u"port = 70000\n"_s, 3, u"--port"_s, u"70000"_s},
        {head + u"workers = 0\n"_s, 3, u"--workers"_s},
        {head + u"listen = 127.0.0.300\n"_s, 3, u"Endereço inválido"_s, u"127.0.0.300"_s},
        {head + u"insecure = talvez\n"_s, 3, u"insecure"_s, u"talvez"_s},
        {head + u"log-level = todos\n"_s, 3, u"nível de registro"_s, u"todos"_s},
        {head + u"trusted-proxy = 10.0.0.0/99\n"_s, 3, u"--trusted-proxy"_s, u"10.0.0.0"_s},
        {head + u"port 8090\n"_s, 3, u"chave = valor"_s, u"8090"_s},
        // A line that lost its "=" may hold the database's password.
        {u"database: postgresql://aph:Segredo1@db/aph\n"_s, 1, u"chave = valor"_s, u"Segredo1"_s},
        {u"database postgresql://aph:Segredo2@db/aph?a=b\n"_s, 1, u"chave desconhecida"_s,
         u"Segredo2"_s},
        {u"database = postgre://aph:Segredo3@db/aph\n"_s, 1, u"database"_s, u"Segredo3"_s},
        {head + u"idle-timeout =\n"_s, 3, u"idle-timeout"_s},
        {head + u"port = 0\nport = 1\n"_s, 4, u"linha 3"_s},
        {u"database = oracle://x\n"_s, 1, u"database"_s, u"oracle"_s},
        {head + u"--port = 0\n"_s, 3, u"--port"_s},
    };
    for (const Case& c : cases) {
        const QString file = Config(c.text);
        auto server = Serve({u"--config"_s, file});
        EXPECT_EQ(server->ExitCode(), 2)
            << c.text.toStdString() << server->FirstLine().toStdString();
        const QString err = server->Errors();
        const QString where = u"%1, linha %2: "_s.arg(file).arg(c.line);
        EXPECT_TRUE(err.startsWith(where)) << c.text.toStdString() << err.toStdString();
        EXPECT_TRUE(err.section(u'\n', 0, 0).contains(c.says))
            << c.text.toStdString() << err.toStdString();
        if (!c.never.isEmpty()) {
            EXPECT_FALSE(err.contains(c.never)) << c.text.toStdString() << err.toStdString();
        }
    }

    // A file that cannot be read is refused the same way.
    const QString missing = m_dir.filePath(u"nenhum.conf"_s);
    auto server = Serve({u"--config"_s, missing});
    EXPECT_EQ(server->ExitCode(), 2);
    EXPECT_TRUE(server->Errors().contains(missing)) << server->Errors().toStdString();
}

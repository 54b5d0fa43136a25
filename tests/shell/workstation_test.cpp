// "aph-server estacao" writes a workstation's configuration that the
// host's own reader takes as it is and whose token logs in to the server;
// a file readable by its owner only, never written over an existing name,
// and no token left behind by a refusal.
#include "host/data/exceptions.h"
#include "shell/hostoptions.h"
#include "tests/support/serverfixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class WorkstationTest : public ServerTest
{
protected:
    QTemporaryDir dir;

    int Estacao(const QStringList& args, QString* text = nullptr)
    {
        QString out, err;
        const int code =
            RunServerCommand(QStringList{u"estacao"_s, m_db->Spec()} + args, &out, &err);
        if (text)
            *text = out + err;
        return code;
    }
    qint64 Tokens() { return m_db->Scalar(u"SELECT COUNT(*) FROM APH_TOKEN"_s).toLongLong(); }
};

mode_t Mode(const QString& path)
{
    struct stat st
    {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

TEST_F(WorkstationTest, WritesAnIniTheHostReadsAndWhoseTokenLogsIn)
{
    const QString plain = dir.filePath(u"bruno.ini"_s);
    QString text;
    ASSERT_EQ(
        Estacao({u"bruno"_s, u"--host"_s, u"127.0.0.1"_s, u"--port"_s,
                 QString::number(m_server->Port()), u"--filial"_s, u"0002"_s, u"--out"_s, plain},
                &text),
        0)
        << text.toStdString();
    EXPECT_TRUE(text.contains(u"aph-host --config "_s + plain)) << text.toStdString();
    EXPECT_EQ(Mode(plain), 0600u);
    const THostOptions o = ParseHostOptions({u"--config"_s, plain});
    EXPECT_TRUE(o.Warning.isEmpty()) << o.Warning.toStdString();
    EXPECT_EQ(o.Environment.Operador, u"BRUNO"_s);
    EXPECT_EQ(o.Environment.FiliProc, u"0002"_s);
    ASSERT_EQ(o.Environment.Servers.size(), 1);
    EXPECT_EQ(o.Environment.Servers[0].Host, u"127.0.0.1"_s);
    EXPECT_EQ(o.Environment.Servers[0].Port, m_server->Port());
    EXPECT_FALSE(o.Environment.Tls);
    // The token is one the database keeps for that operator, and it opens
    // a session.
    EXPECT_EQ(
        m_db->Scalar(u"SELECT CDOPERADOR FROM APH_TOKEN WHERE DSHASH = ?"_s,
                     {QString::fromLatin1(QCryptographicHash::hash(o.Environment.Token.toUtf8(),
                                                                   QCryptographicHash::Sha256)
                                              .toHex())})
            .toString(),
        u"BRUNO"_s);
    TRpcClient client;
    client.Connect(o.Environment.WebURL, static_cast<quint16>(o.Environment.WebPort));
    EXPECT_NO_THROW(client.Login(o.Environment.Operador, o.Environment.Token));

    // Several servers and TLS with the authority's whole path.
    const QString tls = dir.filePath(u"tls.ini"_s);
    const QString ca = QStringLiteral(APH_TLS_FIXTURES) + u"/ca.pem"_s;
    ASSERT_EQ(Estacao({u"ANA"_s, u"--host"_s, u"app1.exemplo.lan,[::1]:9000"_s, u"--tls"_s,
                       u"--ca"_s, ca, u"--filial"_s, u"0001"_s, u"--out"_s, tls},
                      &text),
              0)
        << text.toStdString();
    const THostOptions t = ParseHostOptions({u"--config"_s, tls});
    EXPECT_TRUE(t.Environment.Tls);
    EXPECT_EQ(t.Environment.CaFile, QFileInfo(ca).absoluteFilePath());
    ASSERT_EQ(t.Environment.Servers.size(), 2);
    EXPECT_EQ(t.Environment.Servers[0].Host, u"app1.exemplo.lan"_s);
    EXPECT_EQ(t.Environment.Servers[0].Port, 8090);
    EXPECT_EQ(t.Environment.Servers[1].Host, u"::1"_s);
    EXPECT_EQ(t.Environment.Servers[1].Port, 9000);
    EXPECT_EQ(Mode(tls), 0600u);
}

TEST_F(WorkstationTest, RefusalsWriteNoFileAndIssueNoToken)
{
    const QString taken = dir.filePath(u"existe.ini"_s);
    {
        QFile f(taken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("fica") == 4);
    }
    const QString link = dir.filePath(u"link.ini"_s);
    ASSERT_TRUE(QFile::link(dir.filePath(u"nenhum"_s), link));
    const QString notPem = dir.filePath(u"ca.txt"_s);
    {
        QFile f(notPem);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("nada") == 4);
    }
    const QString fresh = dir.filePath(u"nova.ini"_s);
    const QStringList host{u"--host"_s, u"app1"_s, u"--filial"_s, u"0001"_s};
    const struct
    {
        QStringList Args;
        int Code;
        QString Says;
    } cases[] = {
        {QStringList{u"ANA"_s} + host + QStringList{u"--out"_s, taken}, 1, u"já existe"_s},
        {QStringList{u"ANA"_s} + host + QStringList{u"--out"_s, link}, 1, u"já existe"_s},
        {{u"ANA"_s, u"--host"_s, u"app1"_s, u"--out"_s, fresh},
         2,
         u"as propostas são das filiais 0001, 0002"_s},
        {QStringList{u"FABIO"_s} + host + QStringList{u"--out"_s, fresh}, 1,
         u"não está cadastrado ou não está ativo"_s},
        {QStringList{u"ANA"_s} + host +
             QStringList{u"--tls"_s, u"--ca"_s, notPem, u"--out"_s, fresh},
         1, u"não é um arquivo com um certificado em PEM"_s},
        {QStringList{u"ANA"_s} + host + QStringList{u"--out"_s, dir.filePath(u"x/nova.ini"_s)}, 1,
         u"não existe"_s},
    };
    const qint64 tokens = Tokens();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args.join(u' ').toStdString());
        QString text;
        EXPECT_EQ(Estacao(c.Args, &text), c.Code);
        EXPECT_TRUE(text.contains(c.Says)) << text.toStdString();
        EXPECT_FALSE(QFileInfo::exists(fresh));
    }
    EXPECT_EQ(Tokens(), tokens);
    QFile f(taken);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("fica"));
    EXPECT_TRUE(QFileInfo(link).isSymLink() && !QFileInfo::exists(link));
    // Nothing else in the folder: no partial file or work folder left.
    const QStringList left =
        QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    EXPECT_EQ(left.size(), 3) << left.join(u' ').toStdString();
}

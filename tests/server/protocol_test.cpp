// The wire: Login, the JSON-RPC envelope, and the limits. Each bad input
// gets its error, and the connection or the server survives.
#include "server/sessions/auth.h"
#include "tests/support/serverfixture.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>

#include <thread>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

int ErrorOf(const QJsonValue& reply)
{
    return reply.toObject().value(u"error"_s).toObject().value(u"code"_s).toInt();
}

const QJsonArray kPropAll{u"0001"_s, QString(), u"T"_s};

class ProtocolTest : public ServerTest
{
protected:
    // Framing and limits do not depend on the database: SQLite only.
    bool SkipOnPostgres() { return TTestDatabase::UsesPostgres(); }
    // The connection still answers a proper call.
    void ExpectAlive(TRpcClient& client)
    {
        EXPECT_FALSE(Checked(client, u"GetProp"_s, kPropAll).Rows.empty());
    }
};

} // namespace

TEST_F(ProtocolTest, CallsBeforeLoginAreRefused)
{
    auto client = NewClient(false);
    for (const char* method : {"GetProp", "GetServPrest", "SetCSA", "SetCHT"}) {
        try {
            client->Call(QString::fromUtf8(method), kPropAll);
            ADD_FAILURE() << method;
        } catch (const ERpcError& e) {
            EXPECT_EQ(e.Code(), -32000) << method;
            EXPECT_TRUE(e.Message().contains(u"Login"_s));
        }
    }
    client->Login(u"ANA"_s, m_token);
    ExpectAlive(*client);
}

TEST_F(ProtocolTest, LoginNeedsAnActiveOperatorAndTheirOwnToken)
{
    QString bruno;
    ASSERT_EQ(RunServerCommand({u"token"_s, m_db->Spec(), u"BRUNO"_s}, &bruno), 0);
    bruno = bruno.trimmed();
    EXPECT_GE(bruno.size(), 32); // 128 bits or more
    auto client = NewClient(false);
    const auto refused = [&](const QString& op, const QString& token) {
        try {
            client->Login(op, token);
        } catch (const ERpcError& e) {
            return e.Code() == -32001;
        }
        return false;
    };
    EXPECT_TRUE(refused(u"ANA"_s, bruno));
    QString altered = m_token; // one digit off
    altered.back() = altered.back() == u'0' ? u'1' : u'0';
    EXPECT_TRUE(refused(u"ANA"_s, altered));
    EXPECT_TRUE(refused(u"NINGUEM"_s, m_token));
    EXPECT_TRUE(refused(u"ANA"_s, QString()));
    m_db->Exec(u"UPDATE OPERADOR SET IDOPERATIVO = 'I' WHERE CDOPERADOR = 'BRUNO'"_s);
    EXPECT_TRUE(refused(u"BRUNO"_s, bruno));
    // A refused Login leaves the connection logged out, even after a good one.
    client->Login(u"ANA"_s, m_token);
    EXPECT_TRUE(refused(u"ANA"_s, bruno));
    EXPECT_THROW(client->Call(u"GetProp"_s, kPropAll), ERpcError);
    client->Login(u"ANA"_s, m_token);
    EXPECT_THROW(client->Call(u"Login"_s, {u"ANA"_s}), ERpcError); // malformed: refused too
    EXPECT_THROW(client->Call(u"GetProp"_s, kPropAll), ERpcError);

    // Only the hash is stored; the token command refuses inactive operators.
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM APH_TOKEN WHERE DSHASH = ?"_s, {m_token}).toInt(),
              0);
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM APH_TOKEN WHERE DSHASH = ?"_s,
                           {QString::fromLatin1(QCryptographicHash::hash(m_token.toUtf8(),
                                                                         QCryptographicHash::Sha256)
                                                    .toHex())})
                  .toInt(),
              1);
    EXPECT_EQ(RunServerCommand({u"token"_s, m_db->Spec(), u"FABIO"_s}), 1);
}

TEST(TokenCompare, EqualOnlyForEqualBytes)
{
    EXPECT_TRUE(ConstantTimeEquals("abc", "abc"));
    EXPECT_FALSE(ConstantTimeEquals("abc", "abd"));
    EXPECT_FALSE(ConstantTimeEquals("abc", "ab"));
    EXPECT_NE(NewToken(), NewToken());
    EXPECT_EQ(NewToken().size(), 64);
}

TEST_F(ProtocolTest, WithoutAuthOnlyOnLoopback)
{
    QString err;
    EXPECT_EQ(RunServerCommand({u"serve"_s, m_db->Spec(), u"--listen"_s, u"0.0.0.0"_s, u"--port"_s,
                                u"0"_s, u"--no-auth"_s},
                               nullptr, &err),
              2);
    EXPECT_TRUE(err.contains(u"loopback"_s)) << err.toStdString();
    StartServer({u"--no-auth"_s});
    ExpectAlive(*m_client);
}

TEST_F(ProtocolTest, MalformedRequestsGetTheirErrorAndTheConnectionGoesOn)
{
    const std::vector<std::pair<const char*, int>> cases = {
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetProp\"", -32700},
        {"não é json", -32700},
        {"[{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetProp\",\"params\":[]}]", -32600},
        {"42", -32600},
        {"{\"id\":1,\"method\":\"GetProp\",\"params\":[]}", -32600},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":7,\"params\":[]}", -32600},
        {"{\"jsonrpc\":\"2.0\",\"id\":{},\"method\":\"GetProp\",\"params\":[]}", -32600},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetProp\",\"params\":{\"a\":1}}", -32600},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"DropTables\",\"params\":[]}", -32601},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"getprop\",\"params\":[]}", -32601},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetProp\",\"params\":[\"0001\",\"\"]}",
         -32602},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetProp\",\"params\":[1,\"\",\"T\"]}", -32602},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetCHT\",\"params\":[\"DES\",\"TP1\",\"01\","
         "1e12,47178,\"TF1\",\"01\",\"T\"]}",
         -32602},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetCHT\",\"params\":[\"DES\",\"TP1\",\"01\","
         "\"2030-03-01\",47178,\"TF1\",\"01\",\"T\"]}",
         -32602},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"SetCHT\",\"params\":[45658,45716,\"ANA\","
         "\"T\",\"T\",\"T\",\"T\",\"T\"]}",
         -32602},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"SetCHT\",\"params\":[45658,-1e9,\"ANA\","
         "\"T\",\"T\",\"T\",\"T\",\"T\",\"T\"]}",
         -32602},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"SetCHT\",\"params\":[45658,45716,\"ANA\","
         "\"[\\\"000101\\\"\",\"\",\"T\",\"T\",\"T\",\"T\"]}",
         -32602},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"SetCSA\",\"params\":[{\"fields\":[]}]}",
         -32602},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"SetCSA\",\"params\":[]}", -32602},
        {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetFunc\",\"params\":[47178,47208,\"C\",\"D\","
         "\"P\",\"V\",\"S\",\"\",\"[\\\"F1\\\",]\",\"T\",\"T\"]}",
         -32602},
    };
    const auto snapshot = [this] {
        return m_db->Rows(u"SELECT (SELECT COUNT(*) FROM CHT), (SELECT COUNT(*) FROM CSA WHERE "
                          "NRSEQUCHT IS NULL), (SELECT SUM(QTHRAPROFATU) FROM CSA)"_s);
    };
    const QList<QVariantList> before = snapshot();
    for (const auto& [line, code] : cases) {
        const QJsonValue reply = m_client->SendRaw(QByteArray(line));
        EXPECT_EQ(ErrorOf(reply), code) << line;
        EXPECT_FALSE(
            reply.toObject().value(u"error"_s).toObject().value(u"message"_s).toString().isEmpty());
    }
    EXPECT_EQ(snapshot(), before);
    ExpectAlive(*m_client);
    EXPECT_TRUE(m_server->IsRunning());
}

TEST_F(ProtocolTest, ANotificationGetsNoReply)
{
    const QJsonValue reply = m_client->SendRaw(
        "{\"jsonrpc\":\"2.0\",\"method\":\"GetProp\",\"params\":[\"0001\",\"\",\"T\"]}\n"
        "{\"jsonrpc\":\"2.0\",\"id\":\"segundo\",\"method\":\"GetProp\",\"params\":[]}");
    EXPECT_EQ(reply.toObject().value(u"id"_s).toString(), u"segundo"_s);
    EXPECT_EQ(ErrorOf(reply), -32602);
}

TEST_F(ProtocolTest, ARequestOverOneMebibyteIsRefusedAndTheConnectionGoesOn)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "framing is the same on every database";
    const QByteArray big = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetProp\",\"params\":[\"" +
                           QByteArray(1024 * 1024, 'x') + "\",\"\",\"T\"]}";
    const QJsonValue reply = m_client->SendRaw(big);
    EXPECT_EQ(ErrorOf(reply), -32600);
    EXPECT_TRUE(reply.toObject()
                    .value(u"error"_s)
                    .toObject()
                    .value(u"message"_s)
                    .toString()
                    .contains(u"limite"_s));
    ExpectAlive(*m_client);
}

TEST_F(ProtocolTest, AHalfLineThatStallsIsDroppedAfterTheTimeout)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "framing is the same on every database";
    StartServer({u"--line-timeout"_s, u"300"_s});
    QTcpSocket socket;
    socket.connectToHost(u"127.0.0.1"_s, m_server->Port());
    ASSERT_TRUE(socket.waitForConnected(5000));
    socket.write("{\"jsonrpc\":\"2.0\",\"id\":1,");
    socket.waitForBytesWritten(1000);
    QByteArray received;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        received += socket.readAll();
    received += socket.readAll();
    socket.waitForDisconnected(2000);
    EXPECT_EQ(socket.state(), QAbstractSocket::UnconnectedState);
    EXPECT_EQ(ErrorOf(QJsonDocument::fromJson(received.trimmed()).object()), -32003)
        << received.constData();
    // Others are served as before.
    ExpectAlive(*NewClient());
}

TEST_F(ProtocolTest, ConnectionsOverTheCapAreTurnedAway)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "framing is the same on every database";
    StartServer({u"--max-connections"_s, u"2"_s});
    auto second = NewClient();
    QTcpSocket third;
    third.connectToHost(u"127.0.0.1"_s, m_server->Port());
    ASSERT_TRUE(third.waitForConnected(5000));
    QByteArray received;
    while (third.state() == QAbstractSocket::ConnectedState && third.waitForReadyRead(5000))
        received += third.readAll();
    received += third.readAll();
    EXPECT_EQ(ErrorOf(QJsonDocument::fromJson(received.trimmed()).object()), -32002)
        << received.constData();
    ExpectAlive(*m_client);
    ExpectAlive(*second);
    second.reset();
    // A freed place can be taken again.
    std::unique_ptr<TRpcClient> again;
    for (int attempt = 0; attempt < 50 && !again; ++attempt) {
        try {
            again = NewClient();
        } catch (const Exception&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ASSERT_TRUE(again);
    ExpectAlive(*again);
}

TEST_F(ProtocolTest, ALostServerIsReportedAsALostConnection)
{
    m_server.reset();
    EXPECT_THROW(m_client->Call(u"GetProp"_s, kPropAll), EConnectionError);
    EXPECT_FALSE(m_client->IsConnected());
}

TEST_F(ProtocolTest, AServerWhoseDatabaseConnectionsDropReconnects)
{
    if (!TTestDatabase::UsesPostgres())
        GTEST_SKIP() << "a SQLite file has no connection to lose";
    ExpectAlive(*m_client);
    m_db->Exec(u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
               "current_database() AND pid <> pg_backend_pid()"_s);
    // Each worker may report its lost connection once; then it has a new one.
    int lost = 0, served = 0;
    for (int attempt = 0; attempt < 16; ++attempt) {
        try {
            served += !Checked(u"GetProp"_s, kPropAll).Rows.empty();
        } catch (const ERpcError& e) {
            EXPECT_EQ(e.Code(), -32010) << e.what();
            EXPECT_TRUE(e.Message().contains(u"perdida"_s)) << e.what();
            ++lost;
        }
    }
    EXPECT_LE(lost, 4); // once per worker at most
    EXPECT_EQ(served, 16 - lost);
}

namespace {

// A method's positional params as docs/protocol.md's heading lists them:
// one letter each (S text, D date, O object), and how many a call must
// give (the rest, in brackets, may be left off).
struct TDocumentedShape
{
    QString Method;
    QString Letters;
    qsizetype Required = 0;
    QStringList Names;
};

std::vector<TDocumentedShape> DocumentedShapes()
{
    QFile file(QStringLiteral(APH_DOCS_DIR "/protocol.md"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    std::vector<TDocumentedShape> shapes;
    static const QRegularExpression heading(uR"(^### (\w+) \(([^)]*)\)$)"_s,
                                            QRegularExpression::MultilineOption);
    for (auto it = heading.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        TDocumentedShape shape{m.captured(1), {}, 0, {}};
        const QString list = m.captured(2);
        const qsizetype optional = list.indexOf(u'[');
        for (const QString& part : QString(list).remove(u'[').remove(u']').split(u", "_s)) {
            if (part.size() < 3 || !u"SDO"_s.contains(part.at(0)) || part.at(1) != u' ')
                break; // "the nine params of SetCHT" and the like
            shape.Letters += part.at(0);
            shape.Names << part.mid(2);
            const bool left = optional >= 0 && list.indexOf(part) > optional;
            shape.Required += left ? 0 : 1;
        }
        if (!shape.Letters.isEmpty())
            shapes.push_back(shape);
    }
    return shapes;
}

QJsonValue Good(QChar letter)
{
    return letter == u'S'   ? QJsonValue(u"T"_s)
           : letter == u'D' ? QJsonValue(47178.0)
                            : QJsonValue(QJsonObject{});
}

QJsonValue Wrong(QChar letter)
{
    return letter == u'S' ? QJsonValue(7.0) : QJsonValue(u"7"_s);
}

} // namespace

// Every method with positional params, read against the params its
// heading in docs/protocol.md lists: a call an argument short, each
// argument of the wrong kind, each date out of range is an invalid-params
// error naming the argument; a call naming another operator is refused as
// such even when a date is wrong too. Nothing changes, and the connection
// goes on.
TEST_F(ProtocolTest, EachMethodsParamsAreRefusedByPlaceAsItsDocumentationListsThem)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "decoding is the same on every database";
    const std::vector<TDocumentedShape> shapes = DocumentedShapes();
    ASSERT_GE(shapes.size(), 12u) << "headings of docs/protocol.md";
    const auto call = [this](const QString& method, const QJsonArray& params) {
        const QJsonObject error = m_client
                                      ->SendRaw(QJsonDocument(QJsonObject{{u"jsonrpc"_s, u"2.0"_s},
                                                                          {u"id"_s, 1},
                                                                          {u"method"_s, method},
                                                                          {u"params"_s, params}})
                                                    .toJson(QJsonDocument::Compact))
                                      .toObject()
                                      .value(u"error"_s)
                                      .toObject();
        return std::pair(error.value(u"code"_s).toInt(), error.value(u"message"_s).toString());
    };
    const auto snapshot = [this] {
        return m_db->Rows(u"SELECT (SELECT COUNT(*) FROM CHT), (SELECT COUNT(*) FROM CSA WHERE "
                          "NRSEQUCHT IS NULL), (SELECT SUM(QTHRAPROFATU) FROM CSA)"_s);
    };
    // Every role, so that each call reaches the decoding of its params.
    m_db->Exec(u"INSERT INTO APH_PAPEL (CDOPERADOR, DSPAPEL) SELECT 'ANA', P FROM (SELECT "
               "'supervisionar' AS P UNION ALL SELECT 'faturar') R WHERE NOT EXISTS (SELECT 1 "
               "FROM APH_PAPEL WHERE CDOPERADOR = 'ANA' AND DSPAPEL = R.P)"_s);
    const QList<QVariantList> before = snapshot();
    for (const TDocumentedShape& shape : shapes) {
        if (shape.Method == u"Login")
            continue; // a malformed Login is a failed one: see its own test
        const std::string where = shape.Method.toStdString();
        QJsonArray good; // the operator the client logged in as
        for (qsizetype i = 0; i < shape.Letters.size(); ++i)
            good << (shape.Names[i] == u"operator" ? QJsonValue(u"ANA"_s)
                                                   : Good(shape.Letters.at(i)));
        QJsonArray shorter = good;
        while (shorter.size() >= shape.Required)
            shorter.removeLast();
        auto [code, message] = call(shape.Method, shorter);
        EXPECT_EQ(code, -32602) << where;
        EXPECT_TRUE(message.contains(
            u"espera %1 argumentos; recebeu %2"_s.arg(shape.Required).arg(shorter.size())))
            << where << ": " << message.toStdString();
        for (qsizetype i = 0; i < shape.Letters.size(); ++i) {
            const std::string arg = where + " " + shape.Names[i].toStdString();
            QJsonArray params = good;
            params[i] = Wrong(shape.Letters.at(i));
            std::tie(code, message) = call(shape.Method, params);
            EXPECT_EQ(code, -32602) << arg;
            EXPECT_TRUE(message.contains(u"argumento %1 deve ser"_s.arg(i + 1)))
                << arg << ": " << message.toStdString();
            if (shape.Letters.at(i) == u'D') {
                params[i] = 1e12;
                std::tie(code, message) = call(shape.Method, params);
                EXPECT_EQ(code, -32602) << arg;
                EXPECT_TRUE(message.contains(u"argumento %1 está fora do intervalo"_s.arg(i + 1)))
                    << arg << ": " << message.toStdString();
            }
            if (shape.Names[i] == u"operator") {
                params = good;
                params[i] = u"BRUNO"_s;
                params[0] = 1e12; // a wrong date too: the operator is told first
                std::tie(code, message) = call(shape.Method, params);
                EXPECT_EQ(code, -32004) << arg << ": " << message.toStdString();
            }
        }
    }
    EXPECT_EQ(snapshot(), before);
    ExpectAlive(*m_client);
}

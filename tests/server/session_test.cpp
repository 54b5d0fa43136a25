// A server on a network: peers that connect and say nothing, log in and go
// quiet, guess operator names or tokens, send their request with their end
// of stream, or write ids and text that a parser would alter. Each is
// answered, bounded in time, or turned away, and the others are served.
#include "tests/support/serverfixture.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const QJsonArray kPropAll{u"0001"_s, QString(), u"T"_s};

int ErrorOf(const QByteArray& line)
{
    return QJsonDocument::fromJson(line)
        .object()
        .value(u"error"_s)
        .toObject()
        .value(u"code"_s)
        .toInt();
}

QByteArray LoginLine(const QString& op, const QString& token, int id = 1)
{
    return QJsonDocument(QJsonObject{{u"jsonrpc"_s, u"2.0"_s},
                                     {u"id"_s, id},
                                     {u"method"_s, u"Login"_s},
                                     {u"params"_s, QJsonArray{op, token}}})
        .toJson(QJsonDocument::Compact);
}

// A raw connection, from a loopback address of the test's choosing, that
// reads reply lines exactly as the server wrote them.
class TRawPeer
{
public:
    TRawPeer(quint16 port, const char* from = "127.0.0.1")
    {
        m_socket.bind(QHostAddress(QString::fromLatin1(from)));
        m_socket.connectToHost(u"127.0.0.1"_s, port);
        m_connected = m_socket.waitForConnected(5000);
    }
    bool Connected() const { return m_connected; }
    void Send(const QByteArray& line)
    {
        m_socket.write(line + '\n');
        m_socket.waitForBytesWritten(2000);
    }
    // The next line, or empty when the server closed first or none came.
    QByteArray Line(int timeoutMs = 10000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!m_socket.canReadLine() && !deadline.hasExpired()) {
            if (m_socket.state() != QAbstractSocket::ConnectedState)
                break;
            m_socket.waitForReadyRead(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        }
        return m_socket.canReadLine() ? m_socket.readLine().trimmed() : QByteArray();
    }
    QByteArray Exchange(const QByteArray& line)
    {
        Send(line);
        return Line();
    }
    bool ClosedByServer(int timeoutMs = 10000)
    {
        if (m_socket.state() == QAbstractSocket::UnconnectedState)
            return true;
        return m_socket.waitForDisconnected(timeoutMs) ||
               m_socket.state() == QAbstractSocket::UnconnectedState;
    }

private:
    QTcpSocket m_socket;
    bool m_connected = false;
};

class SessionTest : public ServerTest
{
protected:
    // Sockets and timing do not depend on the database: SQLite only.
    static bool SkipOnPostgres() { return TTestDatabase::UsesPostgres(); }

    void ExpectAlive(TRpcClient& client)
    {
        EXPECT_FALSE(Checked(client, u"GetProp"_s, kPropAll).Rows.empty());
    }
    // A fresh logged-in client, once a place is free.
    std::unique_ptr<TRpcClient> ClientWhenFree()
    {
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            try {
                return NewClient();
            } catch (const Exception&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        return NewClient();
    }
    // Milliseconds from a Login line to its reply.
    qint64 TimedLogin(TRawPeer& peer, const QString& op, const QString& token, int* code = nullptr)
    {
        QElapsedTimer t;
        t.start();
        const QByteArray reply = peer.Exchange(LoginLine(op, token));
        if (code)
            *code = ErrorOf(reply);
        return t.elapsed();
    }
    QString Token(const QString& op, const QStringList& extra = {})
    {
        QString out, err;
        EXPECT_EQ(RunServerCommand(QStringList{u"token"_s, m_db->Spec(), op} + extra, &out, &err),
                  0)
            << err.toStdString();
        return out.trimmed();
    }
};

} // namespace

TEST_F(SessionTest, PeersThatNeverLogInLoseTheirPlaceAtTheDeadline)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "sockets are the same on every database";
    StartServer({u"--max-connections"_s, u"4"_s, u"--login-timeout"_s, u"400"_s});
    std::vector<std::unique_ptr<TRawPeer>> silent;
    for (int i = 0; i < 3; ++i)
        silent.push_back(std::make_unique<TRawPeer>(m_server->Port()));
    // Every place is taken: a newcomer is turned away at once.
    TRawPeer late(m_server->Port());
    EXPECT_EQ(ErrorOf(late.Line()), -32002);
    // The silent ones are told and closed; the places are free again.
    for (auto& peer : silent) {
        EXPECT_EQ(ErrorOf(peer->Line()), -32006);
        EXPECT_TRUE(peer->ClosedByServer());
    }
    ExpectAlive(*ClientWhenFree());
    ExpectAlive(*m_client); // logged in in time: kept
}

TEST_F(SessionTest, AnIdleSessionIsClosedAndTheClientConnectsAgain)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "sockets are the same on every database";
    StartServer({u"--idle-timeout"_s, u"1000"_s});
    TRawPeer peer(m_server->Port());
    ASSERT_EQ(ErrorOf(peer.Exchange(LoginLine(u"ANA"_s, m_token))), 0);
    // Requests keep a session open past the timeout...
    for (int i = 0; i < 4; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ExpectAlive(*m_client);
    }
    // ...silence does not.
    EXPECT_EQ(ErrorOf(peer.Line(5000)), -32007);
    EXPECT_TRUE(peer.ClosedByServer());
    // The client reads the server's notice as a lost connection, so that
    // the desktop connects and logs in again.
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    EXPECT_THROW(m_client->Call(u"GetProp"_s, kPropAll), EConnectionError);
}

// The desktop's keep-alive: answered before and after Login, and no use of
// the session, so a desktop that only pings is still closed for idleness.
TEST_F(SessionTest, PingsAreAnsweredButDoNotKeepAnIdleSessionOpen)
{
    StartServer({u"--idle-timeout"_s, u"1000"_s});
    const auto ping = [](int id) {
        return QJsonDocument(QJsonObject{{u"jsonrpc"_s, u"2.0"_s},
                                         {u"id"_s, id},
                                         {u"method"_s, u"Ping"_s},
                                         {u"params"_s, QJsonArray{}}})
            .toJson(QJsonDocument::Compact);
    };
    TRawPeer peer(m_server->Port());
    const QByteArray before = peer.Exchange(ping(1));
    EXPECT_EQ(ErrorOf(before), 0) << before.constData();
    EXPECT_TRUE(before.contains("\"ok\":true")) << before.constData();
    ASSERT_EQ(ErrorOf(peer.Exchange(LoginLine(u"ANA"_s, m_token, 2))), 0);
    // Pings three times a timeout's worth: if they counted as use, the
    // session would outlive every one of them.
    int answered = 0;
    int code = 0;
    for (int id = 3; id < 3 + 15 && code == 0; ++id) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const QByteArray reply = peer.Exchange(ping(id));
        code = reply.isEmpty() ? -1 : ErrorOf(reply);
        answered += code == 0;
    }
    EXPECT_GE(answered, 1) << "pings within the timeout are answered";
    EXPECT_EQ(code, -32007) << "the idle timeout ran on under the pings";
    EXPECT_TRUE(peer.ClosedByServer());
}

TEST_F(SessionTest, OneAddressCannotTakeEveryPlace)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "sockets are the same on every database";
    StartServer({u"--max-connections"_s, u"8"_s, u"--max-per-address"_s, u"2"_s});
    TRawPeer second(m_server->Port());
    ASSERT_TRUE(second.Connected());
    TRawPeer third(m_server->Port());
    const QByteArray refusal = third.Line();
    EXPECT_EQ(ErrorOf(refusal), -32002);
    EXPECT_TRUE(refusal.contains("endere")) << refusal.constData();
    // Another address still gets in.
    TRawPeer other(m_server->Port(), "127.0.0.2");
    EXPECT_EQ(ErrorOf(other.Exchange(LoginLine(u"ANA"_s, m_token))), 0);
}

// Failures are counted per operator and address: a good Login of another
// operator from the same place, with a token the guesser holds, does not
// give the guesser back its speed.
TEST_F(SessionTest, AnotherOperatorsGoodLoginDoesNotClearTheFailures)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "the delay is set by the server, not the database";
    AddEmployee(u"TF9"_s, u"Guesser"_s, u"01"_s);
    const QString own = Token(u"OPTF9"_s);
    TRawPeer guesser(m_server->Port(), "127.0.0.5");
    int code = 0;
    for (int i = 0; i < 4; ++i)
        TimedLogin(guesser, u"ANA"_s, u"%1"_s.arg(i, 64, 10, QChar(u'0')), &code);
    EXPECT_EQ(code, -32001);
    TimedLogin(guesser, u"OPTF9"_s, own, &code);
    EXPECT_EQ(code, 0);
    EXPECT_GE(TimedLogin(guesser, u"ANA"_s, u"x"_s, &code), 1000);
    EXPECT_EQ(code, -32001);
}

// An IPv6 subscriber holds a whole /64: behind the balancer, addresses of
// one /64 share one address's places and one Login backoff, while the
// next /64 has its own.
TEST_F(SessionTest, AnIpv6ClientIsCountedByItsSlash64)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "sockets are the same on every database";
    constexpr int kPlaces = 6;
    StartServer(
        {u"--trusted-proxy"_s, u"127.0.0.10"_s, u"--max-per-address"_s, QString::number(kPlaces)});
    const auto header = [](const QByteArray& client) -> QByteArray {
        return "PROXY TCP6 " + client + " 2001:db8::1 40000 8090\r";
    };
    std::vector<std::unique_ptr<TRawPeer>> guessers;
    for (int i = 0; i < kPlaces; ++i) {
        guessers.push_back(std::make_unique<TRawPeer>(m_server->Port(), "127.0.0.10"));
        // Each from its own address, all in 2001:db8:1:2::/64.
        const QByteArray start = i % 2 ? "2001:db8:1:2:ffff:ffff:ffff:ff0" : "2001:db8:1:2::a";
        guessers.back()->Send(header(start + QByteArray::number(i, 16)));
    }
    std::vector<qint64> times;
    int code = 0;
    for (auto& guesser : guessers) {
        times.push_back(TimedLogin(*guesser, u"ANA"_s, u"x"_s, &code));
        EXPECT_EQ(code, -32001);
    }
    EXPECT_LT(times[0], 450);
    EXPECT_GE(times[3], 500);
    EXPECT_GE(times[5], 2000);
    // Every place of the /64 is taken now.
    TRawPeer beyond(m_server->Port(), "127.0.0.10");
    beyond.Send(header("2001:db8:1:2:abcd::1"));
    const QByteArray refusal = beyond.Line();
    EXPECT_EQ(ErrorOf(refusal), -32002) << refusal.constData();
    // The neighbouring /64 gets in and is not held back.
    TRawPeer neighbour(m_server->Port(), "127.0.0.10");
    neighbour.Send(header("2001:db8:1:3::a"));
    EXPECT_LT(TimedLogin(neighbour, u"ANA"_s, u"x"_s, &code), 450);
    EXPECT_EQ(code, -32001);
    const QString log = m_server->Log(u"origem=2001:db8:1:3::a"_s);
    EXPECT_TRUE(log.contains(u"conexão de 2001:db8:1:2:abcd::1 via 127.0.0.10 recusada"_s))
        << log.toStdString();
}

TEST_F(SessionTest, RequestsSentWithTheEndOfStreamAreRunAndAnswered)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "sockets are the same on every database";
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(m_server->Port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const QByteArray requests =
        LoginLine(u"ANA"_s, m_token) + "\n" +
        R"({"jsonrpc":"2.0","id":"p","method":"GetProp","params":["0001","","T"]})"
        "\n"
        R"({"jsonrpc":"2.0","method":"GetProp","params":["0001","","T"]})"
        "\n"
        R"({"jsonrpc":"2.0","id":3,"method":"GetProp","params":[)"; // never ends
    ASSERT_EQ(::send(fd, requests.constData(), static_cast<size_t>(requests.size()), 0),
              requests.size());
    ::shutdown(fd, SHUT_WR);
    QByteArray received;
    char buffer[65536];
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        received.append(buffer, n);
    ::close(fd);
    const QList<QByteArray> lines = received.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2) << received.constData();
    EXPECT_TRUE(lines[0].contains("\"result\"")) << lines[0].constData();
    EXPECT_TRUE(lines[1].startsWith(R"({"jsonrpc":"2.0","id":"p","result":{"ok":true)"))
        << lines[1].constData();
    ExpectAlive(*m_client);
}

TEST_F(SessionTest, IdsComeBackExactlyAsSentAndNonJsonIsAParseError)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "the envelope is the same on every database";
    TRawPeer peer(m_server->Port());
    for (const QByteArray& id :
         {QByteArray("-0"), QByteArray("9007199254740993"), QByteArray("1.50"),
          QByteArray(R"("\ud800")"), QByteArray(R"("a\u00e7\"b")"), QByteArray("null")}) {
        const QByteArray reply =
            peer.Exchange(R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":"Nenhum"})");
        EXPECT_TRUE(reply.startsWith(QByteArray(R"({"jsonrpc":"2.0","id":)" + id + ",\"error\"")))
            << reply.constData();
    }
    // The last of a repeated member counts, as for the parser.
    EXPECT_TRUE(peer.Exchange(R"({"id":1,"jsonrpc":"2.0","id":2,"method":"Nenhum"})")
                    .startsWith(R"({"jsonrpc":"2.0","id":2,)"));
    for (const char* notJson : {"1,2", "{},{}", "{\"a\":1} x", "[1],[2]"})
        EXPECT_EQ(ErrorOf(peer.Exchange(notJson)), -32700) << notJson;
    for (const char* notARequest : {"1", "\"x\"", "[]", "null"})
        EXPECT_EQ(ErrorOf(peer.Exchange(notARequest)), -32600) << notARequest;
}

TEST_F(SessionTest, TextNoQueryShouldSeeIsRefusedBeforeAnySql)
{
    // On PostgreSQL a NUL used to reach the driver, whose error came back.
    TRawPeer peer(m_server->Port());
    ASSERT_EQ(ErrorOf(peer.Exchange(LoginLine(u"ANA"_s, m_token))), 0);
    const auto call = [&](const QByteArray& params) {
        return peer.Exchange(R"({"jsonrpc":"2.0","id":5,"method":"GetProp","params":)" + params +
                             "}");
    };
    for (const QByteArray& params :
         {QByteArray(R"(["0001\u0000' OR '1'='1","T",""])"), QByteArray(R"(["0001\ud800","T",""])"),
          QByteArray(R"(["0001\udc00\ud800","T",""])"), QByteArray(R"(["0001","T","\u0000"])")}) {
        const QByteArray reply = call(params);
        EXPECT_EQ(ErrorOf(reply), -32602) << params.constData();
        EXPECT_TRUE(reply.contains("texto inv")) << reply.constData();
    }
    // A pair of surrogates is one character, and welcome.
    EXPECT_EQ(ErrorOf(call(R"(["0001\ud83d\ude00","","T"])")), 0);
    const QByteArray delta =
        R"({"jsonrpc":"2.0","id":6,"method":"SetCSA","params":[{"fields":[],"rows":[["\u0000"]]}]})";
    EXPECT_EQ(ErrorOf(peer.Exchange(delta)), -32602);
    // Nor inside a selection list, itself JSON within the JSON.
    for (const QByteArray& list :
         {QByteArray(R"(\"TC1\\u0000x\")"), QByteArray(R"(\"\\ud800\")")}) {
        const QByteArray reply = peer.Exchange(
            R"({"jsonrpc":"2.0","id":7,"method":"GetServPrest","params":[47543,47573,"[)" + list +
            R"(]","T","T","T","ANA","T"]})");
        EXPECT_EQ(ErrorOf(reply), -32602) << list.constData() << reply.constData();
        EXPECT_TRUE(reply.contains("texto inv")) << reply.constData();
    }
}

TEST_F(SessionTest, TokensHaveALifetimeAndCanBeListedAndRevoked)
{
    QString out, err;
    EXPECT_EQ(RunServerCommand({u"token"_s, m_db->Spec(), u"ANA"_s, u"--days"_s, u"0"_s}), 2);
    const QString shortLived = Token(u"ANA"_s, {u"--days"_s, u"2"_s});
    const QString other = Token(u"ANA"_s);
    ASSERT_EQ(RunServerCommand({u"tokens"_s, m_db->Spec(), u"ANA"_s}, &out, &err), 0)
        << err.toStdString();
    // Listed by their first digits, never whole; the fixture's token too.
    EXPECT_TRUE(out.contains(shortLived.left(8))) << out.toStdString();
    EXPECT_TRUE(out.contains(other.left(8)));
    EXPECT_TRUE(out.contains(m_token.left(8)));
    EXPECT_FALSE(out.contains(shortLived.left(9)));
    EXPECT_EQ(out.count(u"válido"_s), 3) << out.toStdString();
    // Times as stored, whatever the machine's zone: 1 March 2026, 10:15.
    m_db->Exec(u"UPDATE APH_TOKEN SET DTCRIACAO = ? WHERE DSPREFIXO = ?"_s,
               {46082 + 10.25 / 24, other.left(8)});
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "America/Sao_Paulo");
    const int listed = RunServerCommand({u"tokens"_s, m_db->Spec(), u"ANA"_s}, &out, &err);
    hadZone ? qputenv("TZ", zone) : qunsetenv("TZ");
    ASSERT_EQ(listed, 0) << err.toStdString();
    EXPECT_TRUE(out.contains(u"01/03/2026 10:15"_s)) << out.toStdString();
    // Two days from now, within a minute.
    const double expires =
        m_db->Scalar(u"SELECT DTEXPIRA - DTCRIACAO FROM APH_TOKEN WHERE DSPREFIXO = ?"_s,
                     {shortLived.left(8)})
            .toDouble();
    EXPECT_NEAR(expires, 2.0, 1.0 / 1440);

    // An expired token no longer logs in, and a session on it ends at its
    // next call.
    auto session = std::make_unique<TRpcClient>();
    session->Connect(u"127.0.0.1"_s, m_server->Port());
    session->Login(u"ANA"_s, shortLived);
    ExpectAlive(*session);
    m_db->Exec(u"UPDATE APH_TOKEN SET DTEXPIRA = DTCRIACAO - 1 WHERE DSPREFIXO = ?"_s,
               {shortLived.left(8)});
    try {
        session->Call(u"GetProp"_s, kPropAll);
        ADD_FAILURE() << "an expired token still served";
    } catch (const ERpcError& e) {
        EXPECT_EQ(e.Code(), -32008);
    }
    EXPECT_THROW(session->Login(u"ANA"_s, shortLived), ERpcError);

    // Revoked by prefix: the session on it ends; the others go on.
    session->Login(u"ANA"_s, other);
    ExpectAlive(*session);
    ASSERT_EQ(RunServerCommand({u"revoke"_s, m_db->Spec(), u"ANA"_s, other.left(6)}, &out), 0);
    EXPECT_TRUE(out.startsWith(u"1 "_s)) << out.toStdString();
    EXPECT_THROW(session->Call(u"GetProp"_s, kPropAll), ERpcError);
    ExpectAlive(*m_client);
    // A prefix that names nothing is refused; all of an operator's go at once.
    EXPECT_EQ(RunServerCommand({u"revoke"_s, m_db->Spec(), u"ANA"_s, other.left(8)}, nullptr, &err),
              1);
    EXPECT_EQ(RunServerCommand({u"revoke"_s, m_db->Spec(), u"ANA"_s, u"xyz"_s}), 2);
    ASSERT_EQ(RunServerCommand({u"revoke"_s, m_db->Spec(), u"ANA"_s}, &out), 0);
    EXPECT_THROW(m_client->Call(u"GetProp"_s, kPropAll), ERpcError);
}

TEST_F(SessionTest, ADeactivatedOperatorIsCutOffAtTheNextCall)
{
    ExpectAlive(*m_client);
    m_db->Exec(u"UPDATE OPERADOR SET IDOPERATIVO = 'I' WHERE CDOPERADOR = 'ANA'"_s);
    for (const char* method : {"GetProp", "SetCSA"}) {
        try {
            m_client->Call(QString::fromLatin1(method),
                           method[0] == 'G' ? kPropAll : QJsonArray{QJsonObject{}});
            ADD_FAILURE() << method;
        } catch (const ERpcError& e) {
            // Ended, then logged out.
            EXPECT_EQ(e.Code(), method[0] == 'G' ? -32008 : -32000) << method;
        }
    }
    m_db->Exec(u"UPDATE OPERADOR SET IDOPERATIVO = 'A' WHERE CDOPERADOR = 'ANA'"_s);
    m_client->Login(u"ANA"_s, m_token);
    ExpectAlive(*m_client);
}

TEST_F(SessionTest, LoginTakesTheSameTimeWhoeverIsNamed)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "the reply time is set by the server, not the database";
    TRawPeer peer(m_server->Port());
    QString wrong = m_token;
    wrong.back() = wrong.back() == u'0' ? u'1' : u'0';
    // Alternating with good Logins, so that the failures are not slowed.
    std::vector<qint64> unknown, wrongToken, good;
    for (int i = 0; i < 5; ++i) {
        unknown.push_back(TimedLogin(peer, u"NINGUEM%1"_s.arg(i), m_token));
        good.push_back(TimedLogin(peer, u"ANA"_s, m_token));
        wrongToken.push_back(TimedLogin(peer, u"ANA"_s, wrong));
        good.push_back(TimedLogin(peer, u"ANA"_s, m_token));
    }
    // Each waits for the same fixed reply time, so that none is told apart
    // by how fast it came back.
    for (const auto* times : {&unknown, &wrongToken, &good})
        EXPECT_GE(*std::min_element(times->begin(), times->end()), 95);
    std::sort(unknown.begin(), unknown.end());
    std::sort(wrongToken.begin(), wrongToken.end());
    EXPECT_LT(std::abs(unknown[2] - wrongToken[2]), 30);
}

TEST_F(SessionTest, RepeatedFailedLoginsFromOneAddressAreSlowedDown)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "the delay is set by the server, not the database";
    TRawPeer guesser(m_server->Port(), "127.0.0.3");
    std::vector<qint64> times;
    int code = 0;
    for (int i = 0; i < 6; ++i) {
        times.push_back(TimedLogin(guesser, u"ANA"_s, u"%1"_s.arg(i, 64, 10, QChar(u'0')), &code));
        EXPECT_EQ(code, -32001);
    }
    EXPECT_LT(times[0], 450); // the first few are answered at the usual time
    EXPECT_GE(times[3], 500); // then each waits longer
    EXPECT_GE(times[5], 2000);
    // Another address is not held back, and a good Login clears the count.
    TRawPeer other(m_server->Port(), "127.0.0.4");
    EXPECT_LT(TimedLogin(other, u"ANA"_s, u"x"_s), 450);
    TimedLogin(guesser, u"ANA"_s, m_token, &code);
    EXPECT_EQ(code, 0);
    EXPECT_LT(TimedLogin(guesser, u"ANA"_s, u"x"_s), 450);
}

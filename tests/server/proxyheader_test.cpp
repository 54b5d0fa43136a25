// The PROXY header a balancer sends first: each version and address
// family read to its exact end, a header cut anywhere waits for the rest,
// and anything else is refused with a reason.
#include "server/net/clientkey.h"
#include "server/net/proxyheader.h"

#include <QtEndian>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

using TState = TProxyHeader::TState;

// A version 2 header: command (0 LOCAL, 1 PROXY), family byte, and the
// address block as sent.
QByteArray V2(int command, int family, const QByteArray& block, int version = 2)
{
    QByteArray h("\r\n\r\n\0\r\nQUIT\n", 12);
    h += char((version << 4) | command);
    h += char(family);
    char length[2];
    qToBigEndian<quint16>(static_cast<quint16>(block.size()), length);
    h += QByteArray(length, 2);
    return h + block;
}

QByteArray V4Block(quint32 source, quint32 target, quint16 sport, quint16 dport)
{
    QByteArray b(12, '\0');
    qToBigEndian(source, b.data());
    qToBigEndian(target, b.data() + 4);
    qToBigEndian(sport, b.data() + 8);
    qToBigEndian(dport, b.data() + 10);
    return b;
}

QByteArray V6Block(const QHostAddress& source)
{
    const Q_IPV6ADDR ip = source.toIPv6Address();
    QByteArray b(reinterpret_cast<const char*>(ip.c), 16);
    b += QByteArray(16, '\0');
    return b + QByteArray("\x01\x00\x1f\x90", 4);
}

} // namespace

TEST(ProxyHeader, EachFormIsReadToItsEndOrRefused)
{
    const QByteArray v4 = V2(1, 0x11, V4Block(0xC0A80A07, 0x0A000001, 51000, 8090));
    const QByteArray v6 = V2(1, 0x21, V6Block(QHostAddress(u"2001:db8::7"_s)));
    const QByteArray tlv =
        V2(1, 0x11, V4Block(0x0A000002, 0, 1, 2) + QByteArray("\x04\x00\x01X", 4));
    struct Case
    {
        const char* name;
        QByteArray bytes;
        TState state;
        qsizetype length; // Done: the header's bytes
        QString client;   // Done: the client's address; empty for the balancer's own
    };
    const QList<Case> cases{
        {"v2 IPv4, request after it", v4 + "{\"id\":1}\n", TState::Done, 28, u"192.168.10.7"_s},
        {"v2 IPv6", v6, TState::Done, 52, u"2001:db8::7"_s},
        {"v2 extensions after the addresses", tlv, TState::Done, 32, u"10.0.0.2"_s},
        {"v2 LOCAL (health check)", V2(0, 0, {}), TState::Done, 16, QString()},
        {"v2 cut in the signature", v4.left(7), TState::NeedMore, 0, {}},
        {"v2 cut in the addresses", v4.left(20), TState::NeedMore, 0, {}},
        {"v2 version 3", V2(1, 0x11, V4Block(1, 2, 3, 4), 3), TState::Invalid, 0, {}},
        {"v2 command 2", V2(2, 0x11, V4Block(1, 2, 3, 4)), TState::Invalid, 0, {}},
        {"v2 UDP", V2(1, 0x12, V4Block(1, 2, 3, 4)), TState::Invalid, 0, {}},
        {"v2 IPv4 block too short", V2(1, 0x11, QByteArray(8, '\0')), TState::Invalid, 0, {}},
        {"v2 longer than allowed",
         V2(1, 0x11, QByteArray(2000, '\0')).left(16),
         TState::Invalid,
         0,
         {}},
        {"v1 TCP4", "PROXY TCP4 10.1.2.3 10.0.0.1 40000 8090\r\nX", TState::Done, 41,
         u"10.1.2.3"_s},
        {"v1 TCP6", "PROXY TCP6 ::1 ::2 40000 8090\r\n", TState::Done, 31, u"::1"_s},
        {"v1 UNKNOWN", "PROXY UNKNOWN\r\n", TState::Done, 15, QString()},
        {"v1 cut", "PROXY TCP4 10.1.2.3 10.0", TState::NeedMore, 0, {}},
        {"v1 cut in its name", "PRO", TState::NeedMore, 0, {}},
        {"v1 bad address", "PROXY TCP4 10.1.2.300 10.0.0.1 1 2\r\n", TState::Invalid, 0, {}},
        {"v1 bad port", "PROXY TCP4 10.1.2.3 10.0.0.1 70000 2\r\n", TState::Invalid, 0, {}},
        {"v1 family mismatch", "PROXY TCP4 ::1 ::2 1 2\r\n", TState::Invalid, 0, {}},
        {"v1 missing field", "PROXY TCP4 10.1.2.3 10.0.0.1 1\r\n", TState::Invalid, 0, {}},
        {"v1 without end", "PROXY TCP4 " + QByteArray(120, '1'), TState::Invalid, 0, {}},
        {"a request instead", "{\"jsonrpc\":\"2.0\"}\n", TState::Invalid, 0, {}},
        {"a TLS hello instead", QByteArray("\x16\x03\x01\x02\x00", 5), TState::Invalid, 0, {}},
    };
    for (const Case& c : cases) {
        const TProxyHeader h = ParseProxyHeader(c.bytes);
        EXPECT_EQ(h.State, c.state) << c.name;
        if (h.State == TState::Invalid) {
            EXPECT_FALSE(h.Reason.isEmpty()) << c.name;
        }
        if (c.state != TState::Done || h.State != TState::Done)
            continue;
        EXPECT_EQ(h.Length, c.length) << c.name;
        EXPECT_EQ(h.Client.isNull() ? QString() : h.Client.toString(), c.client) << c.name;
        // Every shorter start of a whole header waits for the rest.
        for (qsizetype n = 0; n < c.length; ++n) {
            EXPECT_EQ(ParseProxyHeader(c.bytes.left(n)).State, TState::NeedMore)
                << c.name << " cut at " << n;
        }
    }
}

// A version 1 line is text as a balancer writes it: addresses in their
// plain form only (a leading zero is not read as octal nor dropped), ports
// in plain decimal, and no NUL anywhere, refused even before the line ends.
TEST(ProxyHeader, VersionOneTakesOnlyPlainText)
{
    struct Case
    {
        const char* name;
        QByteArray line;
        QString client; // empty: refused
    };
    const QList<Case> cases{
        {"plain", "PROXY TCP4 10.1.2.3 10.0.0.1 40000 8090\r\n", u"10.1.2.3"_s},
        {"zeros alone", "PROXY TCP4 0.0.0.0 10.0.0.1 0 8090\r\n", u"0.0.0.0"_s},
        {"highest", "PROXY TCP4 255.255.255.255 10.0.0.1 65535 1\r\n", u"255.255.255.255"_s},
        {"leading zeros", "PROXY TCP4 010.001.002.003 10.0.0.1 40000 8090\r\n", {}},
        {"leading zero in the target", "PROXY TCP4 10.1.2.3 10.0.0.01 40000 8090\r\n", {}},
        {"hexadecimal octet", "PROXY TCP4 0x0a.1.2.3 10.0.0.1 40000 8090\r\n", {}},
        {"three octets", "PROXY TCP4 10.1.2 10.0.0.1 40000 8090\r\n", {}},
        {"one number", "PROXY TCP4 167838211 10.0.0.1 40000 8090\r\n", {}},
        {"empty octet", "PROXY TCP4 10..2.3 10.0.0.1 40000 8090\r\n", {}},
        {"octet over 255", "PROXY TCP4 10.1.2.256 10.0.0.1 40000 8090\r\n", {}},
        {"signed port", "PROXY TCP4 10.1.2.3 10.0.0.1 +4000 8090\r\n", {}},
        {"port with a leading zero", "PROXY TCP4 10.1.2.3 10.0.0.1 04000 8090\r\n", {}},
        {"port over 65535", "PROXY TCP4 10.1.2.3 10.0.0.1 40000 65536\r\n", {}},
        {"two spaces", "PROXY TCP4  10.1.2.3 10.0.0.1 40000 8090\r\n", {}},
        {"NUL after an address", QByteArray("PROXY TCP4 10.1.2.3\0 10.0.0.1 1 2\r\n", 36), {}},
        {"NUL at the end", QByteArray("PROXY TCP4 10.1.2.3 10.0.0.1 1 2\0\r\n", 36), {}},
        {"NUL before the line ends", QByteArray("PROXY TCP4 10.1\0", 16), {}},
        {"IPv6", "PROXY TCP6 2001:db8::7 ::1 40000 8090\r\n", u"2001:db8::7"_s},
        {"IPv6 with an IPv4 tail", "PROXY TCP6 ::ffff:10.1.2.3 ::1 1 2\r\n", u"::ffff:10.1.2.3"_s},
        {"IPv6 tail with leading zeros", "PROXY TCP6 ::ffff:010.1.2.3 ::1 1 2\r\n", {}},
        {"IPv6 with a scope", "PROXY TCP6 fe80::1%eth0 ::1 1 2\r\n", {}},
        {"IPv4 in a TCP6 line", "PROXY TCP6 10.1.2.3 ::1 1 2\r\n", {}},
    };
    for (const Case& c : cases) {
        const TProxyHeader h = ParseProxyHeader(c.line);
        if (c.client.isEmpty()) {
            EXPECT_EQ(h.State, TState::Invalid) << c.name;
            EXPECT_FALSE(h.Reason.isEmpty()) << c.name;
            continue;
        }
        EXPECT_EQ(h.State, TState::Done) << c.name;
        EXPECT_EQ(h.Length, c.line.size()) << c.name;
        EXPECT_EQ(h.Client, QHostAddress(c.client)) << c.name;
    }
}

// The limits count an IPv4 client by its address and an IPv6 one by its
// /64: two addresses share a key exactly when they share that much.
TEST(ClientLimitKey, AnIpv6ClientIsCountedByItsSlash64)
{
    struct Case
    {
        const char* a;
        const char* b;
        bool same;
    };
    const QList<Case> cases{
        {"2001:db8:1:2::a", "2001:db8:1:2:ffff:ffff:ffff:ffff", true},
        {"2001:db8:1:2::a", "2001:db8:1:2::a", true},
        {"2001:db8:1:2::a", "2001:db8:1:3::a", false},
        {"2001:db8:1:2::a", "2001:db9:1:2::a", false},
        {"2001:db8:1:2::a", "2001:db8:1:2:8000::", true},
        {"10.1.2.3", "::ffff:10.1.2.3", true},
        {"10.1.2.3", "10.1.2.4", false},
        {"::ffff:10.1.2.3", "::ffff:10.1.2.4", false},
        {"10.1.2.3", "::a01:203", false},
    };
    for (const Case& c : cases) {
        const QString a = ClientLimitKey(QHostAddress(QString::fromLatin1(c.a)));
        const QString b = ClientLimitKey(QHostAddress(QString::fromLatin1(c.b)));
        EXPECT_EQ(a == b, c.same) << c.a << " " << c.b << ": " << a.toStdString() << " "
                                  << b.toStdString();
    }
    EXPECT_EQ(ClientLimitKey(QHostAddress(u"2001:db8:1:2:3:4:5:6"_s)), u"2001:db8:1:2::/64"_s);
    EXPECT_EQ(ClientLimitKey(QHostAddress(u"::ffff:10.1.2.3"_s)), u"10.1.2.3"_s);
}

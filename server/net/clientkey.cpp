#include "server/net/clientkey.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The bytes of an IPv6 address that name its /64.
constexpr int kIpv6PrefixBytes = 64 / 8;

} // namespace

QString ClientAddressText(const QHostAddress& address)
{
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip).toString() : address.toString();
}

QString ClientLimitKey(const QHostAddress& address)
{
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    if (v4)
        return QHostAddress(ip4).toString();
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return address.toString();
    Q_IPV6ADDR ip6 = address.toIPv6Address();
    for (int i = kIpv6PrefixBytes; i < 16; ++i)
        ip6[i] = 0;
    return QHostAddress(ip6).toString() + u"/64"_s;
}

} // namespace aph

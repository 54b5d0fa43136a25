#include "server/net/proxyheader.h"

#include <QtEndian>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

constexpr std::array<char, 12> kV2Signature{'\r', '\n', '\r', '\n', '\0', '\r',
                                            '\n', 'Q',  'U',  'I',  'T',  '\n'};
constexpr qsizetype kV2Fixed = 16;
// Version 1: "PROXY " and at most 107 bytes with its "\r\n".
constexpr qsizetype kV1MaxBytes = 107;

TProxyHeader Invalid(const QString& reason)
{
    TProxyHeader h;
    h.State = TProxyHeader::TState::Invalid;
    h.Reason = reason;
    return h;
}

// Whether bytes, as far as they go, agree with the start of what.
bool BeginsAs(const QByteArray& bytes, const char* what, qsizetype size)
{
    const qsizetype n = std::min(bytes.size(), size);
    return std::equal(bytes.constData(), bytes.constData() + n, what);
}

TProxyHeader ParseV2(const QByteArray& bytes)
{
    TProxyHeader h;
    if (bytes.size() < kV2Fixed)
        return h;
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const int version = b[12] >> 4;
    const int command = b[12] & 0x0f;
    const int family = b[13];
    const qsizetype length = qFromBigEndian<quint16>(b + 14);
    if (version != 2 || command > 1)
        return Invalid(u"cabeçalho PROXY v2 com versão ou comando inválido"_s);
    if (kV2Fixed + length > kMaxProxyHeaderBytes)
        return Invalid(u"cabeçalho PROXY v2 longo demais (%1 bytes)"_s.arg(kV2Fixed + length));
    if (bytes.size() < kV2Fixed + length)
        return h;
    h.State = TProxyHeader::TState::Done;
    h.Length = kV2Fixed + length;
    if (command == 0) // LOCAL: the balancer's own connection
        return h;
    const uchar* a = b + kV2Fixed;
    if (family == 0x11 && length >= 12) // TCP over IPv4
        h.Client = QHostAddress(qFromBigEndian<quint32>(a));
    else if (family == 0x21 && length >= 36) // TCP over IPv6
        h.Client = QHostAddress(a);
    else
        return Invalid(
            u"cabeçalho PROXY v2 sem endereço TCP (família %1, %2 bytes)"_s.arg(family).arg(
                length));
    return h;
}

// A decimal number of at most maxDigits digits, written as the header's
// rules ask: digits only, no sign, no leading zero (a "010" is refused
// rather than read as octal or as ten); its value, or -1.
int CanonicalNumber(const QByteArray& text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits || (text.size() > 1 && text[0] == '0'))
        return -1;
    int value = 0;
    for (const char ch : text) {
        if (ch < '0' || ch > '9')
            return -1;
        value = value * 10 + (ch - '0');
    }
    return value;
}

constexpr qsizetype kIpv4Octets = 4;
constexpr int kMaxOctetDigits = 3;
constexpr int kMaxOctet = 255;

// An IPv4 address in canonical dotted decimal: four numbers 0-255.
bool CanonicalIpv4(const QByteArray& text)
{
    const QList<QByteArray> octets = text.split('.');
    if (octets.size() != kIpv4Octets)
        return false;
    return std::all_of(octets.cbegin(), octets.cend(), [](const QByteArray& octet) {
        const int value = CanonicalNumber(octet, kMaxOctetDigits);
        return value >= 0 && value <= kMaxOctet;
    });
}

// An IPv6 address as text: hexadecimal groups and colons, with an IPv4
// tail in canonical dotted decimal if it has one.
bool PlainIpv6(const QByteArray& text)
{
    const qsizetype lastColon = text.lastIndexOf(':');
    if (lastColon < 0)
        return false;
    const QByteArray tail = text.sliced(lastColon + 1);
    if (tail.contains('.') && !CanonicalIpv4(tail))
        return false;
    const QByteArray groups = tail.contains('.') ? text.first(lastColon + 1) : text;
    return std::all_of(groups.cbegin(), groups.cend(), [](char ch) {
        return ch == ':' || (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') ||
               (ch >= 'A' && ch <= 'F');
    });
}

// The address as the family of the line writes it; null when it is not.
QHostAddress LineAddress(const QByteArray& text, bool v4)
{
    if (!(v4 ? CanonicalIpv4(text) : PlainIpv6(text)))
        return {};
    QHostAddress address;
    if (!address.setAddress(QString::fromLatin1(text)))
        return {};
    const bool isV4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    return isV4 == v4 ? address : QHostAddress();
}

constexpr int kMaxPortDigits = 5;
constexpr int kMaxPort = 65535;

bool LinePort(const QByteArray& text)
{
    const int port = CanonicalNumber(text, kMaxPortDigits);
    return port >= 0 && port <= kMaxPort;
}

TProxyHeader ParseV1(const QByteArray& bytes)
{
    TProxyHeader h;
    const qsizetype end = bytes.indexOf("\r\n");
    // A NUL is no part of a text line: refused as soon as it arrives.
    if (bytes.first(end < 0 ? bytes.size() : end).contains('\0'))
        return Invalid(u"cabeçalho PROXY v1 com um byte nulo"_s);
    if (end < 0)
        return bytes.size() >= kV1MaxBytes ? Invalid(u"cabeçalho PROXY v1 sem fim de linha"_s) : h;
    if (end + 2 > kV1MaxBytes)
        return Invalid(u"cabeçalho PROXY v1 longo demais"_s);
    const QList<QByteArray> parts = bytes.first(end).split(' ');
    h.State = TProxyHeader::TState::Done;
    h.Length = end + 2;
    if (parts.size() >= 2 && parts[1] == "UNKNOWN")
        return h;
    if (parts.size() != 6 || (parts[1] != "TCP4" && parts[1] != "TCP6") || !LinePort(parts[4]) ||
        !LinePort(parts[5]))
        return Invalid(u"cabeçalho PROXY v1 malformado"_s);
    const bool v4 = parts[1] == "TCP4";
    h.Client = LineAddress(parts[2], v4);
    if (h.Client.isNull() || LineAddress(parts[3], v4).isNull())
        return Invalid(u"cabeçalho PROXY v1 com endereço malformado ou de outra família"_s);
    return h;
}

} // namespace

TProxyHeader ParseProxyHeader(const QByteArray& bytes)
{
    if (BeginsAs(bytes, kV2Signature.data(), kV2Signature.size()) && !bytes.isEmpty() &&
        bytes[0] == '\r')
        return ParseV2(bytes);
    if (BeginsAs(bytes, "PROXY ", 6))
        return bytes.size() < 6 ? TProxyHeader{} : ParseV1(bytes);
    return Invalid(u"a conexão não começa com um cabeçalho PROXY"_s);
}

} // namespace aph

#include "server/net/proxyheader.h"

#include <QtEndian>

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

TProxyHeader ParseV1(const QByteArray& bytes)
{
    TProxyHeader h;
    const qsizetype end = bytes.indexOf("\r\n");
    if (end < 0)
        return bytes.size() >= kV1MaxBytes ? Invalid(u"cabeçalho PROXY v1 sem fim de linha"_s) : h;
    if (end + 2 > kV1MaxBytes)
        return Invalid(u"cabeçalho PROXY v1 longo demais"_s);
    const QList<QByteArray> parts = bytes.left(end).split(' ');
    h.State = TProxyHeader::TState::Done;
    h.Length = end + 2;
    if (parts.size() >= 2 && parts[1] == "UNKNOWN")
        return h;
    const auto port = [](const QByteArray& text) {
        bool ok = false;
        text.toUShort(&ok);
        return ok;
    };
    if (parts.size() != 6 || (parts[1] != "TCP4" && parts[1] != "TCP6") ||
        !h.Client.setAddress(QString::fromLatin1(parts[2])) ||
        !QHostAddress().setAddress(QString::fromLatin1(parts[3])) || !port(parts[4]) ||
        !port(parts[5]))
        return Invalid(u"cabeçalho PROXY v1 malformado"_s);
    const bool v4 = h.Client.protocol() == QAbstractSocket::IPv4Protocol;
    if (v4 != (parts[1] == "TCP4"))
        return Invalid(u"cabeçalho PROXY v1 com endereço de outra família"_s);
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

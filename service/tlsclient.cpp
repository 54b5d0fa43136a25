#include "service/tlsclient.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslSocket>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

QString Day(const QDateTime& when)
{
    return when.toUTC().toString(u"dd/MM/yyyy"_s);
}

QString CertificateRefused(const QString& host, quint16 port, const QString& why)
{
    return u"O certificado do servidor %1:%2 %3; a conexão não é segura e foi recusada."_s.arg(host)
        .arg(port)
        .arg(why);
}

bool IsIssuerError(QSslError::SslError error)
{
    switch (error) {
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateSignatureFailed:
    case QSslError::UnableToDecryptCertificateSignature:
    case QSslError::InvalidCaCertificate:
        return true;
    default:
        return false;
    }
}

// The one reason to give, the most basic first: who issued it, then its
// dates, then its name.
QString CertificateReason(const QList<QSslError>& errors, const QString& host,
                          const TTlsSettings& tls)
{
    const auto find = [&](auto pred) {
        return std::find_if(errors.cbegin(), errors.cend(), pred);
    };
    if (find([](const QSslError& e) { return IsIssuerError(e.error()); }) != errors.cend())
        return tls.CaFile.isEmpty()
                   ? u"não foi emitido por uma autoridade certificadora reconhecida pelo "
                     "sistema (configure ca)"_s
                   : u"não foi emitido pela autoridade certificadora configurada (ca: %1)"_s.arg(
                         tls.CaFile);
    const auto is = [&](QSslError::SslError kind) {
        return find([kind](const QSslError& e) { return e.error() == kind; });
    };
    if (const auto e = is(QSslError::CertificateExpired); e != errors.cend())
        return u"expirou em %1"_s.arg(Day(e->certificate().expiryDate()));
    if (const auto e = is(QSslError::CertificateNotYetValid); e != errors.cend())
        return u"só vale a partir de %1"_s.arg(Day(e->certificate().effectiveDate()));
    if (is(QSslError::HostNameMismatch) != errors.cend())
        return u"não corresponde ao endereço %1"_s.arg(host);
    return u"é inválido (%1)"_s.arg(errors.first().errorString());
}

} // namespace

QSslConfiguration ClientTlsConfiguration(const TTlsSettings& tls)
{
    if (!QSslSocket::supportsSsl())
        throw ETlsError(u"O TLS não está disponível nesta máquina: falta a biblioteca OpenSSL "
                        "(pacote openssl)."_s);
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (tls.CaFile.isEmpty())
        return config; // the system's authorities
    QFile file(tls.CaFile);
    if (!file.open(QIODevice::ReadOnly))
        throw ETlsError(u"Não foi possível ler o arquivo da autoridade certificadora (ca) %1: "
                        "%2."_s.arg(tls.CaFile, QFileInfo::exists(tls.CaFile)
                                                    ? u"sem permissão de leitura"_s
                                                    : u"arquivo não encontrado"_s));
    const QList<QSslCertificate> authorities = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (authorities.isEmpty())
        throw ETlsError(u"O arquivo da autoridade certificadora (ca) %1 não contém um "
                        "certificado PEM."_s.arg(tls.CaFile));
    config.setCaCertificates(authorities);
    return config;
}

QString TlsHandshakeFailure(const QSslSocket& socket, const QString& host, quint16 port,
                            const TTlsSettings& tls, int timeoutMs)
{
    const QList<QSslError> errors = socket.sslHandshakeErrors();
    if (!errors.isEmpty())
        return CertificateRefused(host, port, CertificateReason(errors, host, tls));
    const QString prefix =
        u"Não foi possível conectar com TLS ao servidor %1:%2: "_s.arg(host).arg(port);
    if (socket.state() == QAbstractSocket::ConnectedState)
        return prefix + u"o servidor não completou o handshake em %1 ms (ele usa TLS nesse "
                        "endereço?)"_s.arg(timeoutMs);
    if (socket.error() == QAbstractSocket::RemoteHostClosedError)
        return prefix + u"o servidor encerrou a conexão durante o handshake (ele usa TLS "
                        "nesse endereço?)"_s;
    return prefix +
           u"o handshake falhou; o servidor não respondeu em TLS (%1)"_s.arg(socket.errorString());
}

QString IpNameMismatch(const QSslSocket& socket, const QString& host, quint16 port)
{
    const QHostAddress address(host);
    if (address.isNull())
        return {};
    const auto names = socket.peerCertificate().subjectAlternativeNames();
    const auto [first, last] = names.equal_range(QSsl::AlternativeNameEntryType::IpAddressEntry);
    for (auto it = first; it != last; ++it)
        if (QHostAddress(*it).isEqual(address))
            return {};
    return CertificateRefused(host, port, u"não corresponde ao endereço %1"_s.arg(host));
}

} // namespace aph

#include "server/net/tlsconfig.h"

#include "host/data/exceptions.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// How long the start-up handshake with ourselves may take on loopback; far
// more than it needs, so that only a hung one counts as failed.
constexpr int kSelfHandshakeTimeoutMs = 10000;

QByteArray ReadTlsFile(const QString& path, const QString& what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(u"Não foi possível ler %1 %2: %3."_s.arg(
            what, path,
            QFileInfo::exists(path) ? u"sem permissão de leitura"_s : u"arquivo não encontrado"_s));
    return file.readAll();
}

QSslKey ReadPrivateKey(const QString& path)
{
    const QByteArray pem = ReadTlsFile(path, u"a chave privada"_s);
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            return key;
    }
    throw Exception(u"%1 não contém uma chave privada PEM (RSA ou EC, sem senha)."_s.arg(path));
}

// Why a handshake with this configuration fails, or nothing when it
// succeeds. The TLS library checks the key against the certificate only
// when a connection begins; a handshake with ourselves on loopback finds a
// mismatched pair at start-up rather than at the first client.
QString SelfHandshakeFailure(const QSslConfiguration& config)
{
    QSslServer server;
    server.setSslConfiguration(config);
    if (!server.listen(QHostAddress(QHostAddress::LocalHost), 0))
        return {}; // no loopback to try on; the real listen reports its own failure
    QSslSocket client;
    client.setPeerVerifyMode(QSslSocket::VerifyNone);
    QString failure;
    QEventLoop loop;
    QObject::connect(&server, &QSslServer::errorOccurred, &loop,
                     [&](QSslSocket* socket, QAbstractSocket::SocketError) {
                         failure = socket->errorString();
                         loop.quit();
                     });
    QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, &loop, &QEventLoop::quit);
    QObject::connect(&client, &QAbstractSocket::errorOccurred, &loop, [&] {
        if (failure.isEmpty())
            failure = client.errorString();
        loop.quit();
    });
    QTimer::singleShot(kSelfHandshakeTimeoutMs, &loop, [&] {
        failure = u"sem resposta"_s;
        loop.quit();
    });
    client.connectToHostEncrypted(u"127.0.0.1"_s, server.serverPort());
    loop.exec();
    return server.hasPendingConnections() ? QString() : failure;
}

} // namespace

QSslConfiguration ServerTlsConfiguration(const QString& certFile, const QString& keyFile)
{
    if (!QSslSocket::supportsSsl())
        throw Exception(u"O TLS não está disponível nesta máquina: falta a biblioteca OpenSSL "
                        "(pacote openssl)."_s);
    const QList<QSslCertificate> chain =
        QSslCertificate::fromData(ReadTlsFile(certFile, u"o certificado"_s), QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull())
        throw Exception(u"%1 não contém um certificado PEM."_s.arg(certFile));
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(ReadPrivateKey(keyFile));
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    const QString failure = SelfHandshakeFailure(config);
    if (!failure.isEmpty())
        throw Exception(u"A chave %1 não corresponde ao certificado %2: um handshake de teste "
                        "com o par falhou."_s.arg(keyFile, certFile));
    return config;
}

} // namespace aph

#include "server/web/webserver.h"

#include "server/common/serverlog.h"
#include "server/net/clientkey.h"
#include "server/net/proxyheader.h"
#include "server/net/tlsconfig.h"
#include "server/web/webforms.h"
#include "server/web/webpage.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// A connection lives at most this long, whatever it does: a client that
// sends a request a byte at a time, or holds the connection open, loses it
// (a browser opens another for its next request).
constexpr int kConnectionLifeMs = 30000;
// The most one connection may send, headers and bodies of all its
// requests together; past it, the connection is cut. A form's body alone
// is refused past kMaxFormBytes (webforms.h) with a page that says so.
constexpr qint64 kMaxConnectionBytes = 1024 * 1024;
// The PROXY header must arrive within this.
constexpr int kProxyHeaderMs = 5000;

// The property that carries the client's address (from the PROXY header,
// or the peer) from the connection to its requests.
constexpr char kClientProperty[] = "aphClient";

} // namespace

// Accepts the pages' connections: the per-address limit, the PROXY header
// of a trusted balancer, TLS, the size and time limits; then hands each
// to the HTTP library as a pending connection.
class TWebListener : public QTcpServer
{
public:
    TWebListener(const TServerOptions& options, const QSslConfiguration* tls)
        : m_options(options), m_tls(tls ? std::make_unique<QSslConfiguration>(*tls) : nullptr)
    {}

protected:
    void incomingConnection(qintptr fd) override
    {
        QTcpSocket* socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
        if (!socket->setSocketDescriptor(fd)) {
            delete socket;
            return;
        }
        QTimer::singleShot(kConnectionLifeMs, socket, [socket] { socket->abort(); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        const QHostAddress peer = socket->peerAddress();
        const bool fromBalancer =
            std::any_of(m_options.TrustedProxies.cbegin(), m_options.TrustedProxies.cend(),
                        [&peer](const auto& subnet) { return peer.isInSubnet(subnet); });
        if (!fromBalancer) {
            Admit(socket, peer);
            return;
        }
        QTimer::singleShot(kProxyHeaderMs, socket, [socket] {
            if (socket->property(kClientProperty).isNull())
                socket->abort();
        });
        connect(socket, &QTcpSocket::readyRead, socket,
                [this, socket] { ReadProxyHeader(socket); });
    }

private:
    // The header is peeked at and only its own bytes read, so that the
    // request behind it stays for the library.
    void ReadProxyHeader(QTcpSocket* socket)
    {
        const TProxyHeader h = ParseProxyHeader(socket->peek(kMaxProxyHeaderBytes));
        if (h.State == TProxyHeader::TState::NeedMore)
            return;
        disconnect(socket, &QTcpSocket::readyRead, socket, nullptr);
        if (h.State == TProxyHeader::TState::Invalid) {
            LogLine(TLogLevel::Warning, u"páginas: cabeçalho PROXY inválido de %1: %2"_s.arg(
                                            ClientAddressText(socket->peerAddress()), h.Reason));
            socket->abort();
            return;
        }
        socket->read(h.Length);
        Admit(socket, h.Client.isNull() ? socket->peerAddress() : h.Client);
    }

    void Admit(QTcpSocket* socket, const QHostAddress& client)
    {
        const QString key = ClientLimitKey(client);
        const QString address = ClientAddressText(client);
        socket->setProperty(kClientProperty, address);
        if (m_perAddress.value(key) >= m_options.MaxPerAddress) {
            LogLine(TLogLevel::Warning,
                    u"páginas: conexão de %1 recusada: %2 conexões abertas desse endereço"_s
                        .arg(address)
                        .arg(m_options.MaxPerAddress));
            socket->abort();
            return;
        }
        ++m_perAddress[key];
        connect(socket, &QObject::destroyed, this, [this, key] {
            if (--m_perAddress[key] <= 0)
                m_perAddress.remove(key);
        });
        // Connected before the library's own reading, so it counts every
        // byte before the library takes them.
        auto received = std::make_shared<qint64>(0);
        connect(socket, &QTcpSocket::readyRead, socket, [socket, received, address] {
            *received += socket->bytesAvailable();
            if (*received > kMaxConnectionBytes) {
                LogLine(TLogLevel::Warning,
                        u"páginas: conexão de %1 cortada: mais de %2 bytes"_s.arg(address).arg(
                            kMaxConnectionBytes));
                socket->abort();
            }
        });
        auto* tls = qobject_cast<QSslSocket*>(socket);
        if (!tls) {
            addPendingConnection(socket);
            return;
        }
        tls->setSslConfiguration(*m_tls);
        connect(tls, &QSslSocket::encrypted, this, [this, tls] { addPendingConnection(tls); });
        connect(tls, &QSslSocket::errorOccurred, tls, [tls] { tls->abort(); });
        tls->startServerEncryption();
    }

    TServerOptions m_options;
    std::unique_ptr<QSslConfiguration> m_tls;
    QHash<QString, int> m_perAddress;
};

// What each path answers; the pages themselves are TWebForms'.
class TWebServer : public QAbstractHttpServer
{
public:
    explicit TWebServer(const TServerOptions& options) : m_forms(options) {}

    TWebForms& Forms() { return m_forms; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        QHttpServerResponder responder = makeResponder(request, socket);
        const QString address = socket->property(kClientProperty).toString();
        m_forms.Answer(request, address, responder);
        return true;
    }
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        QHttpServerResponder responder = makeResponder(request, socket);
        m_forms.Answer(request, socket->property(kClientProperty).toString(), responder);
    }

private:
    TWebForms m_forms;
};

TWebPages::TWebPages(const TServerOptions& options) : m_options(options)
{
    m_thread.setObjectName(u"aph-web"_s);
}

TWebPages::~TWebPages()
{
    if (m_context) {
        QMetaObject::invokeMethod(
            m_context.get(), [this] { delete std::exchange(m_server, nullptr); },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
}

void TWebPages::Listen()
{
    std::unique_ptr<QSslConfiguration> tls;
    if (Tls())
        tls = std::make_unique<QSslConfiguration>(
            ServerTlsConfiguration(m_options.TlsCertFile, m_options.TlsKeyFile));
    m_context = std::make_unique<QObject>();
    m_context->moveToThread(&m_thread);
    m_thread.start();
    QString failure;
    QMetaObject::invokeMethod(
        m_context.get(),
        [this, &tls, &failure] {
            m_server = new TWebServer(m_options);
            auto* listener = new TWebListener(m_options, tls.get());
            listener->setParent(m_server);
            if (!listener->listen(m_options.Address, static_cast<quint16>(m_options.WebPort))) {
                failure = listener->errorString();
                return;
            }
            m_port = listener->serverPort();
            m_server->bind(listener);
        },
        Qt::BlockingQueuedConnection);
    if (!failure.isEmpty())
        throw Exception(u"Não foi possível escutar as páginas do cliente em %1:%2: %3"_s
                            .arg(m_options.Address.toString())
                            .arg(m_options.WebPort)
                            .arg(failure));
}

} // namespace aph

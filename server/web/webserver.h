#pragma once

#include "server/net/rpcserver.h"

#include <QThread>

#include <memory>

namespace aph {

class TWebServer;

// The client's acceptance pages (serve --web-port), on a thread of their
// own with a database connection of their own, so that a page's reads
// never hold up the desktops' requests. HTTP comes from Qt's HTTP Server
// (Debian's qt6-httpserver): the request parsing is the library's. Here:
// which connections come in (the same per-address limit and PROXY header
// handling as the RPC port, the same TLS certificate), how much and for how
// long one may send, and what each path answers.
class TWebPages
{
public:
    explicit TWebPages(const TServerOptions& options);
    ~TWebPages();
    TWebPages(const TWebPages&) = delete;
    TWebPages& operator=(const TWebPages&) = delete;

    // Listens on options.Address and WebPort; throws Exception with the
    // reason.
    void Listen();
    quint16 Port() const { return m_port; }
    bool Tls() const { return !m_options.TlsCertFile.isEmpty(); }

private:
    TServerOptions m_options;
    QThread m_thread;
    std::unique_ptr<QObject> m_context; // lives on m_thread
    TWebServer* m_server = nullptr;     // made, used and deleted on m_thread
    quint16 m_port = 0;
};

} // namespace aph

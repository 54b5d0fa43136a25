#pragma once

#include "server/net/rpcserver.h"

#include <QString>

#include <memory>

class QHttpServerRequest;
class QHttpServerResponder;

namespace aph {

class TStorage;

// The largest form body taken; past it, a page says the form was too big
// and nothing is written.
constexpr qint64 kMaxFormBytes = 64 * 1024;

// The answers of the client's pages, one request at a time on the pages'
// thread, with a database connection of its own:
//   GET  /estilo.css                       the stylesheet
//   GET  /aceite/TOKEN                     the link's page
//   GET  /aceite/TOKEN/demonstrativo.pdf   the client's statement as PDF
//   POST /aceite/TOKEN                     the decision ("Aceitar" or
//                                          "Contestar dias"), then back to
//                                          the page (303)
// Anything else, and a link unknown, expired or revoked: 404, with no
// data. Every answer carries a Content-Security-Policy without script or
// inline style and with frame-ancestors 'none'. A decision is taken only
// from a form of the same site (Origin, or the Referer, naming the Host
// the request went to) carrying the link's own form token; a refusal
// gets a page that says why, and nothing is written.
class TWebForms
{
public:
    explicit TWebForms(const TServerOptions& options);
    ~TWebForms();

    // address: the client's, as the log writes it.
    void Answer(const QHttpServerRequest& request, const QString& address,
                QHttpServerResponder& responder);

private:
    TStorage& Storage();
    void Page(const QString& token, QHttpServerResponder& responder);
    void Pdf(const QString& token, QHttpServerResponder& responder);
    void Decide(const QHttpServerRequest& request, const QString& token, const QString& address,
                QHttpServerResponder& responder);

    TServerOptions m_options;
    std::unique_ptr<TStorage> m_storage;
};

} // namespace aph

#include "server/web/webforms.h"

#include "server/common/serverlog.h"
#include "server/documents/statement.h"
#include "server/methods/acceptance.h"
#include "server/storage/storage.h"
#include "server/web/webpage.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

using TStatus = QHttpServerResponder::StatusCode;

// No script at all, styles only from the stylesheet, forms only to this
// site, never inside another page's frame.
const QByteArray kCsp =
    QByteArrayLiteral("default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
                      "frame-ancestors 'none'; base-uri 'none'");

void Send(QHttpServerResponder& responder, TStatus status, const QByteArray& type,
          const QByteArray& body)
{
    responder.write(body,
                    {{"Content-Type", type},
                     {"Content-Security-Policy", kCsp},
                     {"X-Content-Type-Options", "nosniff"},
                     {"X-Frame-Options", "DENY"},
                     // The link's token is in its address: sent to no other site.
                     {"Referrer-Policy", "same-origin"},
                     {"Cache-Control", "no-store"}},
                    status);
}

void SendHtml(QHttpServerResponder& responder, TStatus status, const QByteArray& html)
{
    Send(responder, status, "text/html; charset=utf-8", html);
}

void NotFound(QHttpServerResponder& responder)
{
    SendHtml(responder, TStatus::NotFound,
             MessagePage(u"Página não encontrada"_s,
                         u"Este endereço não leva a nenhum demonstrativo. Se recebeu um link de "
                         "aceite, ele pode ter vencido ou sido encerrado: peça um novo a quem o "
                         "enviou."_s));
}

// The form's fields; a value missing is an empty string.
struct TForm
{
    QUrlQuery Fields;
    QString Value(const QString& name) const
    {
        return Fields.queryItemValue(name, QUrl::FullyDecoded);
    }
};

TForm ParseForm(const QByteArray& body)
{
    // application/x-www-form-urlencoded: "+" is a space; a "+" typed is
    // "%2B", so no text is changed by reading it so.
    QByteArray text = body;
    text.replace('+', "%20");
    TForm form;
    form.Fields.setQuery(QString::fromUtf8(text));
    return form;
}

// The host and port the page was asked at, as the browser names its own
// site in Origin (or, failing that, in the Referer the page's policy lets
// it send to the same site).
bool FromThisSite(const QHttpServerRequest& request)
{
    const QByteArray host = request.value("Host");
    QByteArray from = request.value("Origin");
    if (from.isEmpty())
        from = request.value("Referer");
    if (host.isEmpty() || from.isEmpty() || from == "null")
        return false;
    const QUrl url(QString::fromUtf8(from), QUrl::StrictMode);
    return url.isValid() &&
           url.authority().compare(QString::fromUtf8(host), Qt::CaseInsensitive) == 0;
}

// The decision the form carries; ERefusal for a form that is not one.
TAcceptanceDecision ReadDecision(const TForm& form, const QString& address)
{
    TAcceptanceDecision d;
    const QString kind = form.Value(u"decisao"_s);
    if (kind != u"aceitar" && kind != u"contestar")
        throw ERefusal(u"O formulário veio incompleto. Abra o link de novo e envie outra vez."_s);
    d.Accept = kind == u"aceitar";
    d.ContactName = form.Value(u"nome"_s);
    d.Address = address;
    if (d.Accept)
        return d;
    for (const QString& text : form.Fields.allQueryItemValues(u"dia"_s, QUrl::FullyDecoded)) {
        bool number = false;
        const qint64 day = text.toLongLong(&number);
        if (!number)
            throw ERefusal(u"Um dos dias marcados não é desta CHT."_s);
        d.Days.push_back({day, form.Value(u"comentario-"_s + text)});
    }
    return d;
}

} // namespace

TWebForms::TWebForms(const TServerOptions& options) : m_options(options) {}

TWebForms::~TWebForms() = default;

TStorage& TWebForms::Storage()
{
    if (!m_storage)
        m_storage = TStorage::Open(m_options.Database);
    return *m_storage;
}

void TWebForms::Answer(const QHttpServerRequest& request, const QString& address,
                       QHttpServerResponder& responder)
{
    static const QRegularExpression linkPath(
        u"^/aceite/([0-9a-f]{1,128})(/demonstrativo\\.pdf)?$"_s);
    const QString path = request.url().path();
    const auto method = request.method();
    const bool get = method == QHttpServerRequest::Method::Get;
    const bool post = method == QHttpServerRequest::Method::Post;
    try {
        if (path == u"/estilo.css" && get) {
            Send(responder, TStatus::Ok, "text/css; charset=utf-8", PageStyle());
            return;
        }
        const QRegularExpressionMatch m = linkPath.match(path);
        const bool pdf = m.hasMatch() && !m.captured(2).isEmpty();
        if (!m.hasMatch() || !(get || (post && !pdf))) {
            NotFound(responder);
            return;
        }
        if (pdf)
            Pdf(m.captured(1), responder);
        else if (get)
            Page(m.captured(1), responder);
        else
            Decide(request, m.captured(1), address, responder);
    } catch (const ELinkGone&) {
        LogLine(TLogLevel::Info, u"páginas: link desconhecido, vencido ou encerrado, de %1"_s.arg(
                                     LogValue(address)));
        NotFound(responder);
    } catch (const ERefusal& e) {
        LogLine(TLogLevel::Info,
                u"páginas: recusado para %1: %2"_s.arg(LogValue(address), e.Message()));
        SendHtml(responder, TStatus::BadRequest,
                 MessagePage(u"Não foi possível registrar"_s, e.Message(),
                             path.startsWith(u"/aceite/") && !path.endsWith(u".pdf") ? path
                                                                                     : QString()));
    } catch (const Exception& e) {
        // The database lost, most likely: the next request opens it again.
        LogLine(TLogLevel::Error, u"páginas: %1"_s.arg(e.Message()));
        m_storage.reset();
        SendHtml(
            responder, TStatus::ServiceUnavailable,
            MessagePage(u"Serviço indisponível"_s,
                        u"Não foi possível atender agora. Tente de novo em alguns minutos."_s));
    }
}

void TWebForms::Page(const QString& token, QHttpServerResponder& responder)
{
    const TAcceptanceLink link = FindAcceptanceLink(Storage(), token);
    const TChtStatement statement = LoadChtStatement(Storage(), link.Cht);
    SendHtml(responder, TStatus::Ok, AcceptancePage(statement, link, u"/aceite/"_s + token));
}

void TWebForms::Pdf(const QString& token, QHttpServerResponder& responder)
{
    const TAcceptanceLink link = FindAcceptanceLink(Storage(), token);
    const TStatementFile file =
        StatementFile(Storage(), link.Cht, u"pdf"_s, TStatementVersion::Client);
    responder.write(file.Data,
                    {{"Content-Type", "application/pdf"},
                     {"Content-Disposition",
                      QByteArrayLiteral("attachment; filename=\"") + file.Name.toLatin1() + '"'},
                     {"Content-Security-Policy", kCsp},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Referrer-Policy", "same-origin"},
                     {"Cache-Control", "no-store"}},
                    TStatus::Ok);
}

void TWebForms::Decide(const QHttpServerRequest& request, const QString& token,
                       const QString& address, QHttpServerResponder& responder)
{
    const QString back = u"/aceite/"_s + token;
    // The link first: a forged or ended one learns nothing else.
    FindAcceptanceLink(Storage(), token);
    if (!FromThisSite(request))
        throw ERefusal(u"O formulário não veio desta página. Abra o link recebido e envie a "
                       "decisão por ele."_s);
    if (request.body().size() > kMaxFormBytes)
        throw ERefusal(u"O formulário enviado é grande demais (mais de %1 KiB). Encurte os "
                       "comentários."_s.arg(kMaxFormBytes / 1024));
    if (!request.value("Content-Type").startsWith("application/x-www-form-urlencoded"))
        throw ERefusal(u"O formulário veio num formato que esta página não lê."_s);
    const TForm form = ParseForm(request.body());
    DecideAcceptance(Storage(), token, form.Value(u"form"_s), ReadDecision(form, address));
    responder.write({{"Location", back.toLatin1()},
                     {"Content-Security-Policy", kCsp},
                     {"Referrer-Policy", "same-origin"},
                     {"Cache-Control", "no-store"}},
                    TStatus::SeeOther);
}

} // namespace aph

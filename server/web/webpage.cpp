#include "server/web/webpage.h"

#include "host/data/formatsettings.h"
#include "server/common/clock.h"
#include "server/documents/statementparts.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

QString Page(const QString& title, const QString& body)
{
    return u"<!DOCTYPE html>\n<html lang=\"pt-BR\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<meta name=\"robots\" content=\"noindex\">"
           "<title>%1</title><link rel=\"stylesheet\" href=\"/estilo.css\"></head>"
           "<body><main>\n%2</main></body></html>\n"_s.arg(HtmlEscaped(title), body);
}

QString MomentText(double ole)
{
    return FormatDateTime(u"dd/mm/yyyy hh:nn"_s, ole, BrazilFormat());
}

QString HeaderList(const TChtStatement& s)
{
    QString html = u"<dl class=\"cabecalho\">\n"_s;
    QString own; // the lines without a label: approval and acceptance
    for (const TClientHeaderLine& line : ClientHeaderLines(s)) {
        if (line.Label.isEmpty()) {
            own += u"<p class=\"nota\">%1</p>\n"_s.arg(HtmlEscaped(line.Value));
            continue;
        }
        html += u"<dt>%1</dt><dd>%2"_s.arg(HtmlEscaped(line.Label), HtmlEscaped(line.Value));
        if (!line.Small.isEmpty())
            html += u" <small>%1</small>"_s.arg(HtmlEscaped(line.Small));
        html += u"</dd>\n"_s;
    }
    return html + u"</dl>\n"_s + own;
}

QString Utf8Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString DaysTable(const TChtStatement& s)
{
    QString html = u"<table class=\"dias\"><thead><tr><th>Data</th><th>Dia da semana</th>"
                   "<th class=\"num\">Horas faturadas</th></tr></thead><tbody>\n"_s;
    for (const TChtStatementLine& l : s.Lines) {
        const TDayTexts texts(l, TDayTexts::THours::Client);
        html += u"<tr><td>%1</td><td>%2</td><td class=\"num\">%3</td></tr>\n"_s.arg(
            HtmlEscaped(Utf8Text(texts.Date())), HtmlEscaped(Utf8Text(texts.Weekday())),
            HtmlEscaped(Utf8Text(texts.Charged())));
    }
    html += u"</tbody><tfoot><tr><th>Total</th><th></th><th class=\"num\" id=\"total\">%1</th>"
            "</tr></tfoot></table>\n"_s.arg(HtmlEscaped(s.TotalBilled));
    return html;
}

QString AmountPart(const TChtStatement& s, const QString& pagePath)
{
    QString html = u"<dl class=\"valor\">\n"_s;
    const QString package = ClientPackageText(s);
    if (!package.isEmpty())
        html += u"<dt>Pacote</dt><dd>%1</dd>\n"_s.arg(HtmlEscaped(package));
    html += u"<dt>Base de cálculo</dt><dd>%1</dd>\n<dt>Valor a faturar</dt>"
            "<dd id=\"valor\"><strong>%2</strong></dd>\n</dl>\n"_s.arg(HtmlEscaped(AmountBasis(s)),
                                                                       HtmlEscaped(s.AmountText));
    html += u"<p><a href=\"%1/demonstrativo.pdf\">Baixar o demonstrativo em PDF</a></p>\n"_s.arg(
        HtmlEscaped(pagePath));
    return html;
}

// The decision taken: who, when, and the days contested with their
// comments; no form any more.
QString DecisionPart(const TAcceptanceLink& link)
{
    const bool accepted = link.Decision == u"A";
    QString html = u"<section class=\"decisao\" id=\"decisao\"><h2>%1</h2>\n<p>%2 por %3 (%4) "
                   "em %5.</p>\n"_s.arg(
                       accepted ? u"Demonstrativo aceito"_s : u"Dias contestados"_s,
                       accepted ? u"Aceita"_s : u"Contestada"_s, HtmlEscaped(link.ContactName),
                       HtmlEscaped(link.Email), HtmlEscaped(MomentText(link.DecidedAt)));
    if (!link.ContestedDays.empty()) {
        html += u"<ul>\n"_s;
        for (const TAcceptanceLink::TDayComment& day : link.ContestedDays) {
            QString date =
                FormatDateTime(u"dd/mm/yyyy"_s, static_cast<double>(day.Day), BrazilFormat());
            html += u"<li><strong>%1</strong>: %2</li>\n"_s.arg(HtmlEscaped(date),
                                                                HtmlEscaped(day.Comment));
        }
        html += u"</ul>\n"_s;
    }
    html += u"<p>Esta decisão já foi registrada; não é possível outra por este link.</p>"_s;
    return html + u"</section>\n"_s;
}

QString NameField(const QString& id)
{
    return u"<label for=\"%1\">Seu nome</label><input id=\"%1\" name=\"nome\" required "
           "minlength=\"%2\" maxlength=\"%3\" autocomplete=\"name\">\n"_s.arg(id)
               .arg(kMinContactNameChars)
               .arg(kMaxContactNameChars);
}

QString FormsPart(const TChtStatement& s, const TAcceptanceLink& link, const QString& pagePath)
{
    const QString open =
        u"<form method=\"post\" action=\"%1\">\n<input type=\"hidden\" "
        "name=\"form\" value=\"%2\">\n"_s.arg(HtmlEscaped(pagePath), HtmlEscaped(link.FormToken));
    QString html =
        u"<section class=\"aceitar\"><h2>Aceitar</h2>\n<p>Confira os dias e o valor "
        "acima. Ao aceitar, a firma registra o seu nome, o seu e-mail (%1), a data e "
        "o endereço de onde veio o aceite.</p>\n"_s.arg(HtmlEscaped(link.Email)) +
        open + u"<input type=\"hidden\" name=\"decisao\" value=\"aceitar\">\n"_s +
        NameField(u"nome-aceite"_s) +
        u"<button type=\"submit\" id=\"aceitar\">Aceitar</button>\n</form></section>\n"_s;
    html += u"<section class=\"contestar\"><h2>Contestar dias</h2>\n<p>Marque os dias de que "
            "discorda e diga, em cada um, o motivo (ao menos %1 caracteres).</p>\n"_s.arg(
                kMinCommentChars) +
            open + u"<input type=\"hidden\" name=\"decisao\" value=\"contestar\">\n"_s;
    for (const TChtStatementLine& l : s.Lines) {
        const QString day = QString::number(static_cast<qint64>(l.Day));
        const TDayTexts texts(l, TDayTexts::THours::Client);
        html += u"<fieldset class=\"dia\"><label><input type=\"checkbox\" name=\"dia\" "
                "value=\"%1\"> %2 %3 — %4</label>\n<label for=\"comentario-%1\">Comentário</label>"
                "<textarea id=\"comentario-%1\" name=\"comentario-%1\" maxlength=\"%5\" "
                "rows=\"2\"></textarea></fieldset>\n"_s
                    .arg(day, HtmlEscaped(Utf8Text(texts.Date())),
                         HtmlEscaped(Utf8Text(texts.Weekday())),
                         HtmlEscaped(Utf8Text(texts.Charged())))
                    .arg(kMaxCommentChars);
    }
    html += NameField(u"nome-contesta"_s) +
            u"<button type=\"submit\" id=\"contestar\">Contestar dias</button>\n</form>"
            "</section>\n"_s;
    return html;
}

} // namespace

QString HtmlEscaped(const QString& text)
{
    QString out = text.toHtmlEscaped();
    out.replace(u'\'', u"&#39;"_s);
    return out;
}

QByteArray AcceptancePage(const TChtStatement& s, const TAcceptanceLink& link,
                          const QString& pagePath)
{
    QString body = u"<h1>Demonstrativo da CHT %1</h1>\n"_s.arg(HtmlEscaped(s.Number)) +
                   HeaderList(s) + DaysTable(s) + AmountPart(s, pagePath);
    body += link.Decision.isEmpty() ? FormsPart(s, link, pagePath) : DecisionPart(link);
    body += u"<footer><p>Link válido até %1.</p></footer>\n"_s.arg(
        HtmlEscaped(MomentText(link.Expires)));
    return Page(u"Demonstrativo da CHT "_s + s.Number, body).toUtf8();
}

QByteArray MessagePage(const QString& title, const QString& text, const QString& backPath)
{
    QString body = u"<h1>%1</h1>\n<p class=\"mensagem\" id=\"mensagem\">%2</p>\n"_s.arg(
        HtmlEscaped(title), HtmlEscaped(text));
    if (!backPath.isEmpty())
        body += u"<p><a href=\"%1\">Voltar ao demonstrativo</a></p>\n"_s.arg(HtmlEscaped(backPath));
    return Page(title, body).toUtf8();
}

QByteArray PageStyle()
{
    return QByteArrayLiteral(
        "body{font-family:'DejaVu Sans',Arial,sans-serif;margin:0;background:#f4f5f7;color:#1d2330;"
        "line-height:1.45}\n"
        "main{max-width:52rem;margin:0 auto;padding:1rem;background:#fff;min-height:100vh;"
        "box-sizing:border-box}\n"
        "h1{font-size:1.4rem;margin:.5rem 0 1rem}h2{font-size:1.15rem;margin:0 0 .5rem}\n"
        "dl{display:grid;grid-template-columns:minmax(8rem,max-content) 1fr;gap:.2rem 1rem;"
        "margin:0 0 1rem}\n"
        "dt{font-weight:bold}dd{margin:0;overflow-wrap:anywhere}small{color:#5a6270}\n"
        ".nota{margin:.2rem 0;font-style:italic}\n"
        "table{width:100%;border-collapse:collapse;margin:1rem 0}\n"
        "th,td{padding:.35rem .5rem;border-bottom:1px solid #d8dce3;text-align:left}\n"
        ".num{text-align:right;font-variant-numeric:tabular-nums}\n"
        "tfoot th{border-top:2px solid #1d2330}\n"
        ".valor dd strong{font-size:1.2rem}\n"
        "section{border:1px solid #d8dce3;border-radius:6px;padding:1rem;margin:1rem 0}\n"
        ".decisao{background:#eef7ee;border-color:#7bb67b}\n"
        "fieldset{border:0;border-bottom:1px solid #eceef2;padding:.4rem 0;margin:0}\n"
        "label{display:block;margin:.3rem 0 .1rem}\n"
        "input[name=nome],textarea{width:100%;box-sizing:border-box;padding:.45rem;"
        "font:inherit;border:1px solid #aab1bd;border-radius:4px}\n"
        "button{margin-top:.8rem;padding:.6rem 1.4rem;font:inherit;font-weight:bold;"
        "border:0;border-radius:4px;background:#1f5fae;color:#fff;cursor:pointer}\n"
        ".contestar button{background:#a33b20}\n"
        ".mensagem{font-size:1.1rem}\n"
        "footer{color:#5a6270;font-size:.85rem}\n"
        "@media (max-width:36rem){dl{grid-template-columns:1fr}dt{margin-top:.4rem}"
        "main{padding:.7rem}th,td{padding:.3rem}}\n");
}

} // namespace aph

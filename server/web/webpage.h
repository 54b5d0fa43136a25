#pragma once

#include "server/documents/statement.h"
#include "server/methods/acceptance.h"

#include <QByteArray>
#include <QString>

namespace aph {

// The client's pages as HTML, in Portuguese, apart from any socket: every
// value escaped, no script and no inline style (the stylesheet is a file
// of its own), so that the Content-Security-Policy can forbid both.

// Text escaped for an element's content or a double-quoted attribute.
QString HtmlEscaped(const QString& text);

// The page of a link: the client's statement (the same header, days,
// totals and amount as its PDF), the PDF's link, and either the decision
// taken or the two forms, "Aceitar" and "Contestar dias". pagePath is the
// link's own path ("/aceite/TOKEN"), which the forms post to.
QByteArray AcceptancePage(const TChtStatement& statement, const TAcceptanceLink& link,
                          const QString& pagePath);

// A page that only says something: the title and the text, and a way back
// to the link's page when backPath is not empty.
QByteArray MessagePage(const QString& title, const QString& text, const QString& backPath = {});

// The pages' stylesheet: readable on a phone (one column) and a desktop.
QByteArray PageStyle();

} // namespace aph

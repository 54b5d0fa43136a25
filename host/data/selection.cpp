#include "host/data/selection.h"

#include "host/data/exceptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

namespace aph {

QString EncodeSelection(const QStringList& keys)
{
    if (keys.isEmpty())
        return QString();
    QJsonArray array;
    for (const QString& key : keys)
        array.append(key);
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

TSelection DecodeSelection(const QString& text, const QString& what)
{
    TSelection selection;
    if (text == u"T") {
        selection.Scope = TSelection::Kind::All;
        return selection;
    }
    if (text.isEmpty())
        return selection;
    const QString name = what.isEmpty() ? u"seleção"_s : what;
    const auto fail = [&name](const QString& why) {
        throw EDatabaseError(u"Lista de %1 inválida: %2."_s.arg(name, why));
    };
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        fail(u"esperava \"T\", vazio ou uma lista JSON de códigos"_s);
    const QJsonArray array = doc.array();
    if (array.isEmpty())
        fail(u"a lista não tem nenhum código"_s);
    for (const QJsonValue& item : array) {
        if (!item.isString())
            fail(u"todo código deve ser um texto"_s);
        // A code no query should see: the database would cut it short or
        // refuse it with an error of its own.
        const QString key = item.toString();
        if (key.contains(QChar(u'\0')) || !key.isValidUtf16())
            fail(u"um código tem texto inválido (caractere nulo ou sequência Unicode "
                 "incompleta)"_s);
        selection.Keys << key;
    }
    selection.Scope = TSelection::Kind::List;
    return selection;
}

} // namespace aph

#include "selection.h"

#include "exceptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

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
    const QString name = what.isEmpty() ? QStringLiteral("seleção") : what;
    const auto fail = [&name](const QString& why) {
        throw EDatabaseError(QStringLiteral("Lista de %1 inválida: %2.").arg(name, why));
    };
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        fail(QStringLiteral("esperava \"T\", vazio ou uma lista JSON de códigos"));
    const QJsonArray array = doc.array();
    if (array.isEmpty())
        fail(QStringLiteral("a lista não tem nenhum código"));
    for (const QJsonValue& item : array) {
        if (!item.isString())
            fail(QStringLiteral("todo código deve ser um texto"));
        selection.Keys << item.toString();
    }
    selection.Scope = TSelection::Kind::List;
    return selection;
}

} // namespace aph

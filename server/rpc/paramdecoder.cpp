#include "server/rpc/paramdecoder.h"

#include "server/methods/chtstatus.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace aph {

void CheckParamShape(const QString& method, const QJsonArray& params, std::string_view shape,
                     qsizetype required)
{
    const auto total = static_cast<qsizetype>(shape.size());
    // Whole or without what may be left off; a count that is neither is
    // told against the required part.
    if (params.size() != total && params.size() != required)
        throw EInvalidArgument(
            u"%1 espera %2 argumentos; recebeu %3."_s.arg(method).arg(required).arg(params.size()));
    for (qsizetype i = 0; i < params.size(); ++i) {
        const QJsonValue v = params.at(i);
        const char kind = shape[static_cast<std::size_t>(i)];
        const bool fits = (kind == 'S' && v.isString()) || (kind == 'D' && v.isDouble()) ||
                          (kind == 'O' && v.isObject());
        if (!fits)
            throw EInvalidArgument(u"%1: o argumento %2 deve ser %3."_s.arg(method).arg(i + 1).arg(
                kind == 'S'   ? u"um texto"_s
                : kind == 'D' ? u"uma data (número de dias OLE)"_s
                              : u"um objeto"_s));
    }
}

namespace detail {

TDay DayParam(const QString& method, const QJsonValue& value, qsizetype index, double min,
              double max)
{
    const double d = value.toDouble();
    if (!std::isfinite(d) || d < min || d > max) {
        const QString text = u"%1: a data do argumento %2 está fora do intervalo aceito."_s;
        throw EInvalidArgument(text.arg(method).arg(index + 1));
    }
    return static_cast<TDay>(std::floor(d));
}

TChtAction ActionParam(const QString& method, const QString& name)
{
    const std::optional<TChtAction> action = ParseChtAction(name);
    if (!action)
        throw EInvalidArgument(u"%1: a ação \"%2\" não existe; use aprovar, reabrir, "
                               "faturar ou desfazer."_s.arg(method, name));
    return *action;
}

QString TextParam(TParamKind kind, const QString& text)
{
    switch (kind) {
    case TParamKind::Trimmed:
        return text.trimmed();
    case TParamKind::Cht:
        return ChtNumberOf(text);
    default:
        return text;
    }
}

} // namespace detail

} // namespace aph

#pragma once

#include "host/data/formatsettings.h"
#include "server/methods/requests.h"

#include <QJsonArray>
#include <QString>

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace aph {

// What a positional argument holds, and how it becomes its request's field.
enum class TParamKind
{
    Text,     // a text, as sent
    Trimmed,  // a text without the spaces around it
    Operator, // a text naming the call's operator, checked before anything else
    Cht,      // a CHT number, given its leading zeros
    Action,   // the name of one of a CHT's steps
    Day       // an OLE date number within the field's limits, as a whole day
};

// One positional argument of a method: the request's member it fills, its
// kind, whether a call may leave it off (only the last ones may), and for
// a day the dates it accepts.
template <class R> struct TParamField
{
    const char* Name;
    TParamKind Kind;
    std::variant<QString R::*, TDay R::*, TChtAction R::*> Member;
    bool Required = true;
    double Min = kMinDateTime, Max = kMaxDateTime;
};

// A call's positional arguments, as the decoder reads them.
struct TParamsIn
{
    const QString& Method;
    const QJsonArray& Params;
    // Refuses a call naming another operator than the connection's; the
    // operator's code as the connection holds it.
    std::function<QString(const QString&)> CheckOperator;
};

// Refuses (EInvalidArgument) arguments whose count or kinds do not fit the
// shape: one letter an argument, S text, D date (number), O object; the
// first `required` must be there, the rest may all be left off.
void CheckParamShape(const QString& method, const QJsonArray& params, std::string_view shape,
                     qsizetype required);

namespace detail {
TDay DayParam(const QString& method, const QJsonValue& value, qsizetype index, double min,
              double max);
TChtAction ActionParam(const QString& method, const QString& name);
QString TextParam(TParamKind kind, const QString& text);
} // namespace detail

// A call's arguments decoded once into the method's request, by its field
// list: the shape first, then the operator the call names (a call for
// another operator is refused as such, whatever else is wrong with it),
// then the fields in order.
template <class R> R DecodeRequest(const TParamsIn& in, std::span<const TParamField<R>> fields)
{
    std::string shape;
    qsizetype required = 0;
    for (const TParamField<R>& f : fields) {
        shape += f.Kind == TParamKind::Day ? 'D' : 'S';
        required += f.Required ? 1 : 0;
    }
    CheckParamShape(in.Method, in.Params, shape, required);
    const auto given = std::min(static_cast<qsizetype>(fields.size()), in.Params.size());
    QString operatorCode;
    for (qsizetype i = 0; i < given; ++i)
        if (fields[i].Kind == TParamKind::Operator)
            operatorCode = in.CheckOperator(in.Params.at(i).toString());
    R request;
    for (qsizetype i = 0; i < given; ++i) {
        const TParamField<R>& f = fields[i];
        const QJsonValue value = in.Params.at(i);
        if (f.Kind == TParamKind::Day)
            request.*std::get<TDay R::*>(f.Member) =
                detail::DayParam(in.Method, value, i, f.Min, f.Max);
        else if (f.Kind == TParamKind::Action)
            request.*std::get<TChtAction R::*>(f.Member) =
                detail::ActionParam(in.Method, value.toString());
        else if (f.Kind == TParamKind::Operator)
            request.*std::get<QString R::*>(f.Member) = operatorCode;
        else
            request.*std::get<QString R::*>(f.Member) = detail::TextParam(f.Kind, value.toString());
    }
    return request;
}

} // namespace aph

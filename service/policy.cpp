#include "service/policy.h"

using namespace Qt::StringLiterals;

namespace aph {

std::optional<TChtAction> ParseChtAction(QStringView name)
{
    for (const TChtStepPolicy& step : kChtStepPolicies)
        if (name == QLatin1String(step.Name.data(), qsizetype(step.Name.size())))
            return step.Action;
    return std::nullopt;
}

std::optional<TRoles> FindMethodRoles(QStringView method)
{
    for (const TMethodPolicy& policy : kMethodPolicies)
        if (method == QLatin1String(policy.Method.data(), qsizetype(policy.Method.size())))
            return policy.Roles;
    return std::nullopt;
}

bool IsHeavyMethod(QStringView method)
{
    for (std::string_view heavy : kHeavyMethods)
        if (method == QLatin1String(heavy.data(), qsizetype(heavy.size())))
            return true;
    return false;
}

namespace {

QString Utf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

const TChtStepPolicy* StepOfCall(QStringView method, const QString& action)
{
    if (method != u"SetStatusCHT")
        return nullptr;
    const std::optional<TChtAction> step = ParseChtAction(action);
    return step ? &ChtStepPolicy(*step) : nullptr;
}

} // namespace

QString CallDoing(QStringView method, const QString& action)
{
    if (const TChtStepPolicy* step = StepOfCall(method, action))
        return Utf8(step->Doing);
    for (const TMethodPolicy& policy : kMethodPolicies)
        if (method == QLatin1String(policy.Method.data(), qsizetype(policy.Method.size())))
            return Utf8(policy.Doing);
    return {};
}

TRoles CallRoles(QStringView method, const QString& action)
{
    if (const TChtStepPolicy* step = StepOfCall(method, action))
        return RoleBit(step->Role);
    return FindMethodRoles(method).value_or(0);
}

QString RoleMissingText(TRoles roles)
{
    return u"Você não tem o papel %1: peça-o ao administrador."_s.arg(
        RoleNames(roles).join(u" ou "_s));
}

QString RoleRefusedText(QStringView doing, TRoles roles)
{
    return u"Você não pode %1: não tem o papel %2. Peça-o ao administrador."_s.arg(
        doing, RoleNames(roles).join(u" ou "_s));
}

} // namespace aph

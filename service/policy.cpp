#include "service/policy.h"

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

} // namespace aph

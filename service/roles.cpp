#include "service/roles.h"

using namespace Qt::StringLiterals;

namespace aph {

QString RoleName(TRole role)
{
    switch (role) {
    case TRole::Consultar:
        return u"consultar"_s;
    case TRole::Aprovar:
        return u"aprovar"_s;
    case TRole::Gerar:
        return u"gerar"_s;
    case TRole::Supervisionar:
        return u"supervisionar"_s;
    case TRole::Faturar:
        return u"faturar"_s;
    }
    return QString();
}

std::optional<TRole> ParseRole(const QString& name)
{
    for (const TRole role : kRoles)
        if (name.trimmed().compare(RoleName(role), Qt::CaseInsensitive) == 0)
            return role;
    return std::nullopt;
}

QStringList RoleNames(TRoles roles)
{
    QStringList names;
    for (const TRole role : kRoles)
        if (roles & RoleBit(role))
            names << RoleName(role);
    return names;
}

TRoles RolesOfNames(const QStringList& names)
{
    TRoles roles = 0;
    for (const QString& name : names)
        if (const std::optional<TRole> role = ParseRole(name))
            roles |= RoleBit(*role);
    return roles;
}

} // namespace aph

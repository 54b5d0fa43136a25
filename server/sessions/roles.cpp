#include "server/sessions/roles.h"

#include "host/data/exceptions.h"
#include "server/common/clock.h"
#include "server/sessions/operators.h"
#include "server/storage/storage.h"

#include <QSqlQuery>

#include <array>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

constexpr std::array kRoles = {TRole::Consultar, TRole::Aprovar, TRole::Gerar, TRole::Supervisionar,
                               TRole::Faturar};

TRoles BitOfName(const QString& name)
{
    const std::optional<TRole> role = ParseRole(name);
    return role ? RoleBit(*role) : 0u;
}

} // namespace

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

TRoles OperatorRoles(TStorage& storage, const QString& operatorCode)
{
    QSqlQuery& q =
        storage.Select(u"SELECT DSPAPEL FROM APH_PAPEL WHERE CDOPERADOR = ?"_s, {operatorCode});
    TRoles roles = 0;
    while (q.next())
        roles |= BitOfName(q.value(0).toString());
    TStorage::Done(q);
    return roles;
}

void InsertRoles(TStorage& storage, const QString& operatorCode, TRoles roles)
{
    for (const TRole role : kRoles)
        if (roles & RoleBit(role))
            storage.Exec(u"INSERT INTO APH_PAPEL (CDOPERADOR, DSPAPEL) VALUES (?, ?)"_s,
                         {operatorCode, RoleName(role)});
}

bool SetOperatorRole(TStorage& storage, const QString& typedCode, TRole role, bool granted)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    const QString operatorCode = StoredOperatorCode(storage, typedCode);
    QSqlQuery& q = storage.Select(u"SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?"_s, {operatorCode});
    const bool known = q.next();
    TStorage::Done(q);
    if (!known)
        throw Exception(u"O operador \"%1\" não está cadastrado."_s.arg(operatorCode));
    const bool had = OperatorRoles(storage, operatorCode) & RoleBit(role);
    if (had == granted)
        return false;
    if (granted)
        InsertRoles(storage, operatorCode, RoleBit(role));
    else
        storage.Exec(u"DELETE FROM APH_PAPEL WHERE CDOPERADOR = ? AND DSPAPEL = ?"_s,
                     {operatorCode, RoleName(role)});
    tx.Commit();
    return true;
}

std::optional<TRoles> SessionRoles(TStorage& storage, const QString& operatorCode,
                                   const QString& tokenHash)
{
    // One row per role held (one with a null role for an operator without
    // any); no row when the session has ended.
    QSqlQuery& q = storage.Select(
        u"SELECT P.DSPAPEL FROM APH_TOKEN T JOIN OPERADOR O ON O.CDOPERADOR = T.CDOPERADOR "
        "LEFT JOIN APH_PAPEL P ON P.CDOPERADOR = O.CDOPERADOR WHERE T.DSHASH = ? AND "
        "T.CDOPERADOR = ? AND O.IDOPERATIVO = 'A' AND T.DTEXPIRA > ?"_s,
        {tokenHash, operatorCode, NowOle()});
    std::optional<TRoles> roles;
    while (q.next())
        roles = roles.value_or(0) | BitOfName(q.value(0).toString());
    TStorage::Done(q);
    return roles;
}

} // namespace aph

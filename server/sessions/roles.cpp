#include "server/sessions/roles.h"

#include "host/data/exceptions.h"
#include "server/common/clock.h"
#include "server/sessions/operators.h"
#include "server/storage/storage.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

TRoles BitOfName(const QString& name)
{
    const std::optional<TRole> role = ParseRole(name);
    return role ? RoleBit(*role) : 0u;
}

} // namespace

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

TRoles SetOperatorRoles(TStorage& storage, const QString& typedCode, TRoles roles, bool granted)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    const QString operatorCode = StoredOperatorCode(storage, typedCode);
    QSqlQuery& q = storage.Select(u"SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?"_s, {operatorCode});
    const bool known = q.next();
    TStorage::Done(q);
    if (!known)
        throw Exception(u"O operador \"%1\" não está cadastrado."_s.arg(operatorCode));
    const TRoles held = OperatorRoles(storage, operatorCode);
    const TRoles changed = granted ? roles & ~held : roles & held;
    if (granted)
        InsertRoles(storage, operatorCode, changed);
    else
        for (const TRole role : kRoles)
            if (changed & RoleBit(role))
                storage.Exec(u"DELETE FROM APH_PAPEL WHERE CDOPERADOR = ? AND DSPAPEL = ?"_s,
                             {operatorCode, RoleName(role)});
    tx.Commit();
    return changed;
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

#pragma once

#include "service/roles.h"

#include <QString>

#include <optional>

namespace aph {

class TStorage;

// The roles as the database keeps them: one APH_PAPEL row per role held,
// named by RoleName (service/roles.h).

// The roles one operator holds now.
TRoles OperatorRoles(TStorage& storage, const QString& operatorCode);
// Grants the roles (in the caller's write transaction) to an operator.
void InsertRoles(TStorage& storage, const QString& operatorCode, TRoles roles);
// Grants or takes away roles, all in one transaction; throws with a
// message for an unknown operator. Returns the roles that changed (none
// when the operator already had them that way).
TRoles SetOperatorRoles(TStorage& storage, const QString& operatorCode, TRoles roles, bool granted);

// A logged-in connection's check on every call, in one indexed lookup:
// the operator still active, the token neither revoked nor expired, and
// the roles the operator holds now. None when the session has ended.
std::optional<TRoles> SessionRoles(TStorage& storage, const QString& operatorCode,
                                   const QString& tokenHash);

} // namespace aph

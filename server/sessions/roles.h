#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace aph {

class TStorage;

// What an operator may do. Each role is one bit of TRoles; the names are
// the ones the administrator types and APH_PAPEL keeps.
enum class TRole : unsigned
{
    Consultar = 1u << 0,     // the reads, the day's history, the statements
    Aprovar = 1u << 1,       // SetCSA and the bulk approval
    Gerar = 1u << 2,         // SetCHT and its preview
    Supervisionar = 1u << 3, // approve a CHT, reopen an approved one
    Faturar = 1u << 4,       // mark a CHT billed, undo the billing
};
using TRoles = unsigned;

constexpr TRoles RoleBit(TRole role)
{
    return static_cast<TRoles>(role);
}
constexpr TRoles kAllRoles = RoleBit(TRole::Consultar) | RoleBit(TRole::Aprovar) |
                             RoleBit(TRole::Gerar) | RoleBit(TRole::Supervisionar) |
                             RoleBit(TRole::Faturar);
// What a new operator gets, as the operators active at the upgrade that
// brought roles got: what every operator could do before roles existed.
constexpr TRoles kDefaultRoles =
    RoleBit(TRole::Consultar) | RoleBit(TRole::Aprovar) | RoleBit(TRole::Gerar);

QString RoleName(TRole role);
// The role of a name as typed ("Faturar" too); none for an unknown name.
std::optional<TRole> ParseRole(const QString& name);
// The names of the roles held, in the order of TRole.
QStringList RoleNames(TRoles roles);

// The roles one operator holds now.
TRoles OperatorRoles(TStorage& storage, const QString& operatorCode);
// Grants the roles (in the caller's write transaction) to an operator.
void InsertRoles(TStorage& storage, const QString& operatorCode, TRoles roles);
// Grants or takes away one role; throws with a message for an unknown
// operator. Returns false when the operator already had it that way.
bool SetOperatorRole(TStorage& storage, const QString& operatorCode, TRole role, bool granted);

// A logged-in connection's check on every call, in one indexed lookup:
// the operator still active, the token neither revoked nor expired, and
// the roles the operator holds now. None when the session has ended.
std::optional<TRoles> SessionRoles(TStorage& storage, const QString& operatorCode,
                                   const QString& tokenHash);

} // namespace aph

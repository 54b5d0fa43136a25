#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace aph {

// What an operator may do. Each role is one bit of TRoles; the names are
// the ones the administrator types, APH_PAPEL keeps and Login sends to the
// desktop.
enum class TRole : unsigned
{
    Consultar = 1u << 0,     // the reads, the day's history, the statements
    Aprovar = 1u << 1,       // SetCSA and the bulk approval
    Gerar = 1u << 2,         // SetCHT and its preview
    Supervisionar = 1u << 3, // approve a CHT, reopen an approved one
    Faturar = 1u << 4,       // mark a CHT billed, undo the billing
};
using TRoles = unsigned;

// Every role, in the order names are listed.
inline constexpr std::array kRoles = {TRole::Consultar, TRole::Aprovar, TRole::Gerar,
                                      TRole::Supervisionar, TRole::Faturar};

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
// The names of the roles held, in the order of kRoles.
QStringList RoleNames(TRoles roles);
// The roles of a list of names; unknown names add nothing.
TRoles RolesOfNames(const QStringList& names);

} // namespace aph

#pragma once

#include "service/roles.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <string_view>

namespace aph {

// Who may do what: the role each method and each step of a CHT's life
// needs. The server refuses a call by these tables and the screens disable
// what it would refuse by the same ones, so a role changes here, in one
// line, for both. docs/protocol.md's roles tables are held to them by a
// test.

// A step of a CHT's life after its generation (SetStatusCHT's action).
enum class TChtAction
{
    Aprovar,
    Reabrir,
    Faturar,
    Desfazer
};

struct TChtStepPolicy
{
    TChtAction Action;
    std::string_view Name; // as SetStatusCHT receives it
    TRole Role;
    char From; // the situation (IDSTATUSCHT) it applies to
    char To;   // the situation it leaves
};
// In the order of a CHT's life, as the screen's menu lists them.
inline constexpr TChtStepPolicy kChtStepPolicies[] = {
    {TChtAction::Aprovar, "aprovar", TRole::Supervisionar, 'P', 'A'},
    {TChtAction::Reabrir, "reabrir", TRole::Supervisionar, 'A', 'P'},
    {TChtAction::Faturar, "faturar", TRole::Faturar, 'A', 'R'},
    {TChtAction::Desfazer, "desfazer", TRole::Faturar, 'R', 'A'},
};

constexpr const TChtStepPolicy& ChtStepPolicy(TChtAction action)
{
    for (const TChtStepPolicy& step : kChtStepPolicies)
        if (step.Action == action)
            return step;
    throw "every action has its step";
}

// What a step's reason and invoice must be, checked by the server and, as
// they are typed, by the screen. A reopen or an undone billing needs a
// reason at least this long.
constexpr int kMinReasonChars = 10;
// The sizes of the history's DSMOTIVO and CHT's NRNOTAFISCAL.
constexpr int kMaxReasonChars = 200;
constexpr int kMaxInvoiceChars = 20;

// The roles of all the steps: SetStatusCHT needs one of them before it
// reads its action, and then the step's own.
constexpr TRoles ChtStepRoles()
{
    TRoles roles = 0;
    for (const TChtStepPolicy& step : kChtStepPolicies)
        roles |= RoleBit(step.Role);
    return roles;
}

// The action of a name as SetStatusCHT receives it; none for another name.
std::optional<TChtAction> ParseChtAction(QStringView name);

struct TMethodPolicy
{
    std::string_view Method;
    TRoles Roles; // one of them is needed; none: Login and the keep-alive
};
inline constexpr TMethodPolicy kMethodPolicies[] = {
    {"Login", 0},
    {"GetServPrest", RoleBit(TRole::Consultar)},
    {"GetProp", RoleBit(TRole::Consultar)},
    {"GetFunc", RoleBit(TRole::Consultar)},
    {"GetCHT", RoleBit(TRole::Consultar)},
    {"GetCSA", RoleBit(TRole::Consultar)},
    {"SetCSA", RoleBit(TRole::Aprovar)},
    {"SetCHT", RoleBit(TRole::Gerar)},
    {"GetPrevCHT", RoleBit(TRole::Gerar)},
    {"GetHistCSA", RoleBit(TRole::Consultar)},
    {"GetDemCHT", RoleBit(TRole::Consultar)},
    {"GetPendencias", RoleBit(TRole::Consultar)},
    {"GetLookup", RoleBit(TRole::Consultar)},
    {"SetStatusCHT", ChtStepRoles()},
    // An approved CHT's acceptance link for its client: whoever bills sends
    // the statements.
    {"SetAceiteCHT", RoleBit(TRole::Faturar)},
    {"Ping", 0},
};

// The roles of a method named in the code; a name the table lacks does
// not compile where the result is a constant.
constexpr TRoles MethodRoles(std::string_view method)
{
    for (const TMethodPolicy& policy : kMethodPolicies)
        if (policy.Method == method)
            return policy.Roles;
    throw "every method has its roles";
}

// The roles of a method named by a caller; none for a method the table
// lacks.
std::optional<TRoles> FindMethodRoles(QStringView method);

} // namespace aph

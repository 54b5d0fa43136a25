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
    // What the operator does, in the words a refusal uses ("aprovar a
    // CHT"); UTF-8.
    std::string_view Doing;
};
// In the order of a CHT's life, as the screen's menu lists them.
inline constexpr TChtStepPolicy kChtStepPolicies[] = {
    {TChtAction::Aprovar, "aprovar", TRole::Supervisionar, 'P', 'A', "aprovar a CHT"},
    {TChtAction::Reabrir, "reabrir", TRole::Supervisionar, 'A', 'P', "reabrir a CHT"},
    {TChtAction::Faturar, "faturar", TRole::Faturar, 'A', 'R', "marcar a CHT como faturada"},
    {TChtAction::Desfazer, "desfazer", TRole::Faturar, 'R', 'A', "desfazer o faturamento da CHT"},
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
    TRoles Roles; // one of them is needed; none: Login, the keep-alive, GetRoles
    // What the operator does by the call, in the words a refusal uses
    // ("aprovar dias"), never the method's name; UTF-8.
    std::string_view Doing;
};
inline constexpr TMethodPolicy kMethodPolicies[] = {
    {"Login", 0, "entrar no sistema"},
    {"GetServPrest", RoleBit(TRole::Consultar), "consultar os serviços"},
    {"GetProp", RoleBit(TRole::Consultar), "consultar as propostas"},
    {"GetFunc", RoleBit(TRole::Consultar), "consultar os funcionários"},
    {"GetCHT", RoleBit(TRole::Consultar), "consultar as CHTs"},
    {"GetCSA", RoleBit(TRole::Consultar), "consultar os dias"},
    {"SetCSA", RoleBit(TRole::Aprovar), "aprovar dias"},
    {"SetCHT", RoleBit(TRole::Gerar), "gerar CHTs"},
    {"GetPrevCHT", RoleBit(TRole::Gerar), "ver a prévia das CHTs"},
    {"GetHistCSA", RoleBit(TRole::Consultar), "ver o histórico de um dia"},
    {"GetDemCHT", RoleBit(TRole::Consultar), "emitir o demonstrativo de uma CHT"},
    {"GetPendencias", RoleBit(TRole::Consultar), "listar as pendências"},
    {"GetLookup", RoleBit(TRole::Consultar), "consultar as tabelas de apoio"},
    {"SetStatusCHT", ChtStepRoles(), "mudar a situação de uma CHT"},
    // An approved CHT's acceptance link for its client: whoever bills sends
    // the statements.
    {"SetAceiteCHT", RoleBit(TRole::Faturar), "criar o link de aceite de uma CHT"},
    {"Ping", 0, "verificar a conexão"},
    {"GetRoles", 0, "ler os seus papéis"},
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

// The reads whose work grows with the period or the firm they cover: the
// services of a period, the days that need a person, a generation's
// preview and a CHT's statement. The server runs them as heavy jobs, on a
// bounded share of its workers and a few at once for each operator, so
// that one operator's flood of them cannot keep the others' small calls
// waiting. Every other call is light.
inline constexpr std::string_view kHeavyMethods[] = {
    "GetServPrest",
    "GetPendencias",
    "GetPrevCHT",
    "GetDemCHT",
};
// Every heavy method is a method of the table above.
static_assert([] {
    for (std::string_view heavy : kHeavyMethods)
        MethodRoles(heavy);
    return true;
}());

// Whether a method named by a caller runs as a heavy job.
bool IsHeavyMethod(QStringView method);

// What a call does, in the policy's words: the step's for a SetStatusCHT
// whose action is named (params[1]), else the method's; empty for a
// method the table lacks.
QString CallDoing(QStringView method, const QString& action = {});
// The roles a call needs, as CallDoing picks them (the step's own).
TRoles CallRoles(QStringView method, const QString& action = {});
// What the operator reads where a command is disabled for want of a role:
// "Você não tem o papel aprovar: peça-o ao administrador."
QString RoleMissingText(TRoles roles);
// What the operator reads when the server refused a call for want of a
// role: the action tried, never the method.
QString RoleRefusedText(QStringView doing, TRoles roles);

} // namespace aph

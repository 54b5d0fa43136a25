#pragma once

#include "host/data/exceptions.h"
#include "service/policy.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace aph {

// A whole day as the database keeps it: the OLE Automation day number.
using TDay = qint64;

// An argument that is malformed (a selection string or a situation code
// that does not parse, a delta of the wrong shape). Travels as a JSON-RPC
// "invalid params" error.
class EInvalidArgument : public Exception
{
public:
    using Exception::Exception;
};

// A request the service understood but refuses by its rules (a conflict,
// an approval above the hours worked, ...). Travels as {"ok":false}.
class ERefusal : public Exception
{
public:
    using Exception::Exception;
};

// The arguments of the service's methods by name. The dispatcher decodes
// each call's positional params into one of these once; the service and
// its queries work on the names. Selections (lists of keys, "T" for all)
// and situation codes stay as the screens wrote them: the queries decode
// them, since what they pick decides the SQL.

// GetServPrest: the contracted services with CSAs in a period.
struct TGetServPrestRequest
{
    TDay Start = 0, End = 0;
    QString Clients, Employees, Proposals; // selections
    QString CsaSituation;                  // "S" without CHT, "C" in a CHT, "T" both
    QString Operator;                      // who asks; audited
    QString ChtSituation;                  // "T" or "_P_A_R_N" parts
};

// GetProp: the proposals of a branch for the picker.
struct TGetPropRequest
{
    QString Branch;
    QString Clients, AllClients; // selection, and "T" for every client
};

// GetFunc: the employees with CSAs on one contracted service.
struct TGetFuncRequest
{
    TDay Start = 0, End = 0;
    QString Client, ActivityType, Proposal, Version, Service;
    QString AllEmployees, Employees; // "T" for every employee, or a selection
    QString CsaSituation, ChtSituation;
};

// GetCHT: one employee's CHTs of a contracted service with CSAs in a period.
struct TGetChtRequest
{
    QString ActivityType, Proposal, Version;
    TDay Start = 0, End = 0;
    QString Employee, Company, ChtSituation;
};

// GetCSA: one employee's CSAs, either of one CHT (Flag "S", the whole CHT)
// or without CHT in a period (Flag "N").
struct TGetCsaRequest
{
    QString Client, Employee;
    TDay Start = 0, End = 0;
    QString ActivityType, Proposal, Version, ChtNumber, Flag, Company;
};

// SetCHT: CHTs generated for the CSAs without CHT of a period.
struct TSetChtRequest
{
    TDay Start = 0, End = 0;
    QString Operator; // who generates; must be an active operator
    QString Clients, AllClients, Employees, AllEmployees, Proposals, AllProposals;
};

// SetStatusCHT: one step of a CHT's life after its generation. Each action
// moves it from one situation to another (see kChtStepPolicies): approve
// P -> A, reopen A -> P (with a reason), bill A -> R (with the invoice
// number), undo the billing R -> A (with a reason).
struct TChtStatusRequest
{
    QString Cht; // five digits, as NRSEQUCHT keeps it
    TChtAction Action = TChtAction::Aprovar;
    QString Reason;  // trimmed; empty when none was given
    QString Invoice; // trimmed; for Faturar only
};

// GetHistCSA: the history of one CSA, named by its key.
struct TGetHistCsaRequest
{
    QString Proposal, Version, Service, Employee;
    TDay Day = 0;
};

// The request key a client sent with a write, and what the write is stored
// under: the digest of the request (method, operator, params) and the reply
// the write gets when it is applied. After the call, Replayed holds the
// stored reply when the key had already been applied, and the write did
// nothing.
struct TWriteKey
{
    QString Key;
    QString Method;
    QString Operator;
    QString Digest;
    QByteArray Reply;
    QByteArray Replayed;
};

// A request key that names another request than the one it was first used
// with.
class EKeyReused : public Exception
{
public:
    using Exception::Exception;
};

} // namespace aph

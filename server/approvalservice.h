#pragma once

#include "host/data/datapacket.h"
#include "host/data/exceptions.h"

#include <QByteArray>
#include <QString>
#include <QVariantList>

#include <cstdint>

namespace aph {

class TStorage;

// A request the service understood but refuses by its rules (a conflict,
// an approval above the hours worked, ...). Travels as {"ok":false}.
class ERefusal : public Exception
{
public:
    using Exception::Exception;
};

// An argument that is malformed (a selection string or a situation code
// that does not parse, a delta of the wrong shape). Travels as a JSON-RPC
// "invalid params" error.
class EInvalidArgument : public Exception
{
public:
    using Exception::Exception;
};

// A whole day as the database keeps it: the OLE Automation day number.
using TDay = qint64;

// The SQL of a read and the values it binds, in order. MatchesNothing when
// the arguments pick nothing, so that no query needs to run.
struct TQueryText
{
    QString Sql;
    QVariantList Values;
    bool MatchesNothing = false;

    static TQueryText Nothing() { return {QString(), {}, true}; }
};

// The approval service: the seven methods the screens call, on one
// storage. Holds no state between calls.
class TApprovalService
{
public:
    explicit TApprovalService(TStorage& storage) : m_storage(storage) {}

    TDataPacket GetServPrest(TDay start, TDay end, const QString& clients, const QString& employees,
                             const QString& proposals, const QString& csaSituation,
                             const QString& chtSituation);
    TDataPacket GetProp(const QString& branch, const QString& clients, const QString& allClients);
    TDataPacket GetFunc(TDay start, TDay end, const QString& client, const QString& activityType,
                        const QString& proposal, const QString& version, const QString& service,
                        const QString& allEmployees, const QString& employees,
                        const QString& csaSituation, const QString& chtSituation);
    TDataPacket GetCHT(const QString& activityType, const QString& proposal, const QString& version,
                       TDay start, TDay end, const QString& employee, const QString& company,
                       const QString& chtSituation);
    TDataPacket GetCSA(const QString& client, const QString& employee, TDay start, TDay end,
                       const QString& activityType, const QString& proposal, const QString& version,
                       const QString& chtNumber, const QString& flag, const QString& company);
    void SetCSA(const TDelta& delta);
    // Returns the number of CHTs generated.
    int SetCHT(TDay start, TDay end, const QString& operatorCode, const QString& clients,
               const QString& allClients, const QString& employees, const QString& allEmployees,
               const QString& proposals, const QString& allProposals);

    // The queries of the four reads, built and checked but not run.
    TQueryText ServPrestQuery(TDay start, TDay end, const QString& clients,
                              const QString& employees, const QString& proposals,
                              const QString& csaSituation, const QString& chtSituation);
    TQueryText FuncQuery(TDay start, TDay end, const QString& client, const QString& activityType,
                         const QString& proposal, const QString& version, const QString& service,
                         const QString& allEmployees, const QString& employees,
                         const QString& csaSituation, const QString& chtSituation);
    TQueryText ChtQuery(const QString& activityType, const QString& proposal,
                        const QString& version, TDay start, TDay end, const QString& employee,
                        const QString& company, const QString& chtSituation);
    TQueryText CsaQuery(const QString& client, const QString& employee, TDay start, TDay end,
                        const QString& activityType, const QString& proposal,
                        const QString& version, const QString& chtNumber, const QString& flag,
                        const QString& company);

    // Records who asked for what (GetServPrest names its operator).
    void Audit(const QString& operatorCode, const QString& connectionOperator,
               const QString& event);

    // Field lists of the replies, in the receiving datasets' order.
    static const TFieldDefs& ServPrestFields();
    static const TFieldDefs& PropFields();
    static const TFieldDefs& FuncFields();
    static const TFieldDefs& ChtFields();
    static const TFieldDefs& CsaFields();

private:
    TStorage& m_storage;
};

// The key GetProp gives a proposal for the picker: NRPROPOSFAS "|"
// NRVERPROPFAS. A version never contains "|", so the last "|" splits it.
QString ProposalKey(const QString& proposal, const QString& version);
bool SplitProposalKey(const QString& key, QString& proposal, QString& version);

// Now as an OLE Automation date-time, local time.
double NowOle();

} // namespace aph

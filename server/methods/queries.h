#pragma once

#include "server/methods/requests.h"
#include "server/storage/querytext.h"

#include <QString>
#include <QVariantList>

#include <vector>

namespace aph {

class TStorage;
struct TAuditRow;

// The SQL of the approval service, apart from the rules that run it. Every
// value a client sent is bound, never pasted into the text; the storage
// gives the few fragments that differ between engines. Selections and
// situation codes are decoded here and throw EInvalidArgument when they do
// not parse.

// The four reads whose rows are the reply's fields in order, and GetProp's
// (whose rows the service completes with the marker and the picker's key).
TQueryText ServPrestQuery(const TStorage& storage, const TGetServPrestRequest& request);
TQueryText PropQuery(const TStorage& storage, const TGetPropRequest& request);
// PropQuery's columns: kPropQueryCells of the reply's fields, after its
// marker; the proposal and version among them make the picker's key.
constexpr int kPropQueryCells = 5;
constexpr int kPropProposal = 2, kPropVersion = 3;
TQueryText FuncQuery(const TStorage& storage, const TGetFuncRequest& request);
TQueryText ChtQuery(const TGetChtRequest& request);
// The CSA columns, then DTINCLUSAO, CDOPERINCL and the operator's name.
TQueryText CsaQuery(const TGetCsaRequest& request);
// CsaQuery's columns: the first kCsaQueryCells are the reply's fields in
// order; the three after them make the reply's last field, who recorded
// the CSA and when.
constexpr int kCsaQueryCells = 17;
constexpr int kCsaIncludedAt = 17, kCsaIncludedBy = 18, kCsaIncluderName = 19;

// The kinds of IDPENDENCIA.
constexpr char kPendenciaHoraExtra = 'E';  // approval empty on an overtime or weekend day
constexpr char kPendenciaOcorrencia = 'O'; // commission differs, no occurrence
constexpr char kPendenciaContratado = 'F'; // fixed value: billed hours pass the contracted
constexpr char kPendenciaContestado = 'C'; // the client contested the day through its link

// SetCSA. The key of a CSA: proposal, version, service, employee, day.
// The stored CSA, locked for the change, in the columns below.
TQueryText StoredCsaQuery(const TStorage& storage, const QVariantList& key);
namespace stored_csa {
enum TColumn : int
{
    CDGRPOCOR,
    CDOCORR,
    CDEMPRESA,
    NRSERVPREST,
    NRAPURFATFAS,
    QTHRAPRCOMIS,
    QTHRAPROFATU,
    QTHRTRAB,
    NRSEQUCHT,
    CDCLIENTE,
    CDTIPOSERV
};
} // namespace stored_csa
// Locks the CSAs of the given keys (proposal, version, service, employee,
// day; five values each) in the CSA key order, byte-wise, the order every
// write takes its CSAs in (see CsaKeyLess).
TQueryText CsaLockQuery(const TStorage& storage, const std::vector<QVariantList>& keys);
// Locks, in the same order, the CSAs AttachCsasToChts is about to attach.
TQueryText ChtCsaLockQuery(const TStorage& storage, const QString& firstCht, const QString& lastCht,
                           TDay start, TDay end);
// The CSA key order of CsaLockQuery: text compared byte by byte, the day
// as a number.
bool CsaKeyLess(const QVariantList& a, const QVariantList& b);
TQueryText ChtStatusQuery(const TStorage& storage, const QString& chtNumber);
TQueryText OccurrenceQuery(const QString& group, const QString& code);
// The approvals and the occurrence written; null values clear them.
TQueryText CsaApprovalUpdate(const QVariant& billed, const QVariant& commission,
                             const QVariant& group, const QVariant& code, const QVariantList& key);

// SetCHT.
TQueryText OperatorStatusQuery(const QString& operatorCode);
// The CSAs without CHT that the request picks, one row per future CHT:
// proposal, version, service, employee, company, first and last day, the
// activity type's name, the number of CSAs, of those never approved
// (billed or commission approval empty), the client and the proposal's
// shown number.
TQueryText ChtGroupsQuery(const TStorage& storage, const TSetChtRequest& request);
// ChtGroupsQuery's rows with the client's name after them: what a
// generation would make, read without generating.
TQueryText ChtPreviewQuery(const TStorage& storage, const TSetChtRequest& request);
// Takes count numbers from the CHT sequence; the last one taken is then
// read with LastChtNumberQuery, in the same transaction.
TQueryText ReserveChtNumbers(long long count);
TQueryText LastChtNumberQuery();
// One INSERT of rowCount CHTs, ten values a row: number, description,
// date, operator, situation, then the proposal, version, service, employee
// and company billed.
QString ChtInsertSql(int rowCount);
constexpr int kChtInsertColumns = 10;
// Every CSA without CHT of the period joins the CHT of its service and
// employee among those numbered first to last; empty approvals take the
// hours worked.
TQueryText AttachCsasToChts(const TStorage& storage, const QString& firstCht,
                            const QString& lastCht, TDay start, TDay end);

// The insert of one audit row (see AuditRow, which makes every one).
TQueryText AuditInsert(const TAuditRow& row);

// The history of the CSAs (the view APH_HISTCSA), written in the change's own
// transaction. What every row of one write shares: when, the operator
// logged in (empty without login) and the write's request key (null
// without one).
struct THistoryStamp
{
    double When = 0;
    QString Operator;
    QVariant Key;
};
// An approval change ('A'): before and after are the billed hours, the
// commission hours, the occurrence group and code; cht the CSA's CHT.
TQueryText HistoryApprovalInsert(const THistoryStamp& stamp, const QVariantList& csaKey,
                                 const QVariantList& before, const QVariantList& after,
                                 const QVariant& cht);
// A generation's history ('G'): one row for each CHT numbered first to
// last, and one for every CSA AttachCsasToChts is about to attach (same
// arguments), with the approvals as they are and as they will be.
TQueryText HistoryGenerationChtInsert(const THistoryStamp& stamp, const QString& firstCht,
                                      const QString& lastCht);
TQueryText HistoryGenerationCsaInsert(const TStorage& storage, const QString& firstCht,
                                      const QString& lastCht, TDay start, TDay end);
// One 'S' row for every CSA of a CHT whose situation changes, with the
// reason given and the invoice it was billed on (null when none).
TQueryText HistoryStatusInsert(const THistoryStamp& stamp, const QString& cht,
                               const QString& before, const QString& after, const QVariant& reason,
                               const QVariant& invoice);
// GetHistCSA's columns, oldest event first.
TQueryText HistoryQuery(const TGetHistCsaRequest& request);

// A CHT's statement. Its header: NRSEQUCHT, IDSTATUSCHT, CDCLIENTE,
// NMFANTCLIE, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDTIPOSERV,
// NMTIPOSERV, CDFUNC, NMFUNC, IDTIPOCOBRCONT, QTSERVCONT, VRDEHORACLIE,
// NMRAZSOCCLIE, NRINSJURCLIE, IDTPIJURCLIE, NRPROPOSTA, VRHORACLIE,
// NRNOTAFISCAL.
TQueryText StatementHeaderQuery(const QString& chtNumber);
// Its CSAs by day: DTSERVPREST, QTHRTRAB, QTHRAPROFATU, QTHRAPRCOMIS,
// CDGRPOCOR, CDOCORR, DSOCORR.
TQueryText StatementDaysQuery(const QString& chtNumber);

// The key GetProp gives a proposal for the picker: NRPROPOSFAS "|"
// NRVERPROPFAS. A version never contains "|", so the last "|" splits it.
constexpr char kProposalKeySeparator = '|';
QString ProposalKey(const QString& proposal, const QString& version);
bool SplitProposalKey(const QString& key, QString& proposal, QString& version);

} // namespace aph

#include "server/methods/approvalservice.h"

#include "host/data/formatsettings.h"
#include "host/data/packetcodec.h"
#include "server/common/clock.h"
#include "server/methods/audit.h"
#include "server/methods/replywriter.h"
#include "server/methods/writekeys.h"
#include "server/storage/pendingdays.h"
#include "server/storage/storage.h"
#include "server/storage/tablelist.h"
#include "service/codewords.h"
#include "service/records.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The widths of the columns this service writes or shows, from the table
// list.
constexpr int kChtDescriptionChars = ColumnSize("CHT", "DSREFECHT");
constexpr int kHistoryOperatorChars = ColumnSize("APH_HISTEVENTO", "CDOPERADOR");
constexpr int kClientNameChars = ColumnSize("CLIENTE", "NMFANTCLIE");
constexpr int kTypeNameChars = ColumnSize("TIPOSERV", "NMTIPOSERV");

// The reply tables are written with the shared field helpers.
const auto Str = &StrField;
const auto Num = &NumField;
const auto Date = &DateField;

QString DayText(TDay day)
{
    return DateToStr(static_cast<double>(day), BrazilFormat());
}

QSqlQuery& Select(TStorage& storage, const TQueryText& query)
{
    return storage.Select(query.Sql, query.Values);
}

int Exec(TStorage& storage, const TQueryText& query)
{
    return storage.Exec(query.Sql, query.Values);
}

QVariant NullIfEmpty(const QString& s)
{
    return s.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(s);
}

QString StoredText(const QVariant& v)
{
    return v.isNull() ? QString() : v.toString();
}

// Whole thousandths of an hour, truncated, as the screens compare them.
long long Thousandths(double hours)
{
    return static_cast<long long>(static_cast<long double>(hours) * 1000.0L);
}

QString ChtNumber(long long n)
{
    return u"%1"_s.arg(n, 5, 10, QLatin1Char('0'));
}

constexpr long long kMaxChtNumber = 99999; // NRSEQUCHT holds five digits

// ---- SetCSA, one step at a time ----

// Where the delta keeps the CSA's fields, by name in capitals.
struct TCsaDeltaFields
{
    QHash<QString, int> Index;
    int Grp = 0, Ocorr = 0, DsOcorr = 0, Fatu = 0, Comis = 0;

    int At(const char* name) const { return Index.value(QString::fromLatin1(name)); }
    // Only the approvals and the occurrence may change.
    bool Changeable(int field) const
    {
        return field == Grp || field == Ocorr || field == DsOcorr || field == Fatu ||
               field == Comis;
    }
};

// The delta must carry the CSA dataset's fields, by name, type and size.
TCsaDeltaFields CsaDeltaFields(const TFieldDefs& fields)
{
    TCsaDeltaFields f;
    for (int i = 0; i < fields.size(); ++i)
        f.Index.insert(fields[i].Name.toUpper(), i);
    for (const TFieldDef& def : TApprovalService::CsaFields()) {
        const auto it = f.Index.find(def.Name);
        if (it == f.Index.end())
            throw EInvalidArgument(u"As alterações não trazem o campo %1 da CSA."_s.arg(def.Name));
        if (fields[*it].DataType != def.DataType || fields[*it].Size != def.Size)
            throw EInvalidArgument(
                u"O campo %1 das alterações tem o tipo ou o tamanho errado."_s.arg(def.Name));
    }
    f.Grp = f.At("CDGRPOCOR");
    f.Ocorr = f.At("CDOCORR");
    f.DsOcorr = f.At("DSOCORR");
    f.Fatu = f.At("QTHRAPROFATU");
    f.Comis = f.At("QTHRAPRCOMIS");
    return f;
}

// One record of the delta: the CSA it changes, as the client loaded it,
// and the changes.
struct TCsaChange
{
    const TDeltaRecord& Record;
    const TCsaDeltaFields& Fields;
    TDay Day = 0;
    QString DayText; // names the CSA in every refusal

    const Value& Original(const char* name) const
    {
        return Record.Original[static_cast<std::size_t>(Fields.At(name))];
    }
    // Proposal, version, service, employee and day.
    QVariantList Key() const
    {
        return {Original("NRPROPOSFAS").ToString(), Original("NRVERPROPFAS").ToString(),
                Original("NRSERVCONT").ToString(), Original("CDFUNC").ToString(), Day};
    }
};

// Refuses what a screen may not do to a CSA: insert or delete one, or
// change anything but the approvals and the occurrence.
TCsaChange CheckedChange(const TDeltaRecord& rec, const TCsaDeltaFields& fields,
                         const TFieldDefs& defs)
{
    if (rec.Op != TDeltaRecord::Kind::Modify)
        throw ERefusal(u"Não é permitido incluir ou excluir CSAs; somente as aprovações e a "
                       "ocorrência podem ser alteradas."_s);
    const Value& dayValue = rec.Original[static_cast<std::size_t>(fields.At("DTSERVPREST"))];
    if (!dayValue.IsNumber())
        throw EInvalidArgument(u"Uma CSA alterada não tem a data do dia."_s);
    const auto day = static_cast<TDay>(std::floor(dayValue.ToNumber()));
    TCsaChange change{rec, fields, day, DayText(day)};
    for (const auto& [field, value] : rec.New) {
        if (!fields.Changeable(field))
            throw ERefusal(u"CSA do dia %1: o campo %2 não pode ser alterado; somente as "
                           "aprovações e a ocorrência."_s.arg(change.DayText, defs[field].Name));
    }
    return change;
}

// The CSA as stored, in StoredCsaQuery's columns.
struct TStoredCsa
{
    QString Grp, Ocorr, Company, ServPrest, ApurFat, Cht, Client, Type;
    QVariant Comis, Fatu, Worked;
};

// Reads the CSA and locks it until the delta is applied; refuses when it
// is gone.
TStoredCsa LoadStoredCsa(TStorage& storage, const TCsaChange& change)
{
    QSqlQuery& q = Select(storage, StoredCsaQuery(storage, change.Key()));
    if (!q.next()) {
        TStorage::Done(q);
        throw ERefusal(
            u"A CSA do dia %1 não existe mais; recarregue os dados."_s.arg(change.DayText));
    }
    using namespace stored_csa;
    TStoredCsa stored{StoredText(q.value(CDGRPOCOR)),
                      StoredText(q.value(CDOCORR)),
                      StoredText(q.value(CDEMPRESA)),
                      StoredText(q.value(NRSERVPREST)),
                      StoredText(q.value(NRAPURFATFAS)),
                      StoredText(q.value(NRSEQUCHT)),
                      StoredText(q.value(CDCLIENTE)),
                      StoredText(q.value(CDTIPOSERV)),
                      q.value(QTHRAPRCOMIS),
                      q.value(QTHRAPROFATU),
                      q.value(QTHRTRAB)};
    TStorage::Done(q);
    return stored;
}

// No lost update: what the client saw must still be what is stored.
void CheckUnchangedSinceLoaded(const TCsaChange& change, const TStoredCsa& stored)
{
    const auto sameText = [&](const char* name, const QString& now) {
        return change.Original(name).ToString() == now; // null and empty are one
    };
    const auto sameNumber = [&](const char* name, const QVariant& now) {
        const Value& v = change.Original(name);
        if (v.IsNull() || now.isNull())
            return v.IsNull() && now.isNull();
        return std::fabs(v.ToNumber() - now.toDouble()) < 1e-9;
    };
    if (!sameText("CDGRPOCOR", stored.Grp) || !sameText("CDOCORR", stored.Ocorr) ||
        !sameText("CDEMPRESA", stored.Company) || !sameText("NRSERVPREST", stored.ServPrest) ||
        !sameText("NRAPURFATFAS", stored.ApurFat) || !sameText("NRSEQUCHT", stored.Cht) ||
        !sameText("CDCLIENTE", stored.Client) || !sameText("CDTIPOSERV", stored.Type) ||
        !sameNumber("QTHRAPRCOMIS", stored.Comis) || !sameNumber("QTHRAPROFATU", stored.Fatu) ||
        !sameNumber("QTHRTRAB", stored.Worked))
        throw ERefusal(u"A CSA do dia %1 foi alterada por outro usuário depois de carregada. "
                       "Recarregue os dados e refaça a alteração."_s.arg(change.DayText));
}

// A CSA of an approved or billed CHT cannot change.
void CheckChtOpen(TStorage& storage, const TStoredCsa& stored, const QString& dayText)
{
    if (stored.Cht.isEmpty())
        return;
    QSqlQuery& h = Select(storage, ChtStatusQuery(storage, stored.Cht));
    const QString status = h.next() ? h.value(0).toString() : QString();
    TStorage::Done(h);
    if (status == u"A" || status == u"R")
        throw ERefusal(u"A CSA do dia %1 pertence à CHT %2, que está %3, e não pode ser "
                       "alterada."_s.arg(dayText, stored.Cht, ChtSituationWord(status).toLower()));
}

// The approvals and the occurrence as they will be.
struct TCsaApproval
{
    QVariant Fatu, Comis;
    QString Grp, Ocorr;
};

// The stored values with the changes on top.
TCsaApproval ApprovalAfter(const TCsaChange& change, const TStoredCsa& stored)
{
    TCsaApproval a{stored.Fatu, stored.Comis, stored.Grp, stored.Ocorr};
    const TCsaDeltaFields& f = change.Fields;
    for (const auto& [field, value] : change.Record.New) {
        const QVariant number =
            value.IsNull() ? QVariant(QMetaType::fromType<double>()) : QVariant(value.ToNumber());
        if (field == f.Fatu)
            a.Fatu = number;
        else if (field == f.Comis)
            a.Comis = number;
        else if (field == f.Grp)
            a.Grp = value.ToString().trimmed();
        else if (field == f.Ocorr)
            a.Ocorr = value.ToString().trimmed();
    }
    return a;
}

// Approvals are never negative and never above the hours worked, compared
// at five decimals with the screen's own rounding, so that what the screen
// accepts the server accepts.
void CheckApprovedHours(const TCsaApproval& a, double worked, const QString& dayText)
{
    for (const QVariant& hours : {a.Fatu, a.Comis})
        if (!hours.isNull() && hours.toDouble() < 0)
            throw ERefusal(u"CSA do dia %1: a quantidade de horas aprovadas não pode ser "
                           "negativa."_s.arg(dayText));
    if (!a.Fatu.isNull() && RoundDec(a.Fatu.toDouble(), 5) > RoundDec(worked, 5))
        throw ERefusal(u"CSA do dia %1: Quantidade de Horas Normais para Faturamento deve ser "
                       "menor ou igual à Quantidade de Horas Trabalhadas."_s.arg(dayText));
    if (!a.Comis.isNull() && RoundDec(a.Comis.toDouble(), 5) > RoundDec(worked, 5))
        throw ERefusal(u"CSA do dia %1: Quantidade de Horas Aprovadas para Comissão deve ser "
                       "menor ou igual à Quantidade de Horas Trabalhadas."_s.arg(dayText));
}

// An occurrence has both its codes and exists; a commission that differs
// from the hours worked (in whole thousandths) needs one.
void CheckOccurrence(TStorage& storage, const TCsaApproval& a, double worked,
                     const QString& dayText)
{
    if (a.Grp.isEmpty() != a.Ocorr.isEmpty())
        throw ERefusal(u"CSA do dia %1: a ocorrência deve ter grupo e código."_s.arg(dayText));
    if (!a.Ocorr.isEmpty()) {
        QSqlQuery& o = Select(storage, OccurrenceQuery(a.Grp, a.Ocorr));
        const bool known = o.next();
        TStorage::Done(o);
        if (!known)
            throw ERefusal(
                u"CSA do dia %1: a ocorrência %2/%3 não existe."_s.arg(dayText, a.Grp, a.Ocorr));
    }
    if (a.Ocorr.isEmpty() && !a.Comis.isNull() &&
        Thousandths(worked) != Thousandths(a.Comis.toDouble()))
        throw ERefusal(u"CSA do dia %1: Ocorrência deve ser informada, pois as horas aprovadas "
                       "para comissão diferem das horas trabalhadas."_s.arg(dayText));
}

bool SameHours(const QVariant& a, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    return std::fabs(a.toDouble() - b.toDouble()) < 1e-9;
}

// The day's history gets a row when the save changed anything of it.
void RecordApprovalChange(TStorage& storage, const THistoryStamp& stamp, const TCsaChange& change,
                          const TStoredCsa& stored, const TCsaApproval& after)
{
    if (SameHours(stored.Fatu, after.Fatu) && SameHours(stored.Comis, after.Comis) &&
        stored.Grp == after.Grp && stored.Ocorr == after.Ocorr)
        return;
    Exec(storage,
         HistoryApprovalInsert(
             stamp, change.Key(),
             {stored.Fatu, stored.Comis, NullIfEmpty(stored.Grp), NullIfEmpty(stored.Ocorr)},
             {after.Fatu, after.Comis, NullIfEmpty(after.Grp), NullIfEmpty(after.Ocorr)},
             NullIfEmpty(stored.Cht)));
}

void ApplyCsaChange(TStorage& storage, const TCsaChange& change, const THistoryStamp& stamp)
{
    const TStoredCsa stored = LoadStoredCsa(storage, change);
    CheckUnchangedSinceLoaded(change, stored);
    CheckChtOpen(storage, stored, change.DayText);
    const TCsaApproval approval = ApprovalAfter(change, stored);
    const double worked = stored.Worked.toDouble();
    CheckApprovedHours(approval, worked, change.DayText);
    CheckOccurrence(storage, approval, worked, change.DayText);
    Exec(storage, CsaApprovalUpdate(approval.Fatu, approval.Comis, NullIfEmpty(approval.Grp),
                                    NullIfEmpty(approval.Ocorr), change.Key()));
    RecordApprovalChange(storage, stamp, change, stored, approval);
}

// The exceptions list's days of fixed-value services follow the approvals
// changed: once for each service and employee the save touched.
void RefreshPendingFixed(TStorage& storage, const std::vector<TCsaChange>& changes)
{
    QList<QVariantList> pairs;
    for (const TCsaChange& change : changes) {
        const QVariantList pair = change.Key().mid(0, 4);
        if (!pairs.contains(pair))
            pairs << pair;
    }
    for (const QVariantList& pair : std::as_const(pairs))
        RefreshPendingFixedOfCsa(storage, pair);
}

// Every write takes the CSAs it changes in the CSA key order, so that a
// save and a generation over the same days wait for each other instead of
// deadlocking (PostgreSQL locks rows one by one; SQLite's write lock is
// the whole file). Large deltas go in sorted chunks: the order holds
// across them.
void LockInKeyOrder(TStorage& storage, const std::vector<TCsaChange>& changes)
{
    if (!storage.LocksRows() || changes.empty())
        return;
    std::vector<QVariantList> keys;
    keys.reserve(changes.size());
    for (const TCsaChange& change : changes)
        keys.push_back(change.Key());
    std::sort(keys.begin(), keys.end(), CsaKeyLess);
    constexpr std::size_t kChunk = 1000;
    for (std::size_t i = 0; i < keys.size(); i += kChunk) {
        const auto end =
            keys.begin() + static_cast<std::ptrdiff_t>(std::min(keys.size(), i + kChunk));
        Exec(storage, CsaLockQuery(storage, {keys.begin() + static_cast<std::ptrdiff_t>(i), end}));
    }
}

// ---- SetCHT, one step at a time ----

void CheckActiveOperator(TStorage& storage, const QString& operatorCode)
{
    QSqlQuery& op = Select(storage, OperatorStatusQuery(operatorCode));
    const bool active = op.next() && op.value(0).toString() == u"A";
    TStorage::Done(op);
    if (!active)
        throw ERefusal(
            u"O operador \"%1\" não está cadastrado ou não está ativo."_s.arg(operatorCode));
}

// The CSAs one new CHT bills: those without CHT of one service, employee
// and company.
struct TChtGroup
{
    QVariantList Key; // proposal, version, service, employee, company
    TDay First = 0, Last = 0;
    QString TypeName;
    qint64 Count = 0;
    qint64 Pending = 0; // CSAs never approved, billed at their hours worked
    QString Client, Proposal, ClientName;
};

// ChtGroupsQuery's columns after the key; ChtPreviewQuery adds the name.
enum TChtGroupColumn : int
{
    kGroupFirst = 5,
    kGroupLast,
    kGroupTypeName,
    kGroupCount,
    kGroupPending,
    kGroupClient,
    kGroupProposal,
    kGroupClientName
};

std::vector<TChtGroup> ReadChtGroups(TStorage& storage, const TQueryText& query,
                                     bool withClientName = false)
{
    std::vector<TChtGroup> groups;
    QSqlQuery& q = Select(storage, query);
    while (q.next()) {
        TChtGroup g;
        g.Key = {q.value(0), q.value(1), q.value(2), q.value(3), q.value(4)};
        g.First = q.value(kGroupFirst).toLongLong();
        g.Last = q.value(kGroupLast).toLongLong();
        g.TypeName = q.value(kGroupTypeName).toString();
        g.Count = q.value(kGroupCount).toLongLong();
        g.Pending = q.value(kGroupPending).toLongLong();
        g.Client = StoredText(q.value(kGroupClient));
        g.Proposal = StoredText(q.value(kGroupProposal));
        if (withClientName)
            g.ClientName = StoredText(q.value(kGroupClientName));
        groups.push_back(std::move(g));
    }
    TStorage::Done(q);
    return groups;
}

// Takes count numbers from the sequence and returns the first; refuses
// when the numbering would run out.
long long TakeChtNumbers(TStorage& storage, long long count)
{
    Exec(storage, ReserveChtNumbers(count));
    QSqlQuery& s = Select(storage, LastChtNumberQuery());
    const long long last = s.next() ? s.value(0).toLongLong() : 0;
    TStorage::Done(s);
    if (last > kMaxChtNumber)
        throw ERefusal(
            u"A numeração de CHTs se esgotaria (limite %1); nenhuma CHT foi gerada."_s.arg(
                kMaxChtNumber));
    return last - count + 1;
}

// One pending CHT per group, numbered from first on, a few hundred to a
// statement.
void InsertChts(TStorage& storage, const std::vector<TChtGroup>& groups, long long first,
                const QString& operatorCode)
{
    const double now = NowOle();
    constexpr std::size_t kBatch = 200;
    for (std::size_t from = 0; from < groups.size(); from += kBatch) {
        const std::size_t to = std::min(groups.size(), from + kBatch);
        QVariantList values;
        for (std::size_t i = from; i < to; ++i) {
            const TChtGroup& g = groups[i];
            const QString description =
                u"CHT de %1 a %2 - %3"_s.arg(DayText(g.First), DayText(g.Last), g.TypeName);
            values << ChtNumber(first + static_cast<long long>(i))
                   << description.left(kChtDescriptionChars) << now << operatorCode << u"P"_s
                   << g.Key;
        }
        storage.Exec(ChtInsertSql(static_cast<int>(to - from)), values);
    }
}

// The CSAs the new CHTs bill, locked in the order every write takes them
// before the history reads their approvals and the update attaches them.
void LockChtCsas(TStorage& storage, const std::vector<TChtGroup>& groups, long long first,
                 const TSetChtRequest& request)
{
    if (!storage.LocksRows())
        return;
    const long long last = first + static_cast<long long>(groups.size()) - 1;
    Exec(storage,
         ChtCsaLockQuery(storage, ChtNumber(first), ChtNumber(last), request.Start, request.End));
}

// Every CSA of a new CHT joins it, and its history says so. The groups
// were read in this transaction, so any other count means the CSAs changed
// meanwhile.
void AttachCsas(TStorage& storage, const std::vector<TChtGroup>& groups, long long first,
                const TSetChtRequest& request, const THistoryStamp& stamp)
{
    const long long last = first + static_cast<long long>(groups.size()) - 1;
    Exec(storage, HistoryGenerationChtInsert(stamp, ChtNumber(first), ChtNumber(last)));
    Exec(storage, HistoryGenerationCsaInsert(storage, ChtNumber(first), ChtNumber(last),
                                             request.Start, request.End));
    const int updated = Exec(storage, AttachCsasToChts(storage, ChtNumber(first), ChtNumber(last),
                                                       request.Start, request.End));
    qint64 expected = 0;
    for (const TChtGroup& g : groups)
        expected += g.Count;
    if (updated != expected)
        throw EStorageError(u"As CSAs mudaram durante a geração das CHTs; nada foi gerado. Tente "
                            "novamente."_s);
    RefreshPendingFixedOfChts(storage, ChtNumber(first), ChtNumber(last));
}

} // namespace

THistoryStamp HistoryStamp(const QString& connectionOperator, const TWriteKey* key)
{
    // Without login the operator is an empty text, not a null.
    return {NowOle(),
            connectionOperator.isEmpty() ? u""_s : connectionOperator.left(kHistoryOperatorChars),
            key ? QVariant(key->Key) : QVariant(QMetaType::fromType<QString>())};
}

// Who recorded a CSA and when, as the screen shows it: one blank when
// nobody is known. From CsaQuery's DTINCLUSAO, CDOPERINCL and the
// operator's name.
Value InclusionOf(const QVariant& when, const QVariant& code, const QVariant& name)
{
    QString inclusion = u" "_s;
    if (!when.isNull()) {
        const QString who = name.isNull() ? StoredText(code) : name.toString();
        inclusion = FormatDateTime(u"dd/mm/yyyy hh:nn"_s, when.toDouble(), BrazilFormat()) +
                    (who.isEmpty() ? QString() : u' ' + who);
    }
    return Value::FromString(inclusion.left(TApprovalService::CsaFields()[kCsaQueryCells].Size));
}

const TFieldDefs& TApprovalService::ServPrestFields()
{
    static const TFieldDefs fields = {
        Str("CDCLIENTE", 21),        Str("NMFANTCLIE", 50),  Str("NRPROPOSTA", 23),
        Str("DSREFEPROPOSFAS", 100), Str("NRPROPOSFAS", 20), Str("NRVERPROPFAS", 2),
        Str("CDTIPOSERV", 3),        Str("NMTIPOSERV", 80),  Num("QTSERVCONT"),
        Str("DSLOCALCONT", 250),     Str("NRSERVCONT", 3),   Str("IDTIPOCOBRCONT", 1),
        Num("VRHORACLIE"),           Num("VRDEHORACLIE")};
    return fields;
}

const TFieldDefs& TApprovalService::PropFields()
{
    static const TFieldDefs fields = {Str("IDMARCADO", 1),    Str("NRINSJURCLIE", 20),
                                      Str("CDCLIENTE", 21),   Str("NRPROPOSFAS", 20),
                                      Str("NRVERPROPFAS", 2), Str("IDTPIJURCLIE", 1),
                                      Str("CDCHAVE", 42)};
    return fields;
}

const TFieldDefs& TApprovalService::FuncFields()
{
    static const TFieldDefs fields = {Str("NMFUNC", 40), Str("CDFUNC", 10), Str("CDEMPRESA", 2)};
    return fields;
}

const TFieldDefs& TApprovalService::ChtFields()
{
    static const TFieldDefs fields = {
        Str("NRSEQUCHT", 5),      Str("DSREFECHT", 100), Date("DTINCLCHT"),
        Str("CDOPERINCL", 12),    Str("NMOPERADOR", 50), Num("QTSERVCONT"),
        Str("IDTIPOCOBRCONT", 1), Num("QTHRTRAB"),       Str("IDSTATUSCHT", 1)};
    return fields;
}

const TFieldDefs& TApprovalService::HistCsaFields()
{
    static const TFieldDefs fields = {
        Date("DTEVENTO"),        Str("CDOPERADOR", 12),   Str("NMOPERADOR", 50),
        Str("IDEVENTO", 1),      Num("QTHRAPROFATU_ANT"), Num("QTHRAPROFATU"),
        Num("QTHRAPRCOMIS_ANT"), Num("QTHRAPRCOMIS"),     Str("CDOCORR_ANT", 2),
        Str("CDOCORR", 2),       Str("NRSEQUCHT", 5),     Str("IDSTATUSCHT_ANT", 1),
        Str("IDSTATUSCHT", 1),   Str("DSCHAVE", 64),      Str("DSMOTIVO", 200),
        Str("NRNOTAFISCAL", 20)};
    return fields;
}

const TFieldDefs& TApprovalService::CsaFields()
{
    return CsaRecordFields();
}

void TApprovalService::SetCSA(const TDelta& delta, TWriteKey* key,
                              const QString& connectionOperator)
{
    const TCsaDeltaFields fields = CsaDeltaFields(delta.Fields);
    TTransaction tx(m_storage, TTransaction::Mode::Write);
    if (key && !ClaimWriteKey(m_storage, *key)) {
        tx.Commit();
        return;
    }
    const THistoryStamp stamp = HistoryStamp(connectionOperator, key);
    std::vector<TCsaChange> changes;
    changes.reserve(delta.Records.size());
    for (const TDeltaRecord& rec : delta.Records)
        changes.push_back(CheckedChange(rec, fields, delta.Fields));
    LockInKeyOrder(m_storage, changes);
    for (const TCsaChange& change : changes)
        ApplyCsaChange(m_storage, change, stamp);
    RefreshPendingFixed(m_storage, changes);
    Audit(connectionOperator, connectionOperator,
          u"SetCSA: %1 dias"_s.arg(static_cast<qsizetype>(delta.Records.size())));
    tx.Commit();
}

QByteArray GenerationReply(const TChtGeneration& generation)
{
    return QByteArrayLiteral("{\"ok\":true,\"data\":null,\"generated\":{\"chts\":") +
           QByteArray::number(generation.Chts) + QByteArrayLiteral(",\"employees\":") +
           QByteArray::number(generation.Employees) + QByteArrayLiteral(",\"csas\":") +
           QByteArray::number(generation.Csas) + QByteArrayLiteral("}}");
}

namespace {

TChtGeneration Figures(const std::vector<TChtGroup>& groups)
{
    TChtGeneration figures;
    figures.Chts = static_cast<int>(groups.size());
    QSet<QString> employees;
    for (const TChtGroup& g : groups) {
        // Employee and company identify an employee.
        employees.insert(g.Key.at(3).toString() + u'\n' + g.Key.at(4).toString());
        figures.Csas += g.Count;
    }
    figures.Employees = static_cast<int>(employees.size());
    return figures;
}

// One line per client and contracted service, in the groups' order
// (proposal, version, service): the CHTs, days and never-approved days
// of its groups added up.
TDataPacket PreviewLines(const std::vector<TChtGroup>& groups)
{
    TDataPacket packet;
    packet.Fields = TApprovalService::PreviewFields();
    struct TLine
    {
        const TChtGroup* First;
        int Chts = 0;
        qint64 Days = 0, Pending = 0;
    };
    std::vector<TLine> lines;
    QHash<QString, std::size_t> index;
    for (const TChtGroup& g : groups) {
        const QString key = g.Client + u'\n' + g.Key.at(0).toString() + u'\n' +
                            g.Key.at(1).toString() + u'\n' + g.Key.at(2).toString();
        auto it = index.find(key);
        if (it == index.end()) {
            it = index.insert(key, lines.size());
            lines.push_back({&g});
        }
        TLine& line = lines[*it];
        ++line.Chts;
        line.Days += g.Count;
        line.Pending += g.Pending;
    }
    for (const TLine& line : lines) {
        const TChtGroup& g = *line.First;
        packet.Rows.push_back(std::make_shared<const TRowValues>(TRowValues{
            Value::FromString(g.Client), Value::FromString(g.ClientName.left(kClientNameChars)),
            Value::FromString(g.Proposal), Value::FromString(g.Key.at(2).toString()),
            Value::FromString(g.TypeName.left(kTypeNameChars)), Value::FromNumber(line.Chts),
            Value::FromNumber(static_cast<double>(line.Days)),
            Value::FromNumber(static_cast<double>(line.Pending))}));
    }
    return packet;
}

} // namespace

const TFieldDefs& TApprovalService::PreviewFields()
{
    static const TFieldDefs fields = {
        Str("CDCLIENTE", 21),  Str("NMFANTCLIE", 50), Str("NRPROPOSTA", 23), Str("NRSERVCONT", 3),
        Str("NMTIPOSERV", 80), Num("QTCHT"),          Num("QTCSA"),          Num("QTCSAPEND")};
    return fields;
}

QByteArray PreviewReply(const TChtPreview& preview)
{
    return QByteArrayLiteral("{\"ok\":true,\"data\":") + EncodePacket(preview.Lines) +
           QByteArrayLiteral(",\"preview\":{\"chts\":") + QByteArray::number(preview.Figures.Chts) +
           QByteArrayLiteral(",\"employees\":") + QByteArray::number(preview.Figures.Employees) +
           QByteArrayLiteral(",\"csas\":") + QByteArray::number(preview.Figures.Csas) +
           QByteArrayLiteral(",\"pending\":") + QByteArray::number(preview.Pending) +
           QByteArrayLiteral("}}");
}

TChtPreview TApprovalService::GetPrevCHT(const TSetChtRequest& request)
{
    TChtPreview preview;
    preview.Lines.Fields = PreviewFields();
    const TQueryText query = ChtPreviewQuery(m_storage, request);
    if (query.MatchesNothing)
        return preview;
    // One read of the groups SetCHT would take, under the operator it
    // would refuse.
    TTransaction tx(m_storage, TTransaction::Mode::Read);
    CheckActiveOperator(m_storage, request.Operator);
    const std::vector<TChtGroup> groups = ReadChtGroups(m_storage, query, true);
    tx.Commit();
    preview.Figures = Figures(groups);
    for (const TChtGroup& g : groups)
        preview.Pending += g.Pending;
    preview.Lines = PreviewLines(groups);
    return preview;
}

TChtGeneration TApprovalService::SetCHT(const TSetChtRequest& request, TWriteKey* key,
                                        const QString& connectionOperator)
{
    const TQueryText groupsQuery = ChtGroupsQuery(m_storage, request);
    if (groupsQuery.MatchesNothing)
        return {};

    // One generation at a time on the whole database, so that no CSA is
    // billed twice however many servers share it.
    TTransaction tx(m_storage, TTransaction::Mode::Write);
    if (key && !ClaimWriteKey(m_storage, *key)) {
        tx.Commit();
        return {};
    }
    m_storage.LockGeneration();
    CheckActiveOperator(m_storage, request.Operator);
    const std::vector<TChtGroup> groups = ReadChtGroups(m_storage, groupsQuery);
    const TChtGeneration figures = Figures(groups);
    if (!groups.empty()) {
        const long long first = TakeChtNumbers(m_storage, static_cast<long long>(groups.size()));
        InsertChts(m_storage, groups, first, request.Operator);
        LockChtCsas(m_storage, groups, first, request);
        AttachCsas(m_storage, groups, first, request, HistoryStamp(connectionOperator, key));
    }
    if (key)
        StoreWriteReply(m_storage, *key, GenerationReply(figures));
    Audit(request.Operator, connectionOperator,
          u"SetCHT %1 a %2: %3 CHTs"_s.arg(request.Start).arg(request.End).arg(figures.Chts));
    tx.Commit();
    return figures;
}

void TApprovalService::Audit(const QString& operatorCode, const QString& connectionOperator,
                             const QString& event)
{
    WriteAuditRow(m_storage, AuditRow(NowOle(), operatorCode, connectionOperator, event));
}

} // namespace aph

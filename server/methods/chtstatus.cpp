#include "server/methods/chtstatus.h"

#include "server/common/clock.h"
#include "server/common/hiddentext.h"
#include "server/methods/acceptance.h"
#include "server/methods/approvalservice.h"
#include "server/methods/audit.h"
#include "server/methods/queries.h"
#include "server/methods/writekeys.h"
#include "server/storage/storage.h"
#include "service/codewords.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

constexpr int kChtNumberDigits = 5;

// Each action as the server carries it out: its policy (the situation it
// starts from and the one it leaves), how it reads in a refusal, and what
// it needs besides.
struct TChtStep
{
    const TChtStepPolicy& Policy;
    const char* Verb;
    bool NeedsReason;
    bool NeedsInvoice;
};
const TChtStep kSteps[] = {
    {ChtStepPolicy(TChtAction::Aprovar), "aprovar", false, false},
    {ChtStepPolicy(TChtAction::Reabrir), "reabrir", true, false},
    {ChtStepPolicy(TChtAction::Faturar), "marcar como faturada", false, true},
    {ChtStepPolicy(TChtAction::Desfazer), "desfazer o faturamento de", true, false},
};

const TChtStep& StepOf(TChtAction action)
{
    for (const TChtStep& step : kSteps)
        if (step.Policy.Action == action)
            return step;
    return kSteps[0];
}

// The situation as a refusal's sentence reads it: "pendente".
QString SituationWord(const QString& code)
{
    return ChtSituationWord(code).toLower();
}

// The request's own faults, found before anything is read.
void CheckRequest(const TChtStatusRequest& request, const TChtStep& step)
{
    CheckReason(request.Reason, step.NeedsReason);
    if (step.NeedsInvoice)
        InvoiceNumber(request.Invoice);
}

void CheckTransition(const QString& cht, const QString& situation, const TChtStep& step)
{
    if (situation == u"N")
        throw ERefusal(u"A CHT %1 está marcada para não faturar; a sua situação não muda "
                       "pelo sistema."_s.arg(cht));
    const QString from(QChar::fromLatin1(step.Policy.From));
    if (situation != from)
        throw ERefusal(u"A CHT %1 está %2: só se pode %3 uma CHT %4."_s.arg(
            cht, SituationWord(situation), QString::fromLatin1(step.Verb), SituationWord(from)));
}

// Whoever changed the approvals of one of the CHT's days.
void CheckSeparateDuties(TStorage& storage, const QString& cht, const QString& op)
{
    QSqlQuery& q = storage.Select(
        u"SELECT 1 FROM CSA C JOIN APH_HISTEVENTO E ON E.NRPROPOSFAS = C.NRPROPOSFAS AND "
        "E.NRVERPROPFAS = C.NRVERPROPFAS AND E.NRSERVCONT = C.NRSERVCONT AND E.CDFUNC = C.CDFUNC "
        "AND E.DTSERVPREST = C.DTSERVPREST WHERE C.NRSEQUCHT = ? AND E.IDEVENTO = 'A' AND "
        "E.CDOPERADOR = ?"_s,
        {cht, op});
    const bool approvedDays = q.next();
    TStorage::Done(q);
    if (approvedDays)
        throw ERefusal(u"O operador %1 aprovou horas da CHT %2 e não pode aprová-la: outro "
                       "supervisor deve fazê-lo (separação de funções)."_s.arg(op, cht));
}

} // namespace

QString LockedSituation(TStorage& storage, const QString& cht)
{
    QSqlQuery& q = storage.Select(
        u"SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = ?"_s + storage.ForUpdate(u"CHT"_s), {cht});
    const bool found = q.next();
    const QString situation = found ? q.value(0).toString() : QString();
    TStorage::Done(q);
    if (!found)
        throw ERefusal(u"A CHT %1 não existe."_s.arg(cht));
    return situation;
}

QString ChtNumberOf(const QString& text)
{
    const QString t = text.trimmed();
    bool digits = !t.isEmpty() && t.size() <= kChtNumberDigits;
    for (const QChar c : t)
        digits = digits && c >= u'0' && c <= u'9';
    return digits ? t.rightJustified(kChtNumberDigits, u'0') : t;
}

void ChangeChtStatus(TStorage& storage, const TChtStatusRequest& request, TWriteKey* key,
                     const QString& connectionOperator, bool separateDuties, bool requireAcceptance)
{
    const TChtStep& step = StepOf(request.Action);
    CheckRequest(request, step);
    TTransaction tx(storage, TTransaction::Mode::Write);
    if (key && !ClaimWriteKey(storage, *key)) {
        tx.Commit();
        return;
    }
    const QString before = LockedSituation(storage, request.Cht);
    CheckTransition(request.Cht, before, step);
    const QString invoiceNumber = step.NeedsInvoice ? InvoiceNumber(request.Invoice) : QString();
    if (step.NeedsInvoice)
        CheckInvoice(storage, request.Cht, invoiceNumber);
    if (separateDuties && request.Action == TChtAction::Aprovar && !connectionOperator.isEmpty())
        CheckSeparateDuties(storage, request.Cht, connectionOperator);
    if (requireAcceptance && request.Action == TChtAction::Faturar)
        RequireClientAcceptance(storage, request.Cht);
    const QString after(QChar::fromLatin1(step.Policy.To));
    const QVariant none(QMetaType::fromType<QString>());
    // Billing keeps its invoice; undoing it frees the number again.
    const QVariant invoice = step.NeedsInvoice ? QVariant(invoiceNumber) : none;
    if (request.Action == TChtAction::Faturar || request.Action == TChtAction::Desfazer)
        storage.Exec(u"UPDATE CHT SET IDSTATUSCHT = ?, NRNOTAFISCAL = ? WHERE NRSEQUCHT = ?"_s,
                     {after, invoice, request.Cht});
    else
        storage.Exec(u"UPDATE CHT SET IDSTATUSCHT = ? WHERE NRSEQUCHT = ?"_s, {after, request.Cht});
    const TQueryText history =
        HistoryStatusInsert(HistoryStamp(connectionOperator, key), request.Cht, before, after,
                            request.Reason.isEmpty() ? none : QVariant(request.Reason), invoice);
    storage.Exec(history.Sql, history.Values);
    // A reopened CHT may change: its client's links and decisions end.
    if (request.Action == TChtAction::Reabrir)
        EndAcceptanceLinks(storage, request.Cht, NowOle());
    WriteAuditRow(storage,
                  AuditRow(NowOle(), connectionOperator, connectionOperator,
                           u"SetStatusCHT %1: %2 -> %3"_s.arg(request.Cht, before, after)));
    tx.Commit();
}

std::optional<TChtApproval> ChtApprovalOf(TStorage& storage, const QString& cht)
{
    // The newest approval step among the CHT's history rows (one per CSA).
    QSqlQuery& q = storage.Select(
        u"SELECT E.CDOPERADOR, O.NMOPERADOR, E.DTEVENTO FROM CHT H JOIN APH_HISTEVENTO E ON "
        "E.NRSEQUCHT = H.NRSEQUCHT AND E.IDEVENTO = 'S' LEFT JOIN OPERADOR O ON O.CDOPERADOR = "
        "E.CDOPERADOR WHERE H.NRSEQUCHT = ? AND H.IDSTATUSCHT IN ('A', 'R') AND "
        "E.IDSTATUSCHT_ANT = 'P' AND E.IDSTATUSCHT = 'A' ORDER BY E.NRHISTCSA DESC LIMIT 1"_s,
        {ChtNumberOf(cht)});
    std::optional<TChtApproval> approval;
    if (q.next())
        approval =
            TChtApproval{q.value(0).toString(), q.value(1).toString(), q.value(2).toDouble()};
    TStorage::Done(q);
    return approval;
}

std::optional<double> ChtBilledOn(TStorage& storage, const QString& cht)
{
    // The newest step to billed among the CHT's history rows (one per CSA).
    QSqlQuery& q = storage.Select(
        u"SELECT E.DTEVENTO FROM CHT H JOIN APH_HISTEVENTO E ON E.NRSEQUCHT = H.NRSEQUCHT AND "
        "E.IDEVENTO = 'S' WHERE H.NRSEQUCHT = ? AND H.IDSTATUSCHT = 'R' AND E.IDSTATUSCHT = 'R' "
        "ORDER BY E.NRHISTCSA DESC LIMIT 1"_s,
        {ChtNumberOf(cht)});
    std::optional<double> when;
    if (q.next())
        when = q.value(0).toDouble();
    TStorage::Done(q);
    return when;
}

void CheckReason(const QString& reason, bool needed)
{
    if (HasControlCharacters(reason))
        throw ERefusal(u"O motivo não pode ter quebras de linha nem caracteres de controle."_s);
    // Counted as a reader sees it: ten zero-width characters are no reason.
    if (needed && WithoutInvisible(reason).trimmed().size() < kMinReasonChars)
        throw ERefusal(u"Informe o motivo com pelo menos %1 caracteres."_s.arg(kMinReasonChars));
    if (reason.size() > kMaxReasonChars)
        throw ERefusal(u"O motivo pode ter até %1 caracteres."_s.arg(kMaxReasonChars));
}

QString InvoiceNumber(const QString& typed)
{
    if (HasControlCharacters(typed) || HasBidiControls(typed))
        throw ERefusal(u"O número da nota fiscal não pode ter quebras de linha nem caracteres de "
                       "controle ou de direção do texto."_s);
    const QString invoice = WithoutInvisible(typed).trimmed();
    if (invoice.isEmpty() || invoice.size() > kMaxInvoiceChars)
        throw ERefusal(
            u"Informe o número da nota fiscal, com até %1 caracteres."_s.arg(kMaxInvoiceChars));
    return invoice;
}

void CheckInvoice(TStorage& storage, const QString& cht, const QString& invoice)
{
    // "nf-100" and "NF-100" are one invoice: compared without case, as the
    // database folds it on both sides.
    QSqlQuery& q = storage.Select(u"SELECT NRSEQUCHT FROM CHT WHERE UPPER(NRNOTAFISCAL) = "
                                  "UPPER(?) AND NRSEQUCHT <> ?"_s,
                                  {invoice, cht});
    const QString other = q.next() ? q.value(0).toString() : QString();
    TStorage::Done(q);
    if (!other.isEmpty())
        throw ERefusal(u"A nota fiscal %1 já está na CHT %2."_s.arg(invoice, other));
}

} // namespace aph

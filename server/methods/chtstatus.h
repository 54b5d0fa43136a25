#pragma once

#include "server/methods/requests.h"
#include "server/storage/tablelist.h"
#include "service/policy.h"

#include <QString>

#include <optional>

namespace aph {

class TStorage;

// The screen and the server share the reason's and the invoice's limits;
// the widths are the columns' that keep them.
static_assert(kMaxReasonChars == ColumnSize("APH_HISTEVENTO", "DSMOTIVO"));
static_assert(kMaxInvoiceChars == ColumnSize("CHT", "NRNOTAFISCAL"));

// A CHT number as NRSEQUCHT keeps it: digits get their leading zeros.
QString ChtNumberOf(const QString& text);

// Moves a CHT one step in its life, all or nothing: the CHT locked (its
// row on PostgreSQL; the write transaction on SQLite), the action checked
// against its situation now, the situation and invoice written, and one
// history row per CSA with who, when, the reason and the invoice, in one
// transaction. A refusal (ERefusal) says why and changes nothing. With
// separateDuties, whoever changed the approvals of the CHT's days may not
// approve it. With requireAcceptance, a CHT is billed only once its
// client accepted it (RequireClientAcceptance). Reopening a CHT ends its
// acceptance links. A key already applied changes nothing (see
// ClaimWriteKey).
void ChangeChtStatus(TStorage& storage, const TChtStatusRequest& request, TWriteKey* key,
                     const QString& connectionOperator, bool separateDuties,
                     bool requireAcceptance = false);

// Who approved a CHT (its last step from P to A) and when, while it stays
// approved or billed; none for a CHT pending, not to bill, or unknown.
// For the client statement's "Aprovada por NOME em DATA".
struct TChtApproval
{
    QString Operator; // empty when approved from the command line
    QString Name;     // the operator's name; empty without one
    double When = 0;  // OLE date and time
};
std::optional<TChtApproval> ChtApprovalOf(TStorage& storage, const QString& cht);

// When a CHT was billed (its last step to R, OLE date and time), while it
// stays billed; none otherwise. For the client statement's invoice line.
std::optional<double> ChtBilledOn(TStorage& storage, const QString& cht);

// Refuses (ERefusal) a step's reason with a line break or a control
// character, longer than the history keeps, or, when one is needed,
// shorter than kMinReasonChars once the invisible characters are left out.
void CheckReason(const QString& reason, bool needed);
// The invoice number as it is kept: without its invisible (zero-width)
// characters and the spaces around it. Refuses (ERefusal) one with a line
// break, a control or a direction character, and one that is then empty or
// longer than NRNOTAFISCAL.
QString InvoiceNumber(const QString& typed);
// Refuses (ERefusal) an invoice number (as InvoiceNumber keeps it) already
// on another CHT, in any case; inside the caller's write transaction, so
// that the check and the write see the same rows.
void CheckInvoice(TStorage& storage, const QString& cht, const QString& invoice);

// A CHT's situation now, the CHT locked until the transaction ends; a
// refusal when there is no such CHT.
QString LockedSituation(TStorage& storage, const QString& cht);

} // namespace aph

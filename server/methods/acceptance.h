#pragma once

#include "server/methods/requests.h"
#include "server/storage/tablelist.h"

#include <QString>

#include <optional>
#include <vector>

namespace aph {

class TStorage;

// The client's acceptance of an approved CHT, through a link per CHT and
// contact (APH_ACEITE): the link's token is shown once, only its SHA-256
// is kept and looked up, and the link takes one decision: accepted, or
// contested with a comment per day. A CHT reopened ends its links; a link
// past its days, revoked or unknown answers nothing.

// A link's token: 256 random bits (64 hexadecimal digits), like the
// operators' tokens; the form's token 128.
constexpr int kLinkTokenBits = 256;
constexpr int kFormTokenBits = 128;
constexpr int kLinkTokenDigits = kLinkTokenBits / 4;
constexpr int kDefaultLinkDays = 30;
constexpr int kMaxLinkDays = 365;
// What the contact types: a name, and a comment per contested day.
constexpr int kMinContactNameChars = 3;
constexpr int kMaxContactNameChars = ColumnSize("APH_ACEITE", "NMCONTATO");
constexpr int kMaxEmailChars = ColumnSize("APH_ACEITE", "DSEMAIL");
constexpr int kMinCommentChars = 10;
constexpr int kMaxCommentChars = ColumnSize("APH_ACEITEDIA", "DSCOMENTARIO");
constexpr int kMaxAddressChars = ColumnSize("APH_ACEITE", "DSENDERECO");

// A refusal that means the link answers nothing: unknown, past its days,
// revoked, or its CHT no longer approved. The page answers it with 404.
class ELinkGone : public ERefusal
{
public:
    ELinkGone() : ERefusal(QStringLiteral("Link de aceite inexistente ou encerrado.")) {}
};

// A link as its page needs it.
struct TAcceptanceLink
{
    QString Hash, Cht, Email, FormToken;
    double Created = 0, Expires = 0;
    // Empty while undecided; "A" accepted, "C" contested.
    QString Decision;
    double DecidedAt = 0;
    QString ContactName;
    struct TDayComment
    {
        TDay Day = 0;
        QString Comment;
    };
    std::vector<TDayComment> ContestedDays;
};

// A new link for an approved CHT and the contact's e-mail, valid for days;
// returns the token (the only time it exists outside the link). ERefusal
// for a CHT that does not exist or is not approved, or an e-mail that is
// not one.
QString CreateAcceptanceLink(TStorage& storage, const QString& cht, const QString& email, int days,
                             const QString& operatorCode);

// Ends the CHT's links that have no decision (ERefusal for a CHT that does
// not exist); returns how many.
int RevokeAcceptanceLinks(TStorage& storage, const QString& cht, const QString& operatorCode);

// Ends every link of the CHT, decided or not, in the caller's transaction:
// a reopened CHT may change, so no earlier decision holds for it.
void EndAcceptanceLinks(TStorage& storage, const QString& cht, double now);

// The link of a token, while it answers: known (by its hash, then compared
// in constant time), not revoked, not past its days, its CHT approved or
// billed. ELinkGone otherwise.
TAcceptanceLink FindAcceptanceLink(TStorage& storage, const QString& token);

// What the contact sent: accept, or contest the days with their comments.
struct TAcceptanceDecision
{
    bool Accept = false;
    QString ContactName;
    QString Address; // where it came from, as the log writes it
    std::vector<TAcceptanceLink::TDayComment> Days;
};

// Takes the link's one decision, all or nothing, in one transaction: the
// link's decision (name, when, address), the contested days with their
// comments (the day's history shows them, and GetPendencias), and the
// audit. ELinkGone as FindAcceptanceLink; ERefusal, with what to fix, for
// a form token that is not the link's, a link already decided, a name or
// comment too short or long, no day to contest, a day twice, or a day
// that is not one of the CHT's; nothing is written then.
void DecideAcceptance(TStorage& storage, const QString& token, const QString& formToken,
                      const TAcceptanceDecision& decision);

// Who accepted the CHT and when, while its links hold (none after a
// reopen): for the statements' "Aceita por NOME (EMAIL) em DATA".
struct TChtAcceptance
{
    QString Name, Email;
    double When = 0;
};
std::optional<TChtAcceptance> ChtAcceptanceOf(TStorage& storage, const QString& cht);

// Refuses (ERefusal) billing a CHT its client has not accepted, or whose
// contestation stands; in the caller's transaction.
void RequireClientAcceptance(TStorage& storage, const QString& cht);

} // namespace aph

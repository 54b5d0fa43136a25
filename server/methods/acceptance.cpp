#include "server/methods/acceptance.h"

#include "server/common/clock.h"
#include "server/common/secret.h"
#include "server/common/serverlog.h"
#include "server/methods/audit.h"
#include "server/methods/chtstatus.h"
#include "server/storage/storage.h"

#include <QRegularExpression>
#include <QSqlQuery>

#include <set>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Who the audit names for what the client does through a link.
const QString kClientActor = u"cliente"_s;

void CheckEmail(const QString& email)
{
    // One @, something on each side, a dot in the domain, no spaces.
    static const QRegularExpression shape(u"^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"_s);
    if (email.size() > kMaxEmailChars || !shape.match(email).hasMatch())
        throw ERefusal(u"Informe o e-mail do contato do cliente (até %1 caracteres), como "
                       "nome@empresa.com.br."_s.arg(kMaxEmailChars));
}

// The link's row by the token's hash, the hash compared again in constant
// time; with lock, held until the transaction ends.
TAcceptanceLink ReadLink(TStorage& storage, const QString& token, bool lock)
{
    static const QRegularExpression hex(u"^[0-9a-f]{%1}$"_s.arg(kLinkTokenDigits));
    if (!hex.match(token).hasMatch())
        throw ELinkGone();
    const QString hash = HashSecret(token);
    QSqlQuery& q = storage.Select(
        u"SELECT K.DSHASH, K.NRSEQUCHT, K.DSEMAIL, K.DSCHAVEFORM, K.DTCRIACAO, K.DTEXPIRA, "
        "K.DTREVOGADO, K.IDDECISAO, K.DTDECISAO, K.NMCONTATO, H.IDSTATUSCHT FROM APH_ACEITE K "
        "JOIN CHT H ON H.NRSEQUCHT = K.NRSEQUCHT WHERE K.DSHASH = ?"_s +
            (lock ? storage.ForUpdate(u"K"_s) : QString()),
        {hash});
    const bool found = q.next();
    TAcceptanceLink link;
    bool revoked = true;
    QString situation;
    if (found) {
        link = {q.value(0).toString(), q.value(1).toString(),
                q.value(2).toString(), q.value(3).toString(),
                q.value(4).toDouble(), q.value(5).toDouble(),
                q.value(7).toString(), q.value(8).toDouble(),
                q.value(9).toString(), {}};
        revoked = !q.value(6).isNull();
        situation = q.value(10).toString();
    }
    TStorage::Done(q);
    const bool same = ConstantTimeEquals(link.Hash.toLatin1(), hash.toLatin1());
    const bool current = situation == u"A" || situation == u"R";
    if (!found || !same || revoked || link.Expires <= NowOle() || !current)
        throw ELinkGone();
    return link;
}

void ReadContestedDays(TStorage& storage, TAcceptanceLink& link)
{
    QSqlQuery& q = storage.Select(u"SELECT DTSERVPREST, DSCOMENTARIO FROM APH_ACEITEDIA WHERE "
                                  "DSHASH = ? ORDER BY DTSERVPREST"_s,
                                  {link.Hash});
    while (q.next())
        link.ContestedDays.push_back({q.value(0).toLongLong(), q.value(1).toString()});
    TStorage::Done(q);
}

// The decision's own faults, found before anything is read.
void CheckDecision(const TAcceptanceDecision& d)
{
    const QString name = d.ContactName.trimmed();
    if (name.size() < kMinContactNameChars || name.size() > kMaxContactNameChars)
        throw ERefusal(u"Informe o seu nome, de %1 a %2 caracteres."_s.arg(kMinContactNameChars)
                           .arg(kMaxContactNameChars));
    if (d.Accept && !d.Days.empty())
        throw ERefusal(u"Para aceitar, não marque dias; para contestar, use \"Contestar dias\"."_s);
    if (!d.Accept && d.Days.empty())
        throw ERefusal(u"Marque ao menos um dia para contestar."_s);
    std::set<TDay> seen;
    for (const TAcceptanceLink::TDayComment& day : d.Days) {
        const QString comment = day.Comment.trimmed();
        if (comment.size() < kMinCommentChars || comment.size() > kMaxCommentChars)
            throw ERefusal(u"O comentário de cada dia contestado deve ter de %1 a %2 "
                           "caracteres."_s.arg(kMinCommentChars)
                               .arg(kMaxCommentChars));
        if (!seen.insert(day.Day).second)
            throw ERefusal(u"Um dia foi enviado duas vezes."_s);
    }
}

// Every contested day is one of the CHT's days.
void CheckDaysOfCht(TStorage& storage, const QString& cht, const TAcceptanceDecision& d)
{
    for (const TAcceptanceLink::TDayComment& day : d.Days) {
        QSqlQuery& q = storage.Select(
            u"SELECT 1 FROM CSA WHERE NRSEQUCHT = ? AND DTSERVPREST = ?"_s, {cht, day.Day});
        const bool ours = q.next();
        TStorage::Done(q);
        if (!ours)
            throw ERefusal(u"Um dos dias marcados não é desta CHT."_s);
    }
}

void WriteDecision(TStorage& storage, const TAcceptanceLink& link, const TAcceptanceDecision& d,
                   double now)
{
    const QString name = d.ContactName.trimmed();
    const QString address = d.Address.left(kMaxAddressChars);
    // The decision only on an undecided link: a second form sent at the
    // same time finds it taken.
    const int taken = storage.Exec(
        u"UPDATE APH_ACEITE SET IDDECISAO = ?, DTDECISAO = ?, NMCONTATO = ?, DSENDERECO = ? "
        "WHERE DSHASH = ? AND IDDECISAO IS NULL"_s,
        {d.Accept ? u"A"_s : u"C"_s, now, name, address, link.Hash});
    if (taken != 1)
        throw ERefusal(u"Este link já tem uma decisão."_s);
    for (const TAcceptanceLink::TDayComment& day : d.Days)
        storage.Exec(u"INSERT INTO APH_ACEITEDIA (DSHASH, DTSERVPREST, DSCOMENTARIO) VALUES "
                     "(?, ?, ?)"_s,
                     {link.Hash, day.Day, day.Comment.trimmed()});
    const QString what = d.Accept ? u"aceita"_s : u"contestada (%1 dia(s))"_s.arg(d.Days.size());
    WriteAuditRow(storage, AuditRow(now, kClientActor, QString(),
                                    u"Aceite da CHT %1: %2 por %3 (%4) de %5"_s.arg(
                                        link.Cht, what, name, link.Email, address)));
}

} // namespace

QString CreateAcceptanceLink(TStorage& storage, const QString& typedCht, const QString& email,
                             int days, const QString& operatorCode)
{
    const QString cht = ChtNumberOf(typedCht);
    const QString mail = email.trimmed();
    CheckEmail(mail);
    if (days < 1 || days > kMaxLinkDays)
        throw ERefusal(u"Um link de aceite vale de 1 a %1 dias."_s.arg(kMaxLinkDays));
    TTransaction tx(storage, TTransaction::Mode::Write);
    if (LockedSituation(storage, cht) != u"A")
        throw ERefusal(u"A CHT %1 não está aprovada: só uma CHT aprovada vai ao aceite do "
                       "cliente."_s.arg(cht));
    const QString token = NewSecret(kLinkTokenBits);
    const double now = NowOle();
    const QVariant op =
        operatorCode.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(operatorCode);
    storage.Exec(u"INSERT INTO APH_ACEITE (DSHASH, NRSEQUCHT, DSEMAIL, DSCHAVEFORM, CDOPERADOR, "
                 "DTCRIACAO, DTEXPIRA) VALUES (?, ?, ?, ?, ?, ?, ?)"_s,
                 {HashSecret(token), cht, mail, NewSecret(kFormTokenBits), op, now, now + days});
    WriteAuditRow(
        storage,
        AuditRow(now, operatorCode, operatorCode,
                 u"Link de aceite da CHT %1 para %2, %3 dia(s)"_s.arg(cht, mail).arg(days)));
    tx.Commit();
    return token;
}

int RevokeAcceptanceLinks(TStorage& storage, const QString& typedCht, const QString& operatorCode)
{
    const QString cht = ChtNumberOf(typedCht);
    TTransaction tx(storage, TTransaction::Mode::Write);
    LockedSituation(storage, cht);
    const double now = NowOle();
    const int revoked = storage.Exec(u"UPDATE APH_ACEITE SET DTREVOGADO = ? WHERE NRSEQUCHT = ? "
                                     "AND DTREVOGADO IS NULL AND IDDECISAO IS NULL"_s,
                                     {now, cht});
    WriteAuditRow(storage,
                  AuditRow(now, operatorCode, operatorCode,
                           u"Links de aceite da CHT %1 revogados: %2"_s.arg(cht).arg(revoked)));
    tx.Commit();
    return revoked;
}

void EndAcceptanceLinks(TStorage& storage, const QString& cht, double now)
{
    storage.Exec(
        u"UPDATE APH_ACEITE SET DTREVOGADO = ? WHERE NRSEQUCHT = ? AND DTREVOGADO IS NULL"_s,
        {now, cht});
}

TAcceptanceLink FindAcceptanceLink(TStorage& storage, const QString& token)
{
    TTransaction tx(storage, TTransaction::Mode::Read);
    TAcceptanceLink link = ReadLink(storage, token, false);
    ReadContestedDays(storage, link);
    tx.Commit();
    return link;
}

void DecideAcceptance(TStorage& storage, const QString& token, const QString& formToken,
                      const TAcceptanceDecision& decision)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    const TAcceptanceLink link = ReadLink(storage, token, true);
    if (!ConstantTimeEquals(link.FormToken.toLatin1(), formToken.toLatin1()))
        throw ERefusal(u"O formulário enviado não é o desta página. Abra o link de novo."_s);
    if (!link.Decision.isEmpty())
        throw ERefusal(u"Este link já tem uma decisão."_s);
    CheckDecision(decision);
    if (LockedSituation(storage, link.Cht) != u"A")
        throw ELinkGone();
    CheckDaysOfCht(storage, link.Cht, decision);
    const double now = NowOle();
    WriteDecision(storage, link, decision, now);
    tx.Commit();
    LogLine(TLogLevel::Info, u"aceite: CHT %1 %2 por %3 <%4> de %5"_s.arg(
                                 link.Cht, decision.Accept ? u"aceita"_s : u"contestada"_s,
                                 LogValue(decision.ContactName.trimmed()), LogValue(link.Email),
                                 LogValue(decision.Address)));
}

std::optional<TChtAcceptance> ChtAcceptanceOf(TStorage& storage, const QString& cht)
{
    QSqlQuery& q = storage.Select(
        u"SELECT NMCONTATO, DSEMAIL, DTDECISAO FROM APH_ACEITE WHERE NRSEQUCHT = ? AND "
        "IDDECISAO = 'A' AND DTREVOGADO IS NULL ORDER BY DTDECISAO DESC LIMIT 1"_s,
        {ChtNumberOf(cht)});
    std::optional<TChtAcceptance> acceptance;
    if (q.next())
        acceptance =
            TChtAcceptance{q.value(0).toString(), q.value(1).toString(), q.value(2).toDouble()};
    TStorage::Done(q);
    return acceptance;
}

void RequireClientAcceptance(TStorage& storage, const QString& cht)
{
    QSqlQuery& q = storage.Select(
        u"SELECT SUM(CASE WHEN IDDECISAO = 'A' THEN 1 ELSE 0 END), SUM(CASE WHEN IDDECISAO = 'C' "
        "THEN 1 ELSE 0 END) FROM APH_ACEITE WHERE NRSEQUCHT = ? AND DTREVOGADO IS NULL"_s,
        {cht});
    const bool read = q.next();
    const int accepted = read ? q.value(0).toInt() : 0;
    const int contested = read ? q.value(1).toInt() : 0;
    TStorage::Done(q);
    if (contested > 0)
        throw ERefusal(u"O cliente contestou dias da CHT %1: reabra-a, corrija os dias e envie "
                       "um novo link de aceite antes de faturar."_s.arg(cht));
    if (accepted == 0)
        throw ERefusal(u"A CHT %1 ainda não foi aceita pelo cliente; este servidor só fatura "
                       "CHTs aceitas (exigir-aceite)."_s.arg(cht));
}

} // namespace aph

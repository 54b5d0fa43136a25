#include "server/sessions/auth.h"

#include "server/common/clock.h"
#include "server/common/secret.h"
#include "server/common/serverlog.h"
#include "server/sessions/operators.h"
#include "server/storage/storage.h"

#include <QSqlQuery>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The last use of a token is written at most once an hour, so that Logins
// do not turn into a write each.
constexpr double kLastUseStepDays = 1.0 / 24;

// A token's random bits.
constexpr int kTokenBits = 256;

bool IsActiveOperator(TStorage& storage, const QString& operatorCode)
{
    QSqlQuery& q =
        storage.Select(u"SELECT IDOPERATIVO FROM OPERADOR WHERE CDOPERADOR = ?"_s, {operatorCode});
    const bool active = q.next() && q.value(0).toString() == u"A";
    TStorage::Done(q);
    return active;
}

void NoteLastUse(TStorage& storage, const QString& hash, const QVariant& lastUse, double now)
{
    if (!lastUse.isNull() && now - lastUse.toDouble() < kLastUseStepDays)
        return;
    try {
        storage.Exec(u"UPDATE APH_TOKEN SET DTULTIMOUSO = ? WHERE DSHASH = ?"_s, {now, hash});
    } catch (const Exception& e) {
        // The Login stands; only the list of tokens shows an older use.
        LogLine(TLogLevel::Warning, u"último uso do token: %1"_s.arg(QString::fromUtf8(e.what())));
    }
}

} // namespace

QString NewToken()
{
    return NewSecret(kTokenBits);
}

QString HashToken(const QString& token)
{
    return HashSecret(token);
}

QString IssueToken(TStorage& storage, const QString& typedCode, int days)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    const QString operatorCode = StoredOperatorCode(storage, typedCode);
    if (!IsActiveOperator(storage, operatorCode))
        throw Exception(
            u"O operador \"%1\" não está cadastrado ou não está ativo."_s.arg(operatorCode));
    const QString token = NewToken();
    const double now = NowOle();
    storage.Exec(u"INSERT INTO APH_TOKEN (DSHASH, CDOPERADOR, DTCRIACAO, DTEXPIRA, DSPREFIXO) "
                 "VALUES (?, ?, ?, ?, ?)"_s,
                 {HashToken(token), operatorCode, now, now + days, token.left(kTokenPrefixDigits)});
    tx.Commit();
    return token;
}

QList<TTokenInfo> ListTokens(TStorage& storage, const QString& typedCode)
{
    const QString operatorCode =
        typedCode.isEmpty() ? typedCode : StoredOperatorCode(storage, typedCode);
    QSqlQuery& q = storage.Select(
        u"SELECT CDOPERADOR, DSPREFIXO, DTCRIACAO, DTEXPIRA, DTULTIMOUSO FROM APH_TOKEN "
        "WHERE ? = 1 OR CDOPERADOR = ? ORDER BY DTCRIACAO DESC, DSPREFIXO"_s,
        {operatorCode.isEmpty() ? 1 : 0, operatorCode});
    QList<TTokenInfo> tokens;
    while (q.next())
        tokens.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toDouble(),
                       q.value(3).toDouble(), q.value(4)});
    TStorage::Done(q);
    return tokens;
}

int RevokeTokens(TStorage& storage, const QString& typedCode, const QString& prefix)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    const QString operatorCode = StoredOperatorCode(storage, typedCode);
    if (!prefix.isEmpty()) {
        QSqlQuery& q = storage.Select(u"SELECT COUNT(*) FROM APH_TOKEN WHERE CDOPERADOR = ? AND "
                                      "SUBSTR(DSPREFIXO, 1, ?) = ?"_s,
                                      {operatorCode, prefix.size(), prefix.toLower()});
        const int matches = q.next() ? q.value(0).toInt() : 0;
        TStorage::Done(q);
        if (matches == 0)
            throw Exception(
                u"Nenhum token do operador \"%1\" começa com \"%2\"."_s.arg(operatorCode, prefix));
        if (matches > 1)
            throw Exception(u"O prefixo \"%1\" corresponde a %2 tokens do operador \"%3\"; "
                            "dê mais dígitos."_s.arg(prefix)
                                .arg(matches)
                                .arg(operatorCode));
    }
    const int revoked =
        prefix.isEmpty()
            ? storage.Exec(u"DELETE FROM APH_TOKEN WHERE CDOPERADOR = ?"_s, {operatorCode})
            : storage.Exec(u"DELETE FROM APH_TOKEN WHERE CDOPERADOR = ? AND "
                           "SUBSTR(DSPREFIXO, 1, ?) = ?"_s,
                           {operatorCode, prefix.size(), prefix.toLower()});
    tx.Commit();
    return revoked;
}

QString CheckLogin(TStorage& storage, const QString& operatorCode, const QString& token,
                   bool checkToken)
{
    if (!checkToken)
        return !operatorCode.isEmpty() && IsActiveOperator(storage, operatorCode) ? u"-"_s
                                                                                  : QString();
    const QString hash = HashToken(token);
    QSqlQuery& q = storage.Select(u"SELECT T.CDOPERADOR, T.DTEXPIRA, O.IDOPERATIVO, "
                                  "T.DTULTIMOUSO FROM APH_TOKEN T JOIN OPERADOR O ON "
                                  "O.CDOPERADOR = T.CDOPERADOR WHERE T.DSHASH = ?"_s,
                                  {hash});
    const bool found = q.next();
    const QByteArray owner = found ? q.value(0).toString().toUtf8() : QByteArray();
    const double expires = found ? q.value(1).toDouble() : 0;
    const bool active = found && q.value(2).toString() == u"A";
    const QVariant lastUse = found ? q.value(3) : QVariant();
    TStorage::Done(q);
    const double now = NowOle();
    const bool sameOperator = ConstantTimeEquals(owner, operatorCode.toUtf8());
    if (!(found && sameOperator && active && expires > now))
        return QString();
    NoteLastUse(storage, hash, lastUse, now);
    return hash;
}

} // namespace aph

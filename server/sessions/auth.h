#pragma once

#include "server/common/secret.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

namespace aph {

class TStorage;

// Tokens are 256 random bits written as 64 hexadecimal digits. Only their
// SHA-256 is stored, with the first 8 digits (to name a token in a list or
// when revoking it), so a copy of the database gives nobody a way in.
QString NewToken();
QString HashToken(const QString& token);
// ConstantTimeEquals (server/common/secret.h) compares a token's owner.

// A token lives this many days unless issued with another lifetime.
constexpr int kDefaultTokenDays = 90;
constexpr int kMaxTokenDays = 3650;
constexpr int kTokenPrefixDigits = 8;

// Issues a token for an active operator and stores its hash; throws with a
// message when the operator is unknown or inactive.
QString IssueToken(TStorage& storage, const QString& operatorCode, int days = kDefaultTokenDays);

// A token as the administrator sees it: never the token itself.
struct TTokenInfo
{
    QString Operator;
    QString Prefix; // empty for a token issued before prefixes were kept
    double Created = 0;
    double Expires = 0;
    QVariant LastUse; // null when never used; kept to the hour
};
// The tokens of one operator, or of all with an empty code, newest first.
QList<TTokenInfo> ListTokens(TStorage& storage, const QString& operatorCode);
// Revokes the operator's tokens, or the one whose prefix starts with the
// given digits; returns how many. Throws when a prefix matches none or
// more than one.
int RevokeTokens(TStorage& storage, const QString& operatorCode, const QString& prefix);

// A Login: the operator is active and the token one issued to them and
// still valid. Returns the token's hash (empty when refused); with
// checkToken false only the operator is checked. The token is looked up by
// its hash, so the work is the same whether the operator exists or not.
QString CheckLogin(TStorage& storage, const QString& operatorCode, const QString& token,
                   bool checkToken);
// Checked on every call of a logged-in connection: SessionRoles
// (roles.h), which reads the operator's roles in the same lookup.

} // namespace aph

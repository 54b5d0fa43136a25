#pragma once

#include <QByteArray>
#include <QString>

namespace aph {

class TStorage;

// Tokens are 256 random bits written as 64 hexadecimal digits. Only their
// SHA-256 is stored, so a copy of the database gives nobody a way in.
QString NewToken();
QString HashToken(const QString& token);
// Compares without stopping at the first difference, so that the time taken
// tells nothing about how much of a guess was right.
bool ConstantTimeEquals(const QByteArray& a, const QByteArray& b);

// Issues a token for an active operator and stores its hash; throws with a
// message when the operator is unknown or inactive.
QString IssueToken(TStorage& storage, const QString& operatorCode);
// True when the operator is active and the token is one issued to them.
// With checkToken false only the operator is checked.
bool CheckLogin(TStorage& storage, const QString& operatorCode, const QString& token,
                bool checkToken);

} // namespace aph

#pragma once

#include <QByteArray>
#include <QString>

namespace aph {

// The secrets the server hands out once (operators' login tokens, the
// client's acceptance links): random bits from the system's CSPRNG written
// as hexadecimal digits; only their SHA-256 is stored, so a copy of the
// database gives nobody a way in.
QString NewSecret(int bits);
QString HashSecret(const QString& secret);
// Compares without stopping at the first difference, so that the time taken
// tells nothing about how much of a guess was right.
bool ConstantTimeEquals(const QByteArray& a, const QByteArray& b);

} // namespace aph

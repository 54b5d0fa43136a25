#pragma once

#include <QString>

namespace aph {

class TStorage;

// The issuer of the statements handed to clients: the firm's name and its
// CNPJ (14 digits), kept in the general parameters. Both empty until set.
struct TIssuer
{
    QString Name, Cnpj;
    bool IsSet() const { return !Name.isEmpty() && !Cnpj.isEmpty(); }
};

// Reads them inside the caller's transaction.
TIssuer ReadIssuer(TStorage& storage);

// Keeps the name and the CNPJ, typed with or without its punctuation.
// EInvalidArgument for an empty or too long name, or a CNPJ whose check
// digits are wrong.
void SetIssuer(TStorage& storage, const QString& name, const QString& cnpj);

} // namespace aph

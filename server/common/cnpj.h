#pragma once

#include <QString>

namespace aph {

// The digits of a CNPJ or CPF as typed: "12.345.678/0001-95" gives
// "12345678000195". Other characters than digits, dots, slashes, hyphens
// and spaces leave the text as it is, so that it fails the checks below.
QString DocumentDigits(const QString& text);

// A CNPJ of 14 digits whose two check digits are right (modulo 11 with the
// weights 5..2, 9..2 and 6..2, 9..2); not all digits the same.
bool IsValidCnpj(const QString& digits);

// "12.345.678/0001-95" for 14 digits, "123.456.789-09" for 11; other
// text as it is.
QString FormatDocument(const QString& digits);

} // namespace aph

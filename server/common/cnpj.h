#pragma once

#include <QString>

namespace aph {

// A CNPJ or CPF as it is kept: its letters (in capitals) and digits,
// without the dots, slashes, hyphens and spaces of its printed form:
// "12.345.678/0001-95" gives "12345678000195", "12.abc.345/01de-35"
// "12ABC34501DE35". Any other character leaves the text as it is, so that
// it fails the checks below.
QString DocumentDigits(const QString& text);

// A CNPJ whose two check digits are right: 14 characters, the first 12
// digits or capital letters (the alphanumeric CNPJ issued from July 2026),
// the last two digits, each counted as its ASCII code minus 48 (a digit
// as itself, "A" as 17), modulo 11 with the weights 5..2, 9..2 and 6..2,
// 9..2; not all of them the same.
bool IsValidCnpj(const QString& digits);

// A CPF of 11 digits whose two check digits are right (modulo 11 with the
// weights 10..2 and 11..2); not all digits the same.
bool IsValidCpf(const QString& digits);

// "12.345.678/0001-95" for 14 characters, "123.456.789-09" for 11; other
// text as it is.
QString FormatDocument(const QString& digits);

} // namespace aph

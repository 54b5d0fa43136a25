#include "server/common/cnpj.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

constexpr int kCnpjDigits = 14, kCpfDigits = 11;
// The characters of a CNPJ before its check digits.
constexpr int kCnpjBase = 12;
// Modulo 11 gives a check digit of 0 below this rest.
constexpr int kSmallRest = 2;

// A character's worth in a check digit's sum: its ASCII code minus that of
// "0" (a digit as itself, a letter from 17 on).
int Worth(QChar c)
{
    return c.unicode() - u'0';
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The check digit over the first count characters: the weights run from
// firstWeight down to 2, and start again at 9 when wrap.
int CheckDigit(const QString& digits, int count, int firstWeight, bool wrap)
{
    int sum = 0, weight = firstWeight;
    for (int i = 0; i < count; ++i) {
        sum += Worth(digits[i]) * weight;
        weight = weight == 2 && wrap ? 9 : weight - 1;
    }
    const int rest = sum % 11;
    return rest < kSmallRest ? 0 : 11 - rest;
}

bool AllTheSame(const QString& digits)
{
    return digits.count(digits[0]) == digits.size();
}

} // namespace

QString DocumentDigits(const QString& text)
{
    QString digits;
    for (const QChar c : text) {
        if (IsDigit(c) || (c >= u'A' && c <= u'Z'))
            digits += c;
        else if (c >= u'a' && c <= u'z')
            digits += c.toUpper();
        else if (c != u'.' && c != u'/' && c != u'-' && c != u' ')
            return text;
    }
    return digits;
}

bool IsValidCnpj(const QString& digits)
{
    if (digits.size() != kCnpjDigits || AllTheSame(digits))
        return false;
    for (int i = 0; i < kCnpjDigits; ++i) {
        const QChar c = digits[i];
        if (!IsDigit(c) && (i >= kCnpjBase || c < u'A' || c > u'Z'))
            return false;
    }
    return CheckDigit(digits, kCnpjBase, 5, true) == Worth(digits[kCnpjBase]) &&
           CheckDigit(digits, kCnpjBase + 1, 6, true) == Worth(digits[kCnpjBase + 1]);
}

bool IsValidCpf(const QString& digits)
{
    if (digits.size() != kCpfDigits || AllTheSame(digits))
        return false;
    for (const QChar c : digits)
        if (!IsDigit(c))
            return false;
    return CheckDigit(digits, 9, 10, false) == Worth(digits[9]) &&
           CheckDigit(digits, 10, 11, false) == Worth(digits[10]);
}

QString FormatDocument(const QString& d)
{
    if (d.size() == kCnpjDigits)
        return u"%1.%2.%3/%4-%5"_s.arg(d.mid(0, 2), d.mid(2, 3), d.mid(5, 3), d.mid(8, 4),
                                       d.mid(12, 2));
    if (d.size() == kCpfDigits)
        return u"%1.%2.%3-%4"_s.arg(d.mid(0, 3), d.mid(3, 3), d.mid(6, 3), d.mid(9, 2));
    return d;
}

} // namespace aph

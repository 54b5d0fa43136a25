#include "server/common/cnpj.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

constexpr int kCnpjDigits = 14, kCpfDigits = 11;

// The check digit over the first count digits: the weights run from
// firstWeight down to 2 and start again at 9.
int CheckDigit(const QString& digits, int count, int firstWeight)
{
    int sum = 0, weight = firstWeight;
    for (int i = 0; i < count; ++i) {
        sum += (digits[i].unicode() - u'0') * weight;
        weight = weight == 2 ? 9 : weight - 1;
    }
    const int rest = sum % 11;
    return rest < 2 ? 0 : 11 - rest;
}

} // namespace

QString DocumentDigits(const QString& text)
{
    QString digits;
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9')
            digits += c;
        else if (c != u'.' && c != u'/' && c != u'-' && c != u' ')
            return text;
    }
    return digits;
}

bool IsValidCnpj(const QString& digits)
{
    if (digits.size() != kCnpjDigits)
        return false;
    for (const QChar c : digits)
        if (c < u'0' || c > u'9')
            return false;
    if (digits.count(digits[0]) == kCnpjDigits)
        return false;
    return CheckDigit(digits, 12, 5) == digits[12].unicode() - u'0' &&
           CheckDigit(digits, 13, 6) == digits[13].unicode() - u'0';
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

#include "service/codewords.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

struct TCodeWord
{
    QStringView Code;
    QStringView Word;
};

constexpr TCodeWord kChtSituations[] = {
    {u"P", u"Pendente"},
    {u"A", u"Aprovada"},
    {u"R", u"Faturada"},
    {u"N", u"Não faturar"},
};

constexpr TCodeWord kBillingTypes[] = {
    {u"H", u"Por hora"},
    {u"F", u"Valor fixo"},
    {u"P", u"Pacote"},
};

template <std::size_t N> QString WordOf(const TCodeWord (&table)[N], QStringView code)
{
    for (const TCodeWord& entry : table)
        if (entry.Code == code)
            return entry.Word.toString();
    return code.toString();
}

} // namespace

QString ChtSituationWord(QStringView code)
{
    return WordOf(kChtSituations, code);
}

bool IsChtSituation(QStringView code)
{
    for (const TCodeWord& entry : kChtSituations)
        if (entry.Code == code)
            return true;
    return false;
}

QString BillingTypeWord(QStringView code)
{
    return WordOf(kBillingTypes, code);
}

} // namespace aph

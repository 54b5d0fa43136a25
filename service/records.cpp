#include "service/records.h"

namespace aph {

TFieldDef StrField(const char* name, int size)
{
    return TFieldDef{QString::fromLatin1(name), TFieldType::ftString, size};
}

TFieldDef NumField(const char* name)
{
    return TFieldDef{QString::fromLatin1(name), TFieldType::ftFloat, 0};
}

TFieldDef DateField(const char* name)
{
    return TFieldDef{QString::fromLatin1(name), TFieldType::ftDateTime, 0};
}

const TFieldDefs& CsaRecordFields()
{
    const auto Str = &StrField;
    const auto Num = &NumField;
    const auto Date = &DateField;
    static const TFieldDefs fields = {
        Str("CDGRPOCOR", 2),  Str("CDOCORR", 2),       Str("DSOCORR", 40),     Str("CDEMPRESA", 2),
        Str("CDFUNC", 10),    Str("CDCLIENTE", 21),    Str("NRSERVPREST", 5),  Date("DTSERVPREST"),
        Str("CDTIPOSERV", 3), Str("NRAPURFATFAS", 10), Num("QTHRAPRCOMIS"),    Num("QTHRAPROFATU"),
        Num("QTHRTRAB"),      Str("NRVERPROPFAS", 2),  Str("NRPROPOSFAS", 20), Str("NRSEQUCHT", 5),
        Str("NRSERVCONT", 3), Str("INCLUSAO", 66)};
    return fields;
}

} // namespace aph

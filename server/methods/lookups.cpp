#include "server/methods/lookups.h"

#include "server/methods/replywriter.h"
#include "server/methods/requests.h"
#include "server/storage/storage.h"
#include "service/records.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// No screen's lookup is longer; anything longer is no lookup, and is
// refused before it is even compared.
constexpr qsizetype kMaxLookupText = 2000;

QString Normalised(const QString& text)
{
    return text.simplified();
}

// A list whose statement is the screens' own text, the same on every engine.
TLookup AsWritten(const char* name, const QString& sql, TFieldDefs fields)
{
    return {name, {sql}, sql, sql, std::move(fields)};
}

std::vector<TLookup> MakeLookups()
{
    return {
        AsWritten("ocorrencias",
                  u"SELECT CDGRPOCOR, CDOCORR, DSOCORR FROM OCORRENCIA ORDER BY CDGRPOCOR, "
                  "CDOCORR"_s,
                  {StrField("CDGRPOCOR", 2), StrField("CDOCORR", 2), StrField("DSOCORR", 40)}),
        AsWritten("clientes",
                  u"SELECT CDCLIENTE, NMFANTCLIE, NRINSJURCLIE, IDTPIJURCLIE, NMRAZSOCCLIE FROM "
                  "CLIENTE ORDER BY CDCLIENTE"_s,
                  {StrField("CDCLIENTE", 21), StrField("NMFANTCLIE", 50),
                   StrField("NRINSJURCLIE", 20), StrField("IDTPIJURCLIE", 1),
                   StrField("NMRAZSOCCLIE", 50)}),
        AsWritten("funcionarios",
                  u"SELECT OP.CDFUNC, FU.NMFUNC FROM OPERADOR OP, FUNCIONARIO FU WHERE OP.CDFUNC "
                  "= FU.CDFUNC AND OP.IDOPERATIVO = 'A' ORDER BY OP.CDFUNC"_s,
                  {StrField("CDFUNC", 10), StrField("NMFUNC", 40)}),
        // The period's first day, in each screen dialect; the server gives
        // it as the days since 30/12/1899, a date on the desktop whatever
        // the engine's date type.
        {"inicio do periodo",
         {u"SELECT TO_DATE('21/06/2008') AS DTINI FROM PARAMGERAL"_s,
          u"SELECT CAST(('06/21/2008') AS TIMESTAMP) AS DTINI FROM PARAMGERAL"_s},
         u"SELECT julianday('2008-06-21') - julianday('1899-12-30') AS DTINI FROM PARAMGERAL"_s,
         u"SELECT DATE '2008-06-21' - DATE '1899-12-30' AS DTINI FROM PARAMGERAL"_s,
         {DateField("DTINI")}},
    };
}

} // namespace

const std::vector<TLookup>& Lookups()
{
    static const std::vector<TLookup> lookups = MakeLookups();
    return lookups;
}

const TLookup& FindLookup(const QString& text, const QString& otherText)
{
    if (text.size() <= kMaxLookupText && otherText.size() <= kMaxLookupText) {
        const QString first = Normalised(text);
        const QString second = otherText.isEmpty() ? first : Normalised(otherText);
        for (const TLookup& lookup : Lookups()) {
            const auto known = [&lookup](const QString& t) {
                return std::any_of(lookup.Texts.begin(), lookup.Texts.end(),
                                   [&t](const QString& k) { return Normalised(k) == t; });
            };
            if (known(first) && known(second))
                return lookup;
        }
    }
    throw ERefusal(u"Consulta não permitida: o servidor de aplicação só atende às consultas das "
                   "listas que conhece (ocorrências, clientes, funcionários e início do "
                   "período)."_s);
}

void WriteLookup(TStorage& storage, const TLookup& lookup, TPacketWriter& out)
{
    TTransaction read(storage, TTransaction::Mode::Read);
    const QString& sql = storage.IsPostgres() ? lookup.PostgresSql : lookup.SqliteSql;
    WritePacket(storage, {sql, {}}, lookup.Fields, out);
    read.Commit();
}

} // namespace aph

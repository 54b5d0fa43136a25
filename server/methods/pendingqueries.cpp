#include "server/methods/pendingqueries.h"

#include "server/methods/queries.h"
#include "server/methods/querywhere.h"
#include "server/storage/pendingdays.h"
#include "server/storage/storage.h"

#include <QStringList>

#include <vector>

using namespace Qt::StringLiterals;

namespace aph {

using namespace querywhere;

namespace {

// The filter on a day of alias A (a CSA, or a row of APH_PENDFIXO, which
// has the same key and CHT columns): period, clients, employees,
// proposals, situation.
struct TPendingFilter
{
    const TStorage* Storage = nullptr;
    TWhere Where;
    TDay Start = 0;
    bool MatchesNothing = false;
};

TPendingFilter DecodeFilter(const TStorage& storage, const TGetServPrestRequest& request,
                            TWhere& services)
{
    const TSelection clientSel = Decode(request.Clients, "clientes");
    const TSelection employeeSel = Decode(request.Employees, "funcionários");
    const TSelection proposalSel = Decode(request.Proposals, "propostas");
    const TSituation situation = ParseSituation(request.CsaSituation, request.ChtSituation);
    TPendingFilter f;
    f.Storage = &storage;
    f.Start = request.Start;
    f.Where.Add(u"A.DTSERVPREST BETWEEN ? AND ?"_s, {request.Start, request.End});
    TWhere clients;
    if (situation.MatchesNothing() ||
        !AddSelection(clients, storage, clientSel, u"P.CDCLIENTE"_s) ||
        !AddSelection(f.Where, storage, employeeSel, u"A.CDFUNC"_s) ||
        !AddProposalSelection(f.Where, storage, proposalSel, u"A"_s) ||
        !AddProposalSelection(services, storage, proposalSel, u"SC"_s)) {
        f.MatchesNothing = true;
        return f;
    }
    if (!clients.Conditions.isEmpty()) {
        f.Where.Add(u"(A.NRPROPOSFAS, A.NRVERPROPFAS) IN (SELECT P.NRPROPOSFAS, P.NRVERPROPFAS "
                    "FROM PROPOSTA P WHERE "_s +
                        clients.Sql() + u')',
                    clients.Values);
        services.Add(clients.Sql(), clients.Values);
    }
    AddSituation(f.Where, storage, situation);
    return f;
}

// One kind of pending day: the days of the filter it holds, one row each
// with the CSA's key and the kind's code (NRPROPOSFAS, NRVERPROPFAS,
// NRSERVCONT, CDFUNC, DTSERVPREST, IDPENDENCIA). extra narrows the days
// further (a condition on A, with its values first).
using TKindDays = TQueryText (*)(const TPendingFilter& filter, const TWhere& extra);

TWhere Joined(const TWhere& extra, const TPendingFilter& filter)
{
    TWhere all = extra;
    all.Conditions << filter.Where.Conditions;
    all.Values << filter.Where.Values;
    return all;
}

QString DaySelect(char kind)
{
    return u"SELECT A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, A.DTSERVPREST, "
           "'%1' AS IDPENDENCIA "_s.arg(QLatin1Char(kind));
}

// The days pending on their own, each read through the index that holds
// only its days (the condition repeated word for word picks it).
TQueryText OvertimeDays(const TPendingFilter& filter, const TWhere& extra)
{
    const TWhere w = Joined(extra, filter);
    return {DaySelect(kPendenciaHoraExtra) + u"FROM CSA A"_s +
                filter.Storage->ThroughIndex(u"IX_CSA_PEND_HORAEXTRA"_s) + u" WHERE "_s +
                PendingOvertimeCondition(u"A."_s) + u" AND "_s + w.Sql(),
            w.Values};
}

TQueryText OccurrenceDays(const TPendingFilter& filter, const TWhere& extra)
{
    const TWhere w = Joined(extra, filter);
    return {DaySelect(kPendenciaOcorrencia) + u"FROM CSA A"_s +
                filter.Storage->ThroughIndex(u"IX_CSA_PEND_OCORRENCIA"_s) + u" WHERE "_s +
                PendingOccurrenceCondition(u"A."_s) + u" AND "_s + w.Sql(),
            w.Values};
}

// A fixed value's day, from the groups the period holds from their first
// day on (their day is kept in APH_PENDFIXO) ...
TQueryText FixedKeptDays(const TPendingFilter& filter, const TWhere& extra)
{
    TWhere w = Joined(extra, filter);
    w.Add(u"A.DTPRIMEIRO >= ?"_s, {filter.Start});
    return {DaySelect(kPendenciaContratado) + u"FROM APH_PENDFIXO A WHERE "_s + w.Sql(), w.Values};
}

// ... and from the groups the period's start cuts, summed again from it:
// the days of the services and employees with such a group, each group
// partitioned on its own, the day kept when its group began before the
// period.
TQueryText FixedCutDays(const TPendingFilter& filter, const TWhere& extra)
{
    TWhere w = Joined(extra, filter);
    w.Add(u"(A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC) IN (SELECT G.NRPROPOSFAS, "
          "G.NRVERPROPFAS, G.NRSERVCONT, G.CDFUNC FROM APH_PENDFIXO G WHERE G.DTPRIMEIRO < ? AND "
          "G.DTULTIMO >= ?)"_s,
          {filter.Start, filter.Start});
    const QString billed = u"COALESCE(A.QTHRAPROFATU, A.QTHRTRAB)"_s;
    const QString group =
        u"A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, A.CDEMPRESA, A.NRSEQUCHT"_s;
    QVariantList values = w.Values;
    values << filter.Start;
    return {u"SELECT W.NRPROPOSFAS, W.NRVERPROPFAS, W.NRSERVCONT, W.CDFUNC, W.DTSERVPREST, "
            "'%1' AS IDPENDENCIA FROM (SELECT "_s.arg(QLatin1Char(kPendenciaContratado)) +
                group + u", A.DTSERVPREST, SC.QTSERVCONT, "_s + billed + u" AS QTDIA, SUM("_s +
                billed + u") OVER (PARTITION BY "_s + group +
                u" ORDER BY A.DTSERVPREST) AS QTACUM FROM CSA A JOIN SERVCONT SC ON "
                "SC.NRPROPOSFAS = A.NRPROPOSFAS AND SC.NRVERPROPFAS = A.NRVERPROPFAS AND "
                "SC.NRSERVCONT = A.NRSERVCONT WHERE SC.IDTIPOCOBRCONT = 'F' AND "_s +
                w.Sql() +
                u") W WHERE W.QTACUM > W.QTSERVCONT + 0.000005 AND W.QTACUM - W.QTDIA <= "
                "W.QTSERVCONT + 0.000005 AND EXISTS (SELECT 1 FROM APH_PENDFIXO G WHERE "
                "G.NRPROPOSFAS = W.NRPROPOSFAS AND G.NRVERPROPFAS = W.NRVERPROPFAS AND "
                "G.NRSERVCONT = W.NRSERVCONT AND G.CDFUNC = W.CDFUNC AND G.CDEMPRESA = "
                "W.CDEMPRESA AND (G.NRSEQUCHT = W.NRSEQUCHT OR (G.NRSEQUCHT IS NULL AND "
                "W.NRSEQUCHT IS NULL)) AND G.DTPRIMEIRO < ?)"_s,
            values};
}

// What a client contested of a day: a link of the day's CHT that still
// holds (a reopen ends it), its newest comment on the day.
const QString kContested =
    u"FROM APH_ACEITEDIA D2 JOIN APH_ACEITE K2 ON K2.DSHASH = D2.DSHASH WHERE K2.NRSEQUCHT = "
    "A.NRSEQUCHT AND K2.DTREVOGADO IS NULL AND D2.DTSERVPREST = A.DTSERVPREST"_s;

// A day of a CHT its client contested, read from the contested days (a
// handful) rather than the period's CSAs.
TQueryText ContestedDays(const TPendingFilter& filter, const TWhere& extra)
{
    const TWhere w = Joined(extra, filter);
    return {u"SELECT DISTINCT A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, "
            "A.DTSERVPREST, '%1' AS IDPENDENCIA FROM APH_ACEITEDIA D JOIN APH_ACEITE K ON "
            "K.DSHASH = D.DSHASH JOIN CSA A ON A.NRSEQUCHT = K.NRSEQUCHT AND A.DTSERVPREST = "
            "D.DTSERVPREST WHERE K.DTREVOGADO IS NULL AND "_s.arg(
                QLatin1Char(kPendenciaContestado)) +
                w.Sql(),
            w.Values};
}

// Every kind of pending day; a new kind is one more function here.
const std::vector<TKindDays>& PendingKinds()
{
    static const std::vector<TKindDays> kinds = {OvertimeDays, OccurrenceDays, FixedKeptDays,
                                                 FixedCutDays, ContestedDays};
    return kinds;
}

// The kinds' days as one union (the values of each kind in order).
TQueryText AllDays(const TPendingFilter& filter, const TWhere& extra)
{
    QStringList parts;
    QVariantList values;
    for (const TKindDays kind : PendingKinds()) {
        const TQueryText days = kind(filter, extra);
        parts << days.Sql;
        values << days.Values;
    }
    return {parts.join(u" UNION ALL "_s), values};
}

} // namespace

TQueryText TPendingQueries::Rows(const QVariantList& service) const
{
    QVariantList values;
    for (const QVariantList& kind : RowsValues)
        values << service << kind;
    return {RowsSql, values};
}

TPendingQueries PendingQueries(const TStorage& storage, const TGetServPrestRequest& request)
{
    TWhere services;
    const TPendingFilter filter = DecodeFilter(storage, request, services);
    TPendingQueries q;
    if (filter.MatchesNothing) {
        q.MatchesNothing = true;
        return q;
    }
    q.Services = {u"SELECT SC.NRPROPOSFAS, SC.NRVERPROPFAS, SC.NRSERVCONT FROM SERVCONT SC "
                  "JOIN PROPOSTA P ON P.NRPROPOSFAS = SC.NRPROPOSFAS AND P.NRVERPROPFAS = "
                  "SC.NRVERPROPFAS JOIN CLIENTE C ON C.CDCLIENTE = P.CDCLIENTE"_s +
                      (services.Conditions.isEmpty() ? QString() : u" WHERE "_s + services.Sql()) +
                      u" ORDER BY C.NMFANTCLIE, P.CDCLIENTE, SC.NRPROPOSFAS, SC.NRVERPROPFAS, "
                      "SC.NRSERVCONT"_s,
                  services.Values};
    const TQueryText all = AllDays(filter, TWhere());
    q.Counts = {u"SELECT D.NRPROPOSFAS, D.NRVERPROPFAS, D.NRSERVCONT, COUNT(*) FROM ("_s + all.Sql +
                    u") D GROUP BY D.NRPROPOSFAS, D.NRVERPROPFAS, D.NRSERVCONT"_s,
                all.Values};
    // One service's days, each kind's values after the service's key.
    TWhere one;
    one.Add(u"A.NRPROPOSFAS = ? AND A.NRVERPROPFAS = ? AND A.NRSERVCONT = ?"_s);
    for (const TKindDays kind : PendingKinds())
        q.RowsValues << kind(filter, TWhere()).Values;
    q.RowsSql =
        u"SELECT P.CDCLIENTE, C.NMFANTCLIE, A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, "
        "SC.CDTIPOSERV, T.NMTIPOSERV, A.CDFUNC, F.NMFUNC, A.CDEMPRESA, A.NRSEQUCHT, "
        "A.DTSERVPREST, D.IDPENDENCIA, A.QTHRTRAB, A.QTHRAPROFATU, A.QTHRAPRCOMIS, "
        "SC.QTSERVCONT, CASE WHEN D.IDPENDENCIA = '%1' THEN (SELECT D2.DSCOMENTARIO "_s.arg(
            QLatin1Char(kPendenciaContestado)) +
        kContested + u" ORDER BY K2.DTDECISAO DESC LIMIT 1) END AS DSCOMENTARIO FROM ("_s +
        AllDays(filter, one).Sql +
        u") D JOIN CSA A ON A.NRPROPOSFAS = D.NRPROPOSFAS AND A.NRVERPROPFAS = D.NRVERPROPFAS "
        "AND A.NRSERVCONT = D.NRSERVCONT AND A.CDFUNC = D.CDFUNC AND A.DTSERVPREST = "
        "D.DTSERVPREST "
        "JOIN SERVCONT SC ON SC.NRPROPOSFAS = A.NRPROPOSFAS AND SC.NRVERPROPFAS = "
        "A.NRVERPROPFAS AND SC.NRSERVCONT = A.NRSERVCONT "
        "JOIN PROPOSTA P ON P.NRPROPOSFAS = A.NRPROPOSFAS AND P.NRVERPROPFAS = A.NRVERPROPFAS "
        "JOIN CLIENTE C ON C.CDCLIENTE = P.CDCLIENTE "
        "JOIN TIPOSERV T ON T.CDTIPOSERV = SC.CDTIPOSERV "
        "JOIN FUNCIONARIO F ON F.CDFUNC = A.CDFUNC "
        "ORDER BY F.NMFUNC, A.CDFUNC, A.CDEMPRESA, COALESCE(A.NRSEQUCHT, ''), A.DTSERVPREST, "
        "D.IDPENDENCIA"_s;
    return q;
}

} // namespace aph

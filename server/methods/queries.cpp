#include "server/methods/queries.h"

#include "host/data/selection.h"
#include "server/methods/audit.h"
#include "server/storage/storage.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The conditions of a WHERE clause and the values they bind, in order.
struct TWhere
{
    QStringList Conditions;
    QVariantList Values;

    void Add(const QString& condition, const QVariantList& values = {})
    {
        Conditions << condition;
        Values << values;
    }
    QString Sql() const { return Conditions.join(u" AND "_s); }
};

TSelection Decode(const QString& text, const char* what)
{
    try {
        return DecodeSelection(text, QString::fromUtf8(what));
    } catch (const Exception& e) {
        throw EInvalidArgument(e.Message());
    }
}

// "T" in the separate all flag wins; otherwise the list decides.
TSelection DecodeWithFlag(const QString& list, const QString& all, const char* what)
{
    if (all == u"T")
        return TSelection{TSelection::Kind::All, {}};
    if (!all.isEmpty())
        throw EInvalidArgument(
            u"Indicador de todos os %1 inválido: \"%2\"; use \"T\" ou vazio."_s.arg(
                QString::fromUtf8(what), all));
    return Decode(list, what);
}

// Adds the condition of one selection on a key column; false when the
// selection picks nothing, so that the caller can answer at once.
bool AddSelection(TWhere& where, const TStorage& storage, const TSelection& selection,
                  const QString& column)
{
    if (selection.IsNone())
        return false;
    if (selection.IsAll())
        return true;
    where.Add(column + u" IN ("_s + storage.JsonStrings() + u')',
              {EncodeSelection(selection.Keys)});
    return true;
}

bool AddProposalSelection(TWhere& where, const TStorage& storage, const TSelection& selection,
                          const QString& alias)
{
    if (selection.IsNone())
        return false;
    if (selection.IsAll())
        return true;
    QStringList pairs;
    for (const QString& key : selection.Keys) {
        QString proposal, version;
        if (!SplitProposalKey(key, proposal, version))
            throw EInvalidArgument(
                u"Chave de proposta inválida: \"%1\"; esperava NRPROPOSFAS|NRVERPROPFAS."_s.arg(
                    key));
        pairs << EncodeSelection({proposal, version});
    }
    where.Add(u"(%1.NRPROPOSFAS, %1.NRVERPROPFAS) IN ("_s.arg(alias) + storage.JsonPairs() + u')',
              {QString(u'[' + pairs.join(u',') + u']')});
    return true;
}

// The CSA and CHT situation codes of the filter.
struct TSituation
{
    bool WithoutCht = false;
    QStringList Statuses; // CHT situations wanted for CSAs in a CHT

    bool MatchesNothing() const { return !WithoutCht && Statuses.isEmpty(); }
};

QStringList ParseChtSituation(const QString& code)
{
    if (code == u"T")
        return {u"P"_s, u"A"_s, u"R"_s, u"N"_s};
    QStringList statuses;
    if (code.size() % 2 != 0)
        throw EInvalidArgument(u"Código de situação da CHT inválido: \"%1\"; use \"T\", vazio ou "
                               "partes \"_P\", \"_R\", \"_A\", \"_N\"."_s.arg(code));
    for (int i = 0; i < code.size(); i += 2) {
        const QChar letter = code[i + 1];
        if (code[i] != u'_' ||
            !(letter == u'P' || letter == u'A' || letter == u'R' || letter == u'N'))
            throw EInvalidArgument(u"Código de situação da CHT inválido: \"%1\"; use \"T\", vazio "
                                   "ou partes \"_P\", \"_R\", \"_A\", \"_N\"."_s.arg(code));
        if (!statuses.contains(letter))
            statuses << QString(letter);
    }
    return statuses;
}

TSituation ParseSituation(const QString& csaCode, const QString& chtCode)
{
    const QStringList statuses = ParseChtSituation(chtCode);
    TSituation s;
    if (csaCode == u"S") {
        s.WithoutCht = true;
    } else if (csaCode == u"C") {
        s.Statuses = statuses;
    } else if (csaCode == u"T") {
        s.WithoutCht = true;
        s.Statuses = statuses;
    } else if (!csaCode.isEmpty()) {
        throw EInvalidArgument(
            u"Código de situação da CSA inválido: \"%1\"; use \"S\", \"C\" ou \"T\"."_s.arg(
                csaCode));
    }
    return s;
}

QString Placeholders(int count)
{
    QStringList marks;
    for (int i = 0; i < count; ++i)
        marks << u"?"_s;
    return marks.join(u", "_s);
}

QVariantList ToVariants(const QStringList& items)
{
    QVariantList values;
    for (const QString& s : items)
        values << s;
    return values;
}

// The situation condition on the CSA of alias A.
void AddSituation(TWhere& where, const TStorage& storage, const TSituation& s)
{
    const QString withoutCht = storage.Unindexed(u"A.NRSEQUCHT"_s) + u" IS NULL"_s;
    const QString inCht =
        u"EXISTS (SELECT 1 FROM CHT H WHERE H.NRSEQUCHT = A.NRSEQUCHT AND "
        "H.IDSTATUSCHT IN (%1))"_s.arg(Placeholders(static_cast<int>(s.Statuses.size())));
    if (s.WithoutCht && !s.Statuses.isEmpty())
        where.Add(u'(' + withoutCht + u" OR "_s + inCht + u')', ToVariants(s.Statuses));
    else if (s.WithoutCht)
        where.Add(withoutCht);
    else
        where.Add(inCht, ToVariants(s.Statuses));
}

const QString kServiceJoin =
    u"JOIN SERVCONT SC ON SC.NRPROPOSFAS = A.NRPROPOSFAS AND SC.NRVERPROPFAS = A.NRVERPROPFAS AND "
    "SC.NRSERVCONT = A.NRSERVCONT "
    "JOIN PROPOSTA P ON P.NRPROPOSFAS = A.NRPROPOSFAS AND P.NRVERPROPFAS = A.NRVERPROPFAS "_s;

} // namespace

QString ProposalKey(const QString& proposal, const QString& version)
{
    return proposal + QLatin1Char(kProposalKeySeparator) + version;
}

bool SplitProposalKey(const QString& key, QString& proposal, QString& version)
{
    const qsizetype bar = key.lastIndexOf(QLatin1Char(kProposalKeySeparator));
    if (bar < 0)
        return false;
    proposal = key.left(bar);
    version = key.mid(bar + 1);
    return true;
}

TQueryText ServPrestQuery(const TStorage& storage, const TGetServPrestRequest& request)
{
    const TSelection clientSel = Decode(request.Clients, "clientes");
    const TSelection employeeSel = Decode(request.Employees, "funcionários");
    const TSelection proposalSel = Decode(request.Proposals, "propostas");
    const TSituation situation = ParseSituation(request.CsaSituation, request.ChtSituation);
    if (situation.MatchesNothing())
        return TQueryText::Nothing();

    TWhere outer;
    if (!AddSelection(outer, storage, clientSel, u"P.CDCLIENTE"_s) ||
        !AddProposalSelection(outer, storage, proposalSel, u"SC"_s))
        return TQueryText::Nothing();
    // A service is listed when it has a CSA of the period that the
    // employee and situation filters keep.
    TWhere inner;
    inner.Add(u"A.NRPROPOSFAS = SC.NRPROPOSFAS AND A.NRVERPROPFAS = SC.NRVERPROPFAS "
              "AND A.NRSERVCONT = SC.NRSERVCONT"_s);
    inner.Add(u"A.DTSERVPREST BETWEEN ? AND ?"_s, {request.Start, request.End});
    if (!AddSelection(inner, storage, employeeSel, u"A.CDFUNC"_s))
        return TQueryText::Nothing();
    AddSituation(inner, storage, situation);
    outer.Add(u"EXISTS (SELECT 1 FROM CSA A WHERE "_s + inner.Sql() + u')', inner.Values);

    const QString sql =
        u"SELECT P.CDCLIENTE, C.NMFANTCLIE, P.NRPROPOSTA, P.DSREFEPROPOSFAS, SC.NRPROPOSFAS, "
        "SC.NRVERPROPFAS, SC.CDTIPOSERV, T.NMTIPOSERV, SC.QTSERVCONT, SC.DSLOCALCONT, "
        "SC.NRSERVCONT, SC.IDTIPOCOBRCONT, SC.VRHORACLIE, SC.VRDEHORACLIE "
        "FROM SERVCONT SC "
        "JOIN PROPOSTA P ON P.NRPROPOSFAS = SC.NRPROPOSFAS AND P.NRVERPROPFAS = "
        "SC.NRVERPROPFAS "
        "JOIN CLIENTE C ON C.CDCLIENTE = P.CDCLIENTE "
        "JOIN TIPOSERV T ON T.CDTIPOSERV = SC.CDTIPOSERV WHERE "_s +
        outer.Sql() +
        u" ORDER BY C.NMFANTCLIE, P.CDCLIENTE, SC.NRPROPOSFAS, SC.NRVERPROPFAS, "
        "SC.NRSERVCONT"_s;
    return {sql, outer.Values};
}

TQueryText PropQuery(const TStorage& storage, const TGetPropRequest& request)
{
    const TSelection clientSel = DecodeWithFlag(request.Clients, request.AllClients, "clientes");
    TWhere where;
    where.Add(u"P.CDFILIAL = ?"_s, {request.Branch});
    if (!AddSelection(where, storage, clientSel, u"P.CDCLIENTE"_s))
        return TQueryText::Nothing();
    const QString sql = u"SELECT C.NRINSJURCLIE, P.CDCLIENTE, P.NRPROPOSFAS, P.NRVERPROPFAS, "
                        "C.IDTPIJURCLIE FROM PROPOSTA P JOIN CLIENTE C ON C.CDCLIENTE = "
                        "P.CDCLIENTE WHERE "_s +
                        where.Sql() + u" ORDER BY P.CDCLIENTE, P.NRPROPOSFAS, P.NRVERPROPFAS"_s;
    return {sql, where.Values};
}

TQueryText FuncQuery(const TStorage& storage, const TGetFuncRequest& request)
{
    const TSelection employeeSel =
        DecodeWithFlag(request.Employees, request.AllEmployees, "funcionários");
    const TSituation situation = ParseSituation(request.CsaSituation, request.ChtSituation);
    if (situation.MatchesNothing())
        return TQueryText::Nothing();
    TWhere where;
    where.Add(u"A.NRPROPOSFAS = ? AND A.NRVERPROPFAS = ? AND A.NRSERVCONT = ?"_s,
              {request.Proposal, request.Version, request.Service});
    where.Add(u"SC.CDTIPOSERV = ? AND P.CDCLIENTE = ?"_s, {request.ActivityType, request.Client});
    where.Add(u"A.DTSERVPREST BETWEEN ? AND ?"_s, {request.Start, request.End});
    if (!AddSelection(where, storage, employeeSel, u"A.CDFUNC"_s))
        return TQueryText::Nothing();
    AddSituation(where, storage, situation);
    const QString sql = u"SELECT F.NMFUNC, F.CDFUNC, A.CDEMPRESA FROM CSA A "_s + kServiceJoin +
                        u"JOIN FUNCIONARIO F ON F.CDFUNC = A.CDFUNC WHERE "_s + where.Sql() +
                        u" GROUP BY F.NMFUNC, F.CDFUNC, A.CDEMPRESA "
                        "ORDER BY F.NMFUNC, F.CDFUNC, A.CDEMPRESA"_s;
    return {sql, where.Values};
}

TQueryText ChtQuery(const TGetChtRequest& request)
{
    const QStringList statuses = ParseChtSituation(request.ChtSituation);
    if (statuses.isEmpty())
        return TQueryText::Nothing();
    QVariantList values{request.ActivityType, request.Proposal, request.Version, request.Employee,
                        request.Company};
    values << ToVariants(statuses) << request.Start << request.End;
    const QString sql =
        u"SELECT H.NRSEQUCHT, H.DSREFECHT, H.DTINCLCHT, H.CDOPERINCL, O.NMOPERADOR, "
        "SC.QTSERVCONT, SC.IDTIPOCOBRCONT, "
        "(SELECT SUM(X.QTHRTRAB) FROM CSA X WHERE X.NRSEQUCHT = H.NRSEQUCHT), H.IDSTATUSCHT "
        "FROM CHT H "
        "JOIN SERVCONT SC ON SC.NRPROPOSFAS = H.NRPROPOSFAS AND SC.NRVERPROPFAS = "
        "H.NRVERPROPFAS AND SC.NRSERVCONT = H.NRSERVCONT "
        "LEFT JOIN OPERADOR O ON O.CDOPERADOR = H.CDOPERINCL "
        "WHERE SC.CDTIPOSERV = ? AND H.NRPROPOSFAS = ? AND H.NRVERPROPFAS = ? "
        "AND H.CDFUNC = ? AND H.CDEMPRESA = ? AND H.IDSTATUSCHT IN (%1) "
        "AND EXISTS (SELECT 1 FROM CSA Y WHERE Y.NRSEQUCHT = H.NRSEQUCHT AND "
        "Y.DTSERVPREST BETWEEN ? AND ?) "
        "ORDER BY H.NRSEQUCHT"_s.arg(Placeholders(static_cast<int>(statuses.size())));
    return {sql, values};
}

TQueryText CsaQuery(const TGetCsaRequest& request)
{
    TWhere where;
    if (request.Flag == u"S") {
        // The whole CHT, whatever the period: its totals must be complete.
        if (request.ChtNumber.isEmpty())
            throw EInvalidArgument(
                u"O número da CHT deve ser informado quando o indicador é \"S\"."_s);
        where.Add(u"A.NRSEQUCHT = ? AND A.CDFUNC = ?"_s, {request.ChtNumber, request.Employee});
    } else if (request.Flag == u"N") {
        where.Add(u"A.NRSEQUCHT IS NULL"_s);
        where.Add(u"A.CDFUNC = ? AND A.CDEMPRESA = ?"_s, {request.Employee, request.Company});
        where.Add(u"A.NRPROPOSFAS = ? AND A.NRVERPROPFAS = ? AND SC.CDTIPOSERV = ? "
                  "AND P.CDCLIENTE = ?"_s,
                  {request.Proposal, request.Version, request.ActivityType, request.Client});
        where.Add(u"A.DTSERVPREST BETWEEN ? AND ?"_s, {request.Start, request.End});
    } else {
        throw EInvalidArgument(
            u"Indicador de CHT inválido: \"%1\"; use \"S\" ou \"N\"."_s.arg(request.Flag));
    }
    const QString sql =
        u"SELECT A.CDGRPOCOR, A.CDOCORR, OC.DSOCORR, A.CDEMPRESA, A.CDFUNC, P.CDCLIENTE, "
        "A.NRSERVPREST, A.DTSERVPREST, SC.CDTIPOSERV, A.NRAPURFATFAS, A.QTHRAPRCOMIS, "
        "A.QTHRAPROFATU, A.QTHRTRAB, A.NRVERPROPFAS, A.NRPROPOSFAS, A.NRSEQUCHT, "
        "A.NRSERVCONT, A.DTINCLUSAO, A.CDOPERINCL, OP.NMOPERADOR FROM CSA A "_s +
        kServiceJoin +
        u"LEFT JOIN OCORRENCIA OC ON OC.CDGRPOCOR = A.CDGRPOCOR AND OC.CDOCORR = "
        "A.CDOCORR "
        "LEFT JOIN OPERADOR OP ON OP.CDOPERADOR = A.CDOPERINCL WHERE "_s +
        where.Sql() + u" ORDER BY A.DTSERVPREST"_s;
    return {sql, where.Values};
}

namespace {

// The reply's columns, as every kind of pending day gives them, from the
// CSA (A), its service (SC), proposal (P), client (C), activity type (T)
// and employee (F).
const char* const kPendenciaNames[] = {
    "CDCLIENTE",   "NMFANTCLIE", "NRPROPOSFAS",  "NRVERPROPFAS", "NRSERVCONT", "CDTIPOSERV",
    "NMTIPOSERV",  "CDFUNC",     "NMFUNC",       "CDEMPRESA",    "NRSEQUCHT",  "DTSERVPREST",
    "IDPENDENCIA", "QTHRTRAB",   "QTHRAPROFATU", "QTHRAPRCOMIS", "QTSERVCONT", "DSCOMENTARIO"};

// The client's comment is only a contested day's.
QString PendenciaColumns(char kind, const QString& comment = u"CAST(NULL AS VARCHAR(300))"_s)
{
    return u"P.CDCLIENTE, C.NMFANTCLIE, A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, "
           "SC.CDTIPOSERV, T.NMTIPOSERV, A.CDFUNC, F.NMFUNC, A.CDEMPRESA, A.NRSEQUCHT, "
           "A.DTSERVPREST, '%1' AS IDPENDENCIA, A.QTHRTRAB, A.QTHRAPROFATU, A.QTHRAPRCOMIS, "
           "SC.QTSERVCONT, %2 AS DSCOMENTARIO"_s.arg(QString(QLatin1Char(kind)), comment);
}

// A day of a CHT its client contested through a link that still holds
// (a reopen ends it), with the newest comment on it.
QString ContestedPendencias(const QString& csas)
{
    const QString contested =
        u"FROM APH_ACEITEDIA D JOIN APH_ACEITE K ON K.DSHASH = D.DSHASH WHERE K.NRSEQUCHT = "
        "A.NRSEQUCHT AND K.DTREVOGADO IS NULL AND D.DTSERVPREST = A.DTSERVPREST"_s;
    return u"SELECT "_s +
           PendenciaColumns(kPendenciaContestado, u"(SELECT D.DSCOMENTARIO "_s + contested +
                                                      u" ORDER BY K.DTDECISAO DESC LIMIT 1)"_s) +
           csas + u" AND A.NRSEQUCHT IS NOT NULL AND EXISTS (SELECT 1 "_s + contested + u")"_s;
}

} // namespace

TQueryText PendenciasQuery(const TStorage& storage, const TGetServPrestRequest& request)
{
    const TSelection clientSel = Decode(request.Clients, "clientes");
    const TSelection employeeSel = Decode(request.Employees, "funcionários");
    const TSelection proposalSel = Decode(request.Proposals, "propostas");
    const TSituation situation = ParseSituation(request.CsaSituation, request.ChtSituation);
    TWhere where;
    where.Add(u"A.DTSERVPREST BETWEEN ? AND ?"_s, {request.Start, request.End});
    if (situation.MatchesNothing() || !AddSelection(where, storage, clientSel, u"P.CDCLIENTE"_s) ||
        !AddSelection(where, storage, employeeSel, u"A.CDFUNC"_s) ||
        !AddProposalSelection(where, storage, proposalSel, u"SC"_s))
        return TQueryText::Nothing();
    AddSituation(where, storage, situation);
    // Each kind joins its own names: joined after the union, the planner
    // cannot tell how few rows come out of it and loops over them.
    const QString csas = u" FROM CSA A "_s + kServiceJoin +
                         u"JOIN CLIENTE C ON C.CDCLIENTE = P.CDCLIENTE "
                         "JOIN TIPOSERV T ON T.CDTIPOSERV = SC.CDTIPOSERV "
                         "JOIN FUNCIONARIO F ON F.CDFUNC = A.CDFUNC WHERE "_s +
                         where.Sql();
    // A day the screen draws red (over eight hours, or hours on a Saturday
    // or Sunday: day 0 is a Saturday) whose approval is still empty.
    const QString overtime =
        u"SELECT "_s + PendenciaColumns(kPendenciaHoraExtra) + csas +
        u" AND (A.QTHRAPROFATU IS NULL OR A.QTHRAPRCOMIS IS NULL) AND (A.QTHRTRAB > 8 OR "
        "(A.QTHRTRAB > 0 AND A.DTSERVPREST % 7 IN (0, 1)))"_s;
    // Commission and hours worked apart in whole thousandths, no occurrence.
    const QString occurrence =
        u"SELECT "_s + PendenciaColumns(kPendenciaOcorrencia) + csas +
        u" AND A.QTHRAPRCOMIS IS NOT NULL AND (A.CDOCORR IS NULL OR A.CDOCORR = '') AND "
        "FLOOR(A.QTHRAPRCOMIS * 1000) <> FLOOR(A.QTHRTRAB * 1000)"_s;
    // A fixed value: the day on which the hours billed so far (an empty
    // approval bills the hours worked) pass the contracted ones, within a
    // CHT, or among one service's and employee's days without CHT.
    QStringList names;
    for (const char* name : kPendenciaNames)
        names << u"W."_s + QLatin1String(name);
    const QString billed = u"COALESCE(A.QTHRAPROFATU, A.QTHRTRAB)"_s;
    const QString contracted =
        u"SELECT "_s + names.join(u", "_s) + u" FROM (SELECT "_s +
        PendenciaColumns(kPendenciaContratado) + u", "_s + billed + u" AS QTDIA, SUM("_s + billed +
        u") OVER (PARTITION BY A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, "
        "A.CDEMPRESA, A.NRSEQUCHT ORDER BY A.DTSERVPREST) AS QTACUM"_s +
        csas +
        u" AND SC.IDTIPOCOBRCONT = 'F') W WHERE W.QTACUM > W.QTSERVCONT + 0.000005 AND "
        "W.QTACUM - W.QTDIA <= W.QTSERVCONT + 0.000005"_s;
    const QString contested = ContestedPendencias(csas);
    QVariantList values = where.Values;
    values << where.Values << where.Values << where.Values;
    names.replaceInStrings(u"W."_s, u"X."_s);
    const QString sql =
        u"SELECT "_s + names.join(u", "_s) + u" FROM ("_s + overtime + u" UNION ALL "_s +
        occurrence + u" UNION ALL "_s + contracted + u" UNION ALL "_s + contested +
        u") X ORDER BY X.NMFANTCLIE, X.CDCLIENTE, X.NRPROPOSFAS, X.NRVERPROPFAS, X.NRSERVCONT, "
        "X.NMFUNC, X.CDFUNC, X.CDEMPRESA, COALESCE(X.NRSEQUCHT, ''), X.DTSERVPREST, "
        "X.IDPENDENCIA"_s;
    return {sql, values};
}

TQueryText StoredCsaQuery(const TStorage& storage, const QVariantList& key)
{
    const QString sql = u"SELECT A.CDGRPOCOR, A.CDOCORR, A.CDEMPRESA, A.NRSERVPREST, "
                        "A.NRAPURFATFAS, A.QTHRAPRCOMIS, A.QTHRAPROFATU, A.QTHRTRAB, "
                        "A.NRSEQUCHT, P.CDCLIENTE, SC.CDTIPOSERV FROM CSA A "_s +
                        kServiceJoin +
                        u"WHERE A.NRPROPOSFAS = ? AND A.NRVERPROPFAS = ? AND "
                        "A.NRSERVCONT = ? AND A.CDFUNC = ? AND A.DTSERVPREST = ?"_s +
                        storage.ForUpdate(u"A"_s);
    return {sql, key};
}

namespace {

// The CSAs without CHT, in the period, of the new CHTs (H, numbered
// between two bound values) by service, employee and company; csa is the
// CSA's alias. Bound: first and last CHT, first and last day.
QString NewChtCsas(const TStorage& storage, const QString& csa)
{
    return u"H.NRSEQUCHT BETWEEN ? AND ? AND H.NRPROPOSFAS = %1.NRPROPOSFAS AND "
           "H.NRVERPROPFAS = %1.NRVERPROPFAS AND H.NRSERVCONT = %1.NRSERVCONT AND "
           "H.CDFUNC = %1.CDFUNC AND H.CDEMPRESA = %1.CDEMPRESA AND "_s.arg(csa) +
           storage.Unindexed(csa + u".NRSEQUCHT"_s) +
           u" IS NULL AND %1.DTSERVPREST BETWEEN ? AND ?"_s.arg(csa);
}

// The CSA key in the order writers lock it; COLLATE "C" compares text
// byte by byte, as CsaKeyLess does, whatever the database's locale.
QString CsaKeyOrder(const QString& alias)
{
    return u"ORDER BY %1.NRPROPOSFAS COLLATE \"C\", %1.NRVERPROPFAS COLLATE \"C\", "
           "%1.NRSERVCONT COLLATE \"C\", %1.CDFUNC COLLATE \"C\", %1.DTSERVPREST"_s.arg(alias);
}

} // namespace

TQueryText CsaLockQuery(const TStorage& storage, const std::vector<QVariantList>& keys)
{
    if (keys.empty())
        return TQueryText::Nothing();
    QStringList rows;
    QVariantList values;
    rows.reserve(static_cast<qsizetype>(keys.size()));
    for (const QVariantList& key : keys) {
        rows << u"(?, ?, ?, ?, ?)"_s;
        values << key;
    }
    return {u"SELECT 1 FROM CSA A WHERE (A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, "
            "A.DTSERVPREST) IN ("_s +
                rows.join(u", "_s) + u") "_s + CsaKeyOrder(u"A"_s) + storage.ForUpdate(u"A"_s),
            values};
}

TQueryText ChtCsaLockQuery(const TStorage& storage, const QString& firstCht, const QString& lastCht,
                           TDay start, TDay end)
{
    return {u"SELECT 1 FROM CSA A, CHT H WHERE "_s + NewChtCsas(storage, u"A"_s) + u' ' +
                CsaKeyOrder(u"A"_s) + storage.ForUpdate(u"A"_s),
            {firstCht, lastCht, start, end}};
}

bool CsaKeyLess(const QVariantList& a, const QVariantList& b)
{
    for (int i = 0; i < 4; ++i) {
        const int c = a.at(i).toString().toUtf8().compare(b.at(i).toString().toUtf8());
        if (c != 0)
            return c < 0;
    }
    return a.at(4).toLongLong() < b.at(4).toLongLong();
}

TQueryText ChtStatusQuery(const TStorage& storage, const QString& chtNumber)
{
    return {u"SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = ?"_s + storage.ForShare(), {chtNumber}};
}

TQueryText OccurrenceQuery(const QString& group, const QString& code)
{
    return {u"SELECT 1 FROM OCORRENCIA WHERE CDGRPOCOR = ? AND CDOCORR = ?"_s, {group, code}};
}

TQueryText CsaApprovalUpdate(const QVariant& billed, const QVariant& commission,
                             const QVariant& group, const QVariant& code, const QVariantList& key)
{
    QVariantList values{billed, commission, group, code};
    values << key;
    return {u"UPDATE CSA SET QTHRAPROFATU = ?, QTHRAPRCOMIS = ?, CDGRPOCOR = ?, CDOCORR = ? "
            "WHERE NRPROPOSFAS = ? AND NRVERPROPFAS = ? AND NRSERVCONT = ? AND CDFUNC = ? AND "
            "DTSERVPREST = ?"_s,
            values};
}

TQueryText OperatorStatusQuery(const QString& operatorCode)
{
    return {u"SELECT IDOPERATIVO FROM OPERADOR WHERE CDOPERADOR = ?"_s, {operatorCode}};
}

TQueryText ChtGroupsQuery(const TStorage& storage, const TSetChtRequest& request)
{
    const TSelection clientSel = DecodeWithFlag(request.Clients, request.AllClients, "clientes");
    const TSelection employeeSel =
        DecodeWithFlag(request.Employees, request.AllEmployees, "funcionários");
    const TSelection proposalSel =
        DecodeWithFlag(request.Proposals, request.AllProposals, "propostas");

    TWhere where;
    where.Add(storage.Unindexed(u"A.NRSEQUCHT"_s) + u" IS NULL"_s);
    where.Add(u"A.DTSERVPREST BETWEEN ? AND ?"_s, {request.Start, request.End});
    if (!AddSelection(where, storage, clientSel, u"P.CDCLIENTE"_s) ||
        !AddSelection(where, storage, employeeSel, u"A.CDFUNC"_s) ||
        !AddProposalSelection(where, storage, proposalSel, u"A"_s))
        return TQueryText::Nothing();
    const QString sql = u"SELECT A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, "
                        "A.CDEMPRESA, MIN(A.DTSERVPREST), MAX(A.DTSERVPREST), "
                        "MIN(T.NMTIPOSERV), COUNT(*), "
                        "SUM(CASE WHEN A.QTHRAPROFATU IS NULL OR A.QTHRAPRCOMIS IS NULL "
                        "THEN 1 ELSE 0 END) AS QTCSAPEND, MIN(P.CDCLIENTE) AS CDCLIENTE, "
                        "MIN(P.NRPROPOSTA) AS NRPROPOSTA FROM CSA A "_s +
                        kServiceJoin + u"JOIN TIPOSERV T ON T.CDTIPOSERV = SC.CDTIPOSERV WHERE "_s +
                        where.Sql() +
                        u" GROUP BY A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, "
                        "A.CDEMPRESA ORDER BY A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, "
                        "A.CDFUNC, A.CDEMPRESA"_s;
    return {sql, where.Values};
}

TQueryText ChtPreviewQuery(const TStorage& storage, const TSetChtRequest& request)
{
    TQueryText groups = ChtGroupsQuery(storage, request);
    if (groups.MatchesNothing)
        return groups;
    // The groups as the generation reads them, each with its client's name.
    groups.Sql = u"SELECT G.*, C.NMFANTCLIE FROM ("_s + groups.Sql +
                 u") G LEFT JOIN CLIENTE C ON C.CDCLIENTE = G.CDCLIENTE ORDER BY C.NMFANTCLIE, "
                 "G.CDCLIENTE, G.NRPROPOSFAS, G.NRVERPROPFAS, G.NRSERVCONT, G.CDFUNC, "
                 "G.CDEMPRESA"_s;
    return groups;
}

TQueryText ReserveChtNumbers(long long count)
{
    return {u"UPDATE APH_SEQUENCIA SET NRVALOR = NRVALOR + ? WHERE NMSEQUENCIA = 'CHT'"_s, {count}};
}

TQueryText LastChtNumberQuery()
{
    return {u"SELECT NRVALOR FROM APH_SEQUENCIA WHERE NMSEQUENCIA = 'CHT'"_s, {}};
}

QString ChtInsertSql(int rowCount)
{
    QStringList rows;
    for (int i = 0; i < rowCount; ++i)
        rows << u'(' + Placeholders(kChtInsertColumns) + u')';
    return u"INSERT INTO CHT (NRSEQUCHT, DSREFECHT, DTINCLCHT, CDOPERINCL, IDSTATUSCHT, "
           "NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, CDEMPRESA) VALUES "_s +
           rows.join(u',');
}

TQueryText AttachCsasToChts(const TStorage& storage, const QString& firstCht,
                            const QString& lastCht, TDay start, TDay end)
{
    // Driven by the new CHTs (a range of their numbers), each finding its
    // CSAs by the CSA key: the work follows the rows billed, not the table.
    return {u"UPDATE CSA SET NRSEQUCHT = H.NRSEQUCHT, "
            "QTHRAPROFATU = COALESCE(CSA.QTHRAPROFATU, CSA.QTHRTRAB), "
            "QTHRAPRCOMIS = COALESCE(CSA.QTHRAPRCOMIS, CSA.QTHRTRAB) "
            "FROM CHT H WHERE "_s +
                NewChtCsas(storage, u"CSA"_s),
            {firstCht, lastCht, start, end}};
}

namespace {

const QString kHistoryColumns =
    u"INSERT INTO APH_HISTEVENTO (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, DTSERVPREST, "
    "DTEVENTO, CDOPERADOR, IDEVENTO, QTHRAPROFATU_ANT, QTHRAPROFATU, QTHRAPRCOMIS_ANT, "
    "QTHRAPRCOMIS, CDGRPOCOR_ANT, CDOCORR_ANT, CDGRPOCOR, CDOCORR, NRSEQUCHT, "
    "IDSTATUSCHT_ANT, IDSTATUSCHT, DSCHAVE) "_s;

} // namespace

TQueryText HistoryApprovalInsert(const THistoryStamp& stamp, const QVariantList& csaKey,
                                 const QVariantList& before, const QVariantList& after,
                                 const QVariant& cht)
{
    const QVariant none(QMetaType::fromType<QString>());
    return {kHistoryColumns + u"VALUES (?, ?, ?, ?, ?, ?, ?, 'A', ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                              "NULL, NULL, ?)"_s,
            csaKey + QVariantList{stamp.When, stamp.Operator, before.value(0), after.value(0),
                                  before.value(1), after.value(1), before.value(2), before.value(3),
                                  after.value(2), after.value(3), cht.isNull() ? none : cht,
                                  stamp.Key}};
}

TQueryText HistoryGenerationChtInsert(const THistoryStamp& stamp, const QString& firstCht,
                                      const QString& lastCht)
{
    // NRHISTCSA: the events written before this generation have numbers up
    // to it, those after it higher ones.
    return {u"INSERT INTO APH_HISTGERACAO (NRSEQUCHT, NRHISTCSA, DTEVENTO, CDOPERADOR, DSCHAVE) "
            "SELECT NRSEQUCHT, (SELECT COALESCE(MAX(NRHISTCSA), 0) FROM APH_HISTEVENTO), "
            "CAST(? AS DOUBLE PRECISION), CAST(? AS VARCHAR(12)), CAST(? AS VARCHAR(64)) "
            "FROM CHT WHERE NRSEQUCHT BETWEEN ? AND ?"_s,
            {stamp.When, stamp.Operator, stamp.Key, firstCht, lastCht}};
}

TQueryText HistoryGenerationCsaInsert(const TStorage& storage, const QString& firstCht,
                                      const QString& lastCht, TDay start, TDay end)
{
    // The same rows as AttachCsasToChts, read before it changes them, in the
    // order of the table's key: CHT, then day.
    return {u"INSERT INTO APH_HISTGERCSA (NRSEQUCHT, DTSERVPREST, QTHRAPROFATU_ANT, QTHRAPROFATU, "
            "QTHRAPRCOMIS_ANT, QTHRAPRCOMIS, CDGRPOCOR, CDOCORR) "
            "SELECT H.NRSEQUCHT, C.DTSERVPREST, C.QTHRAPROFATU, "
            "COALESCE(C.QTHRAPROFATU, C.QTHRTRAB), C.QTHRAPRCOMIS, "
            "COALESCE(C.QTHRAPRCOMIS, C.QTHRTRAB), C.CDGRPOCOR, C.CDOCORR "
            "FROM CHT H, CSA C WHERE "_s +
                NewChtCsas(storage, u"C"_s) + u" ORDER BY H.NRSEQUCHT, C.DTSERVPREST"_s,
            {firstCht, lastCht, start, end}};
}

TQueryText HistoryStatusInsert(const THistoryStamp& stamp, const QString& cht,
                               const QString& before, const QString& after, const QVariant& reason,
                               const QVariant& invoice)
{
    return {u"INSERT INTO APH_HISTEVENTO (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, "
            "DTSERVPREST, DTEVENTO, CDOPERADOR, IDEVENTO, QTHRAPROFATU_ANT, QTHRAPROFATU, "
            "QTHRAPRCOMIS_ANT, QTHRAPRCOMIS, CDGRPOCOR_ANT, CDOCORR_ANT, CDGRPOCOR, CDOCORR, "
            "NRSEQUCHT, IDSTATUSCHT_ANT, IDSTATUSCHT, DSCHAVE, DSMOTIVO, NRNOTAFISCAL) "
            "SELECT NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, DTSERVPREST, "
            "CAST(? AS DOUBLE PRECISION), CAST(? AS VARCHAR(12)), 'S', "
            "QTHRAPROFATU, QTHRAPROFATU, QTHRAPRCOMIS, QTHRAPRCOMIS, CDGRPOCOR, CDOCORR, "
            "CDGRPOCOR, CDOCORR, NRSEQUCHT, CAST(? AS VARCHAR(1)), CAST(? AS VARCHAR(1)), "
            "CAST(? AS VARCHAR(64)), CAST(? AS VARCHAR(200)), CAST(? AS VARCHAR(20)) "
            "FROM CSA WHERE NRSEQUCHT = ?"_s,
            {stamp.When, stamp.Operator, before, after, stamp.Key, reason, invoice, cht}};
}

TQueryText HistoryQuery(const TGetHistCsaRequest& request)
{
    // Through the view of every event. A generation row carries the number
    // of the last event written before it, so on a tie of instant and
    // number the other event came first ('A' before 'G').
    return {u"SELECT H.DTEVENTO, H.CDOPERADOR, O.NMOPERADOR, H.IDEVENTO, H.QTHRAPROFATU_ANT, "
            "H.QTHRAPROFATU, H.QTHRAPRCOMIS_ANT, H.QTHRAPRCOMIS, H.CDOCORR_ANT, H.CDOCORR, "
            "H.NRSEQUCHT, H.IDSTATUSCHT_ANT, H.IDSTATUSCHT, H.DSCHAVE, H.DSMOTIVO, H.NRNOTAFISCAL "
            "FROM APH_HISTCSA H "
            "LEFT JOIN OPERADOR O ON O.CDOPERADOR = H.CDOPERADOR "
            "WHERE H.NRPROPOSFAS = ? AND H.NRVERPROPFAS = ? AND H.NRSERVCONT = ? "
            "AND H.CDFUNC = ? AND H.DTSERVPREST = ? ORDER BY H.DTEVENTO, H.NRHISTCSA, H.IDEVENTO"_s,
            {request.Proposal, request.Version, request.Service, request.Employee, request.Day}};
}

TQueryText StatementHeaderQuery(const QString& chtNumber)
{
    return {u"SELECT H.NRSEQUCHT, H.IDSTATUSCHT, P.CDCLIENTE, L.NMFANTCLIE, H.NRPROPOSFAS, "
            "H.NRVERPROPFAS, H.NRSERVCONT, S.CDTIPOSERV, T.NMTIPOSERV, H.CDFUNC, F.NMFUNC, "
            "S.IDTIPOCOBRCONT, S.QTSERVCONT, S.VRDEHORACLIE, L.NMRAZSOCCLIE, L.NRINSJURCLIE, "
            "L.IDTPIJURCLIE, P.NRPROPOSTA, S.VRHORACLIE, H.NRNOTAFISCAL FROM CHT H "
            "JOIN SERVCONT S ON S.NRPROPOSFAS = H.NRPROPOSFAS AND S.NRVERPROPFAS = "
            "H.NRVERPROPFAS AND S.NRSERVCONT = H.NRSERVCONT "
            "JOIN PROPOSTA P ON P.NRPROPOSFAS = H.NRPROPOSFAS AND P.NRVERPROPFAS = "
            "H.NRVERPROPFAS "
            "JOIN CLIENTE L ON L.CDCLIENTE = P.CDCLIENTE "
            "JOIN TIPOSERV T ON T.CDTIPOSERV = S.CDTIPOSERV "
            "JOIN FUNCIONARIO F ON F.CDFUNC = H.CDFUNC WHERE H.NRSEQUCHT = ?"_s,
            {chtNumber}};
}

TQueryText StatementDaysQuery(const QString& chtNumber)
{
    return {u"SELECT C.DTSERVPREST, C.QTHRTRAB, C.QTHRAPROFATU, C.QTHRAPRCOMIS, C.CDGRPOCOR, "
            "C.CDOCORR, O.DSOCORR FROM CSA C LEFT JOIN OCORRENCIA O ON O.CDGRPOCOR = "
            "C.CDGRPOCOR AND O.CDOCORR = C.CDOCORR WHERE C.NRSEQUCHT = ? ORDER BY "
            "C.DTSERVPREST"_s,
            {chtNumber}};
}

TQueryText AuditInsert(const TAuditRow& row)
{
    return {u"INSERT INTO APH_AUDITORIA (DTEVENTO, CDOPERADOR, CDOPERCONEXAO, DSEVENTO) VALUES "
            "(?, ?, ?, ?)"_s,
            {row.When, row.Operator, row.ConnectionOperator, row.Event}};
}

} // namespace aph

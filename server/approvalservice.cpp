#include "approvalservice.h"

#include "host/data/formatsettings.h"
#include "host/data/selection.h"
#include "service/records.h"
#include "storage.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QStringList>

#include <cmath>

namespace aph {

namespace {

TFieldDef Str(const char* name, int size)
{
    return TFieldDef{QString::fromLatin1(name), TFieldType::ftString, size};
}

TFieldDef Num(const char* name)
{
    return TFieldDef{QString::fromLatin1(name), TFieldType::ftFloat, 0};
}

TFieldDef Date(const char* name)
{
    return TFieldDef{QString::fromLatin1(name), TFieldType::ftDateTime, 0};
}

const TFormatSettings& Brazil()
{
    static const TFormatSettings fs = TFormatSettings::ForLocale(QStringLiteral("pt_BR"));
    return fs;
}

QString DayText(TDay day)
{
    return DateToStr(static_cast<double>(day), Brazil());
}

// A cell from a database value; strings are cut to the field's size so that
// a row written by other software never breaks the packet.
Value CellOf(const QVariant& v, const TFieldDef& def)
{
    if (v.isNull())
        return {};
    if (def.DataType == TFieldType::ftString)
        return Value::FromString(v.toString().left(def.Size));
    return Value::FromNumber(v.toDouble());
}

// Reads every row of a query whose columns are the packet's fields in order.
TDataPacket ReadPacket(QSqlQuery& query, const TFieldDefs& fields)
{
    TDataPacket packet;
    packet.Fields = fields;
    while (query.next()) {
        TRowValues row;
        row.reserve(static_cast<std::size_t>(fields.size()));
        for (int i = 0; i < fields.size(); ++i)
            row.push_back(CellOf(query.value(i), fields[i]));
        packet.Rows.push_back(std::make_shared<const TRowValues>(std::move(row)));
    }
    TStorage::Done(query);
    return packet;
}

TDataPacket EmptyPacket(const TFieldDefs& fields)
{
    TDataPacket packet;
    packet.Fields = fields;
    return packet;
}

QString JsonArrayText(const QStringList& items)
{
    return EncodeSelection(items);
}

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
    QString Sql() const { return Conditions.join(QStringLiteral(" AND ")); }
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
            QStringLiteral("Indicador de todos os %1 inválido: \"%2\"; use \"T\" ou vazio.")
                .arg(QString::fromUtf8(what), all));
    return Decode(list, what);
}

// Adds the condition of one selection on a key column; false when the
// selection picks nothing, so that the caller can answer at once.
bool AddSelection(TWhere& where, TStorage& storage, const TSelection& selection,
                  const QString& column)
{
    if (selection.IsNone())
        return false;
    if (selection.IsAll())
        return true;
    where.Add(column + QStringLiteral(" IN (") + storage.JsonStrings() + u')',
              {JsonArrayText(selection.Keys)});
    return true;
}

bool AddProposalSelection(TWhere& where, TStorage& storage, const TSelection& selection,
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
                QStringLiteral(
                    "Chave de proposta inválida: \"%1\"; esperava NRPROPOSFAS|NRVERPROPFAS.")
                    .arg(key));
        pairs << EncodeSelection({proposal, version});
    }
    where.Add(QStringLiteral("(%1.NRPROPOSFAS, %1.NRVERPROPFAS) IN (").arg(alias) +
                  storage.JsonPairs() + u')',
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
        return {QStringLiteral("P"), QStringLiteral("A"), QStringLiteral("R"), QStringLiteral("N")};
    QStringList statuses;
    if (code.size() % 2 != 0)
        throw EInvalidArgument(
            QStringLiteral("Código de situação da CHT inválido: \"%1\"; use \"T\", vazio ou "
                           "partes \"_P\", \"_R\", \"_A\", \"_N\".")
                .arg(code));
    for (int i = 0; i < code.size(); i += 2) {
        const QChar letter = code[i + 1];
        if (code[i] != u'_' ||
            !(letter == u'P' || letter == u'A' || letter == u'R' || letter == u'N'))
            throw EInvalidArgument(
                QStringLiteral("Código de situação da CHT inválido: \"%1\"; use \"T\", vazio ou "
                               "partes \"_P\", \"_R\", \"_A\", \"_N\".")
                    .arg(code));
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
            QStringLiteral("Código de situação da CSA inválido: \"%1\"; use \"S\", \"C\" ou \"T\".")
                .arg(csaCode));
    }
    return s;
}

QString Placeholders(int count)
{
    QStringList marks;
    for (int i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

QVariantList ToVariants(const QStringList& items)
{
    QVariantList values;
    for (const QString& s : items)
        values << s;
    return values;
}

// The situation condition on the CSA of alias A.
void AddSituation(TWhere& where, const TSituation& s)
{
    const QString inCht =
        QStringLiteral("EXISTS (SELECT 1 FROM CHT H WHERE H.NRSEQUCHT = A.NRSEQUCHT AND "
                       "H.IDSTATUSCHT IN (%1))")
            .arg(Placeholders(static_cast<int>(s.Statuses.size())));
    if (s.WithoutCht && !s.Statuses.isEmpty())
        where.Add(QStringLiteral("(A.NRSEQUCHT IS NULL OR ") + inCht + u')',
                  ToVariants(s.Statuses));
    else if (s.WithoutCht)
        where.Add(QStringLiteral("A.NRSEQUCHT IS NULL"));
    else
        where.Add(inCht, ToVariants(s.Statuses));
}

QVariant NullIfEmpty(const QString& s)
{
    return s.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(s);
}

QString StoredText(const QVariant& v)
{
    return v.isNull() ? QString() : v.toString();
}

// Whole thousandths of an hour, truncated, as the screens compare them.
long long Thousandths(double hours)
{
    return static_cast<long long>(static_cast<long double>(hours) * 1000.0L);
}

QString ChtNumber(long long n)
{
    return QStringLiteral("%1").arg(n, 5, 10, QLatin1Char('0'));
}

constexpr long long kMaxChtNumber = 99999; // NRSEQUCHT holds five digits

const QString kServiceJoin = QStringLiteral(
    "JOIN SERVCONT SC ON SC.NRPROPOSFAS = A.NRPROPOSFAS AND SC.NRVERPROPFAS = A.NRVERPROPFAS AND "
    "SC.NRSERVCONT = A.NRSERVCONT "
    "JOIN PROPOSTA P ON P.NRPROPOSFAS = A.NRPROPOSFAS AND P.NRVERPROPFAS = A.NRVERPROPFAS ");

} // namespace

QString ProposalKey(const QString& proposal, const QString& version)
{
    return proposal + u'|' + version;
}

bool SplitProposalKey(const QString& key, QString& proposal, QString& version)
{
    const qsizetype bar = key.lastIndexOf(u'|');
    if (bar < 0)
        return false;
    proposal = key.left(bar);
    version = key.mid(bar + 1);
    return true;
}

double NowOle()
{
    const QDateTime now = QDateTime::currentDateTime();
    return DateToOle(now.date()) + now.time().msecsSinceStartOfDay() / 86400000.0;
}

const TFieldDefs& TApprovalService::ServPrestFields()
{
    static const TFieldDefs fields = {
        Str("CDCLIENTE", 21),        Str("NMFANTCLIE", 50),  Str("NRPROPOSTA", 23),
        Str("DSREFEPROPOSFAS", 100), Str("NRPROPOSFAS", 20), Str("NRVERPROPFAS", 2),
        Str("CDTIPOSERV", 3),        Str("NMTIPOSERV", 80),  Num("QTSERVCONT"),
        Str("DSLOCALCONT", 250),     Str("NRSERVCONT", 3),   Str("IDTIPOCOBRCONT", 1),
        Num("VRHORACLIE"),           Num("VRDEHORACLIE")};
    return fields;
}

const TFieldDefs& TApprovalService::PropFields()
{
    static const TFieldDefs fields = {Str("IDMARCADO", 1),    Str("NRINSJURCLIE", 20),
                                      Str("CDCLIENTE", 21),   Str("NRPROPOSFAS", 20),
                                      Str("NRVERPROPFAS", 2), Str("IDTPIJURCLIE", 1),
                                      Str("CDCHAVE", 42)};
    return fields;
}

const TFieldDefs& TApprovalService::FuncFields()
{
    static const TFieldDefs fields = {Str("NMFUNC", 40), Str("CDFUNC", 10), Str("CDEMPRESA", 2)};
    return fields;
}

const TFieldDefs& TApprovalService::ChtFields()
{
    static const TFieldDefs fields = {
        Str("NRSEQUCHT", 5),      Str("DSREFECHT", 100), Date("DTINCLCHT"),
        Str("CDOPERINCL", 12),    Str("NMOPERADOR", 50), Num("QTSERVCONT"),
        Str("IDTIPOCOBRCONT", 1), Num("QTHRTRAB"),       Str("IDSTATUSCHT", 1)};
    return fields;
}

const TFieldDefs& TApprovalService::CsaFields()
{
    return CsaRecordFields();
}

TQueryText TApprovalService::ServPrestQuery(TDay start, TDay end, const QString& clients,
                                            const QString& employees, const QString& proposals,
                                            const QString& csaSituation,
                                            const QString& chtSituation)
{
    const TSelection clientSel = Decode(clients, "clientes");
    const TSelection employeeSel = Decode(employees, "funcionários");
    const TSelection proposalSel = Decode(proposals, "propostas");
    const TSituation situation = ParseSituation(csaSituation, chtSituation);
    if (situation.MatchesNothing())
        return TQueryText::Nothing();

    TWhere outer;
    if (!AddSelection(outer, m_storage, clientSel, QStringLiteral("P.CDCLIENTE")) ||
        !AddProposalSelection(outer, m_storage, proposalSel, QStringLiteral("SC")))
        return TQueryText::Nothing();
    TWhere inner;
    inner.Add(QStringLiteral("A.NRPROPOSFAS = SC.NRPROPOSFAS AND A.NRVERPROPFAS = SC.NRVERPROPFAS "
                             "AND A.NRSERVCONT = SC.NRSERVCONT"));
    inner.Add(QStringLiteral("A.DTSERVPREST BETWEEN ? AND ?"), {start, end});
    if (!AddSelection(inner, m_storage, employeeSel, QStringLiteral("A.CDFUNC")))
        return TQueryText::Nothing();
    AddSituation(inner, situation);
    outer.Add(QStringLiteral("EXISTS (SELECT 1 FROM CSA A WHERE ") + inner.Sql() + u')',
              inner.Values);

    const QString sql =
        QStringLiteral(
            "SELECT P.CDCLIENTE, C.NMFANTCLIE, P.NRPROPOSTA, P.DSREFEPROPOSFAS, SC.NRPROPOSFAS, "
            "SC.NRVERPROPFAS, SC.CDTIPOSERV, T.NMTIPOSERV, SC.QTSERVCONT, SC.DSLOCALCONT, "
            "SC.NRSERVCONT, SC.IDTIPOCOBRCONT, SC.VRHORACLIE, SC.VRDEHORACLIE "
            "FROM SERVCONT SC "
            "JOIN PROPOSTA P ON P.NRPROPOSFAS = SC.NRPROPOSFAS AND P.NRVERPROPFAS = "
            "SC.NRVERPROPFAS "
            "JOIN CLIENTE C ON C.CDCLIENTE = P.CDCLIENTE "
            "JOIN TIPOSERV T ON T.CDTIPOSERV = SC.CDTIPOSERV WHERE ") +
        outer.Sql() +
        QStringLiteral(" ORDER BY C.NMFANTCLIE, P.CDCLIENTE, SC.NRPROPOSFAS, SC.NRVERPROPFAS, "
                       "SC.NRSERVCONT");
    return {sql, outer.Values};
}

TDataPacket TApprovalService::GetServPrest(TDay start, TDay end, const QString& clients,
                                           const QString& employees, const QString& proposals,
                                           const QString& csaSituation, const QString& chtSituation)
{
    const TQueryText query =
        ServPrestQuery(start, end, clients, employees, proposals, csaSituation, chtSituation);
    if (query.MatchesNothing)
        return EmptyPacket(ServPrestFields());
    return ReadPacket(m_storage.Select(query.Sql, query.Values), ServPrestFields());
}

TDataPacket TApprovalService::GetProp(const QString& branch, const QString& clients,
                                      const QString& allClients)
{
    const TSelection clientSel = DecodeWithFlag(clients, allClients, "clientes");
    TWhere where;
    where.Add(QStringLiteral("P.CDFILIAL = ?"), {branch});
    if (!AddSelection(where, m_storage, clientSel, QStringLiteral("P.CDCLIENTE")))
        return EmptyPacket(PropFields());
    const QString sql =
        QStringLiteral("SELECT C.NRINSJURCLIE, P.CDCLIENTE, P.NRPROPOSFAS, P.NRVERPROPFAS, "
                       "C.IDTPIJURCLIE FROM PROPOSTA P JOIN CLIENTE C ON C.CDCLIENTE = "
                       "P.CDCLIENTE WHERE ") +
        where.Sql() + QStringLiteral(" ORDER BY P.CDCLIENTE, P.NRPROPOSFAS, P.NRVERPROPFAS");
    QSqlQuery& q = m_storage.Select(sql, where.Values);
    TDataPacket packet = EmptyPacket(PropFields());
    const TFieldDefs& f = PropFields();
    while (q.next()) {
        const QString proposal = q.value(2).toString();
        const QString version = q.value(3).toString();
        packet.Rows.push_back(std::make_shared<const TRowValues>(
            TRowValues{Value::FromString(u"N"), CellOf(q.value(0), f[1]), CellOf(q.value(1), f[2]),
                       CellOf(q.value(2), f[3]), CellOf(q.value(3), f[4]), CellOf(q.value(4), f[5]),
                       Value::FromString(ProposalKey(proposal, version))}));
    }
    TStorage::Done(q);
    return packet;
}

TQueryText TApprovalService::FuncQuery(TDay start, TDay end, const QString& client,
                                       const QString& activityType, const QString& proposal,
                                       const QString& version, const QString& service,
                                       const QString& allEmployees, const QString& employees,
                                       const QString& csaSituation, const QString& chtSituation)
{
    const TSelection employeeSel = DecodeWithFlag(employees, allEmployees, "funcionários");
    const TSituation situation = ParseSituation(csaSituation, chtSituation);
    if (situation.MatchesNothing())
        return TQueryText::Nothing();
    TWhere where;
    where.Add(QStringLiteral("A.NRPROPOSFAS = ? AND A.NRVERPROPFAS = ? AND A.NRSERVCONT = ?"),
              {proposal, version, service});
    where.Add(QStringLiteral("SC.CDTIPOSERV = ? AND P.CDCLIENTE = ?"), {activityType, client});
    where.Add(QStringLiteral("A.DTSERVPREST BETWEEN ? AND ?"), {start, end});
    if (!AddSelection(where, m_storage, employeeSel, QStringLiteral("A.CDFUNC")))
        return TQueryText::Nothing();
    AddSituation(where, situation);
    const QString sql =
        QStringLiteral("SELECT F.NMFUNC, F.CDFUNC, A.CDEMPRESA FROM CSA A ") + kServiceJoin +
        QStringLiteral("JOIN FUNCIONARIO F ON F.CDFUNC = A.CDFUNC WHERE ") + where.Sql() +
        QStringLiteral(" GROUP BY F.NMFUNC, F.CDFUNC, A.CDEMPRESA "
                       "ORDER BY F.NMFUNC, F.CDFUNC, A.CDEMPRESA");
    return {sql, where.Values};
}

TDataPacket TApprovalService::GetFunc(TDay start, TDay end, const QString& client,
                                      const QString& activityType, const QString& proposal,
                                      const QString& version, const QString& service,
                                      const QString& allEmployees, const QString& employees,
                                      const QString& csaSituation, const QString& chtSituation)
{
    const TQueryText query = FuncQuery(start, end, client, activityType, proposal, version, service,
                                       allEmployees, employees, csaSituation, chtSituation);
    if (query.MatchesNothing)
        return EmptyPacket(FuncFields());
    return ReadPacket(m_storage.Select(query.Sql, query.Values), FuncFields());
}

TQueryText TApprovalService::ChtQuery(const QString& activityType, const QString& proposal,
                                      const QString& version, TDay start, TDay end,
                                      const QString& employee, const QString& company,
                                      const QString& chtSituation)
{
    const QStringList statuses = ParseChtSituation(chtSituation);
    if (statuses.isEmpty())
        return TQueryText::Nothing();
    QVariantList values{activityType, proposal, version, employee, company};
    values << ToVariants(statuses) << start << end;
    const QString sql =
        QStringLiteral(
            "SELECT H.NRSEQUCHT, H.DSREFECHT, H.DTINCLCHT, H.CDOPERINCL, O.NMOPERADOR, "
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
            "ORDER BY H.NRSEQUCHT")
            .arg(Placeholders(static_cast<int>(statuses.size())));
    return {sql, values};
}

TDataPacket TApprovalService::GetCHT(const QString& activityType, const QString& proposal,
                                     const QString& version, TDay start, TDay end,
                                     const QString& employee, const QString& company,
                                     const QString& chtSituation)
{
    const TQueryText query =
        ChtQuery(activityType, proposal, version, start, end, employee, company, chtSituation);
    if (query.MatchesNothing)
        return EmptyPacket(ChtFields());
    return ReadPacket(m_storage.Select(query.Sql, query.Values), ChtFields());
}

TQueryText TApprovalService::CsaQuery(const QString& client, const QString& employee, TDay start,
                                      TDay end, const QString& activityType,
                                      const QString& proposal, const QString& version,
                                      const QString& chtNumber, const QString& flag,
                                      const QString& company)
{
    TWhere where;
    if (flag == u"S") {
        // The whole CHT, whatever the period: its totals must be complete.
        if (chtNumber.isEmpty())
            throw EInvalidArgument(
                QStringLiteral("O número da CHT deve ser informado quando o indicador é \"S\"."));
        where.Add(QStringLiteral("A.NRSEQUCHT = ? AND A.CDFUNC = ?"), {chtNumber, employee});
    } else if (flag == u"N") {
        where.Add(QStringLiteral("A.NRSEQUCHT IS NULL"));
        where.Add(QStringLiteral("A.CDFUNC = ? AND A.CDEMPRESA = ?"), {employee, company});
        where.Add(QStringLiteral("A.NRPROPOSFAS = ? AND A.NRVERPROPFAS = ? AND SC.CDTIPOSERV = ? "
                                 "AND P.CDCLIENTE = ?"),
                  {proposal, version, activityType, client});
        where.Add(QStringLiteral("A.DTSERVPREST BETWEEN ? AND ?"), {start, end});
    } else {
        throw EInvalidArgument(
            QStringLiteral("Indicador de CHT inválido: \"%1\"; use \"S\" ou \"N\".").arg(flag));
    }
    const QString sql =
        QStringLiteral(
            "SELECT A.CDGRPOCOR, A.CDOCORR, OC.DSOCORR, A.CDEMPRESA, A.CDFUNC, P.CDCLIENTE, "
            "A.NRSERVPREST, A.DTSERVPREST, SC.CDTIPOSERV, A.NRAPURFATFAS, A.QTHRAPRCOMIS, "
            "A.QTHRAPROFATU, A.QTHRTRAB, A.NRVERPROPFAS, A.NRPROPOSFAS, A.NRSEQUCHT, "
            "A.NRSERVCONT, A.DTINCLUSAO, A.CDOPERINCL, OP.NMOPERADOR FROM CSA A ") +
        kServiceJoin +
        QStringLiteral("LEFT JOIN OCORRENCIA OC ON OC.CDGRPOCOR = A.CDGRPOCOR AND OC.CDOCORR = "
                       "A.CDOCORR "
                       "LEFT JOIN OPERADOR OP ON OP.CDOPERADOR = A.CDOPERINCL WHERE ") +
        where.Sql() + QStringLiteral(" ORDER BY A.DTSERVPREST");
    return {sql, where.Values};
}

TDataPacket TApprovalService::GetCSA(const QString& client, const QString& employee, TDay start,
                                     TDay end, const QString& activityType, const QString& proposal,
                                     const QString& version, const QString& chtNumber,
                                     const QString& flag, const QString& company)
{
    const TQueryText query = CsaQuery(client, employee, start, end, activityType, proposal, version,
                                      chtNumber, flag, company);
    QSqlQuery& q = m_storage.Select(query.Sql, query.Values);
    const TFieldDefs& f = CsaFields();
    TDataPacket packet = EmptyPacket(f);
    while (q.next()) {
        TRowValues row;
        row.reserve(18);
        for (int i = 0; i < 17; ++i)
            row.push_back(CellOf(q.value(i), f[i]));
        // Who recorded the CSA and when; one blank when nobody is known.
        QString inclusion = QStringLiteral(" ");
        if (!q.value(17).isNull()) {
            const QString who =
                q.value(19).isNull() ? StoredText(q.value(18)) : q.value(19).toString();
            inclusion = FormatDateTime(QStringLiteral("dd/mm/yyyy hh:nn"), q.value(17).toDouble(),
                                       Brazil()) +
                        (who.isEmpty() ? QString() : u' ' + who);
        }
        row.push_back(Value::FromString(inclusion.left(66)));
        packet.Rows.push_back(std::make_shared<const TRowValues>(std::move(row)));
    }
    TStorage::Done(q);
    return packet;
}

void TApprovalService::SetCSA(const TDelta& delta)
{
    // The delta must carry the CSA dataset's fields, by name and type.
    const TFieldDefs& expected = CsaFields();
    QHash<QString, int> index;
    for (int i = 0; i < delta.Fields.size(); ++i)
        index.insert(delta.Fields[i].Name.toUpper(), i);
    for (const TFieldDef& def : expected) {
        const auto it = index.find(def.Name);
        if (it == index.end())
            throw EInvalidArgument(
                QStringLiteral("As alterações não trazem o campo %1 da CSA.").arg(def.Name));
        if (delta.Fields[*it].DataType != def.DataType || delta.Fields[*it].Size != def.Size)
            throw EInvalidArgument(
                QStringLiteral("O campo %1 das alterações tem o tipo ou o tamanho errado.")
                    .arg(def.Name));
    }
    const auto at = [&index](const char* name) {
        return index.value(QString::fromLatin1(name));
    };
    const int iGrp = at("CDGRPOCOR"), iOcorr = at("CDOCORR"), iDsOcorr = at("DSOCORR"),
              iFatu = at("QTHRAPROFATU"), iComis = at("QTHRAPRCOMIS");
    const QList<int> changeable = {iGrp, iOcorr, iDsOcorr, iFatu, iComis};

    TTransaction tx(m_storage, TTransaction::Mode::Write);
    for (const TDeltaRecord& rec : delta.Records) {
        if (rec.Op != TDeltaRecord::Kind::Modify)
            throw ERefusal(QStringLiteral("Não é permitido incluir ou excluir CSAs; somente as "
                                          "aprovações e a ocorrência podem ser alteradas."));
        const auto original = [&](const char* name) -> const Value& {
            return rec.Original[static_cast<std::size_t>(at(name))];
        };
        const Value& dayValue = original("DTSERVPREST");
        if (!dayValue.IsNumber())
            throw EInvalidArgument(QStringLiteral("Uma CSA alterada não tem a data do dia."));
        const TDay day = static_cast<TDay>(std::floor(dayValue.ToNumber()));
        const QString dayText = DayText(day);
        for (const auto& [field, value] : rec.New) {
            if (!changeable.contains(field))
                throw ERefusal(QStringLiteral("CSA do dia %1: o campo %2 não pode ser alterado; "
                                              "somente as aprovações e a ocorrência.")
                                   .arg(dayText, delta.Fields[field].Name));
        }

        const QVariantList key{
            original("NRPROPOSFAS").ToString(), original("NRVERPROPFAS").ToString(),
            original("NRSERVCONT").ToString(), original("CDFUNC").ToString(), day};
        QSqlQuery& q = m_storage.Select(
            QStringLiteral("SELECT A.CDGRPOCOR, A.CDOCORR, A.CDEMPRESA, A.NRSERVPREST, "
                           "A.NRAPURFATFAS, A.QTHRAPRCOMIS, A.QTHRAPROFATU, A.QTHRTRAB, "
                           "A.NRSEQUCHT, P.CDCLIENTE, SC.CDTIPOSERV FROM CSA A ") +
                kServiceJoin +
                QStringLiteral("WHERE A.NRPROPOSFAS = ? AND A.NRVERPROPFAS = ? AND "
                               "A.NRSERVCONT = ? AND A.CDFUNC = ? AND A.DTSERVPREST = ?") +
                m_storage.ForUpdate(QStringLiteral("A")),
            key);
        if (!q.next()) {
            TStorage::Done(q);
            throw ERefusal(QStringLiteral("A CSA do dia %1 não existe mais; recarregue os dados.")
                               .arg(dayText));
        }
        struct
        {
            QString grp, ocorr, company, servPrest, apurFat, cht, client, type;
            QVariant comis, fatu, worked;
        } stored{StoredText(q.value(0)),
                 StoredText(q.value(1)),
                 StoredText(q.value(2)),
                 StoredText(q.value(3)),
                 StoredText(q.value(4)),
                 StoredText(q.value(8)),
                 StoredText(q.value(9)),
                 StoredText(q.value(10)),
                 q.value(5),
                 q.value(6),
                 q.value(7)};
        TStorage::Done(q);

        // No lost update: what the client saw must still be what is stored.
        const auto sameText = [&](const char* name, const QString& now) {
            return original(name).ToString() == now; // null and empty are one
        };
        const auto sameNumber = [&](const char* name, const QVariant& now) {
            const Value& v = original(name);
            if (v.IsNull() || now.isNull())
                return v.IsNull() && now.isNull();
            return std::fabs(v.ToNumber() - now.toDouble()) < 1e-9;
        };
        if (!sameText("CDGRPOCOR", stored.grp) || !sameText("CDOCORR", stored.ocorr) ||
            !sameText("CDEMPRESA", stored.company) || !sameText("NRSERVPREST", stored.servPrest) ||
            !sameText("NRAPURFATFAS", stored.apurFat) || !sameText("NRSEQUCHT", stored.cht) ||
            !sameText("CDCLIENTE", stored.client) || !sameText("CDTIPOSERV", stored.type) ||
            !sameNumber("QTHRAPRCOMIS", stored.comis) || !sameNumber("QTHRAPROFATU", stored.fatu) ||
            !sameNumber("QTHRTRAB", stored.worked))
            throw ERefusal(
                QStringLiteral("A CSA do dia %1 foi alterada por outro usuário depois de "
                               "carregada. Recarregue os dados e refaça a alteração.")
                    .arg(dayText));

        if (!stored.cht.isEmpty()) {
            QSqlQuery& h =
                m_storage.Select(QStringLiteral("SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = ?") +
                                     m_storage.ForShare(),
                                 {stored.cht});
            const QString status = h.next() ? h.value(0).toString() : QString();
            TStorage::Done(h);
            if (status == u"A" || status == u"R")
                throw ERefusal(QStringLiteral("A CSA do dia %1 pertence à CHT %2, que está %3, e "
                                              "não pode ser alterada.")
                                   .arg(dayText, stored.cht,
                                        status == u"A" ? QStringLiteral("aprovada")
                                                       : QStringLiteral("faturada")));
        }

        // The row as it will be: the stored values with the changes on top.
        const double worked = stored.worked.toDouble();
        QVariant fatu = stored.fatu, comis = stored.comis;
        QString grp = stored.grp, ocorr = stored.ocorr;
        for (const auto& [field, value] : rec.New) {
            const QVariant number = value.IsNull() ? QVariant(QMetaType::fromType<double>())
                                                   : QVariant(value.ToNumber());
            if (field == iFatu)
                fatu = number;
            else if (field == iComis)
                comis = number;
            else if (field == iGrp)
                grp = value.ToString().trimmed();
            else if (field == iOcorr)
                ocorr = value.ToString().trimmed();
        }
        for (const QVariant& hours : {fatu, comis})
            if (!hours.isNull() && hours.toDouble() < 0)
                throw ERefusal(
                    QStringLiteral("CSA do dia %1: a quantidade de horas aprovadas não pode ser "
                                   "negativa.")
                        .arg(dayText));
        if (!fatu.isNull() && RoundDec(fatu.toDouble(), 5) > RoundDec(worked, 5))
            throw ERefusal(QStringLiteral("CSA do dia %1: Quantidade de Horas Normais para "
                                          "Faturamento deve ser menor ou igual à Quantidade de "
                                          "Horas Trabalhadas.")
                               .arg(dayText));
        if (!comis.isNull() && RoundDec(comis.toDouble(), 5) > RoundDec(worked, 5))
            throw ERefusal(QStringLiteral("CSA do dia %1: Quantidade de Horas Aprovadas para "
                                          "Comissão deve ser menor ou igual à Quantidade de Horas "
                                          "Trabalhadas.")
                               .arg(dayText));
        if (grp.isEmpty() != ocorr.isEmpty())
            throw ERefusal(QStringLiteral("CSA do dia %1: a ocorrência deve ter grupo e código.")
                               .arg(dayText));
        if (!ocorr.isEmpty()) {
            QSqlQuery& o = m_storage.Select(
                QStringLiteral("SELECT 1 FROM OCORRENCIA WHERE CDGRPOCOR = ? AND CDOCORR = ?"),
                {grp, ocorr});
            const bool known = o.next();
            TStorage::Done(o);
            if (!known)
                throw ERefusal(QStringLiteral("CSA do dia %1: a ocorrência %2/%3 não existe.")
                                   .arg(dayText, grp, ocorr));
        }
        if (ocorr.isEmpty() && !comis.isNull() &&
            Thousandths(worked) != Thousandths(comis.toDouble()))
            throw ERefusal(QStringLiteral("CSA do dia %1: Ocorrência deve ser informada, pois as "
                                          "horas aprovadas para comissão diferem das horas "
                                          "trabalhadas.")
                               .arg(dayText));

        QVariantList values{fatu, comis, NullIfEmpty(grp), NullIfEmpty(ocorr)};
        values << key;
        m_storage.Exec(QStringLiteral("UPDATE CSA SET QTHRAPROFATU = ?, QTHRAPRCOMIS = ?, "
                                      "CDGRPOCOR = ?, CDOCORR = ? WHERE NRPROPOSFAS = ? AND "
                                      "NRVERPROPFAS = ? AND NRSERVCONT = ? AND CDFUNC = ? AND "
                                      "DTSERVPREST = ?"),
                       values);
    }
    tx.Commit();
}

int TApprovalService::SetCHT(TDay start, TDay end, const QString& operatorCode,
                             const QString& clients, const QString& allClients,
                             const QString& employees, const QString& allEmployees,
                             const QString& proposals, const QString& allProposals)
{
    const TSelection clientSel = DecodeWithFlag(clients, allClients, "clientes");
    const TSelection employeeSel = DecodeWithFlag(employees, allEmployees, "funcionários");
    const TSelection proposalSel = DecodeWithFlag(proposals, allProposals, "propostas");

    TWhere where;
    where.Add(QStringLiteral("A.NRSEQUCHT IS NULL"));
    where.Add(QStringLiteral("A.DTSERVPREST BETWEEN ? AND ?"), {start, end});
    if (!AddSelection(where, m_storage, clientSel, QStringLiteral("P.CDCLIENTE")) ||
        !AddSelection(where, m_storage, employeeSel, QStringLiteral("A.CDFUNC")) ||
        !AddProposalSelection(where, m_storage, proposalSel, QStringLiteral("A")))
        return 0;

    TTransaction tx(m_storage, TTransaction::Mode::Write);
    m_storage.LockGeneration();

    QSqlQuery& op = m_storage.Select(
        QStringLiteral("SELECT IDOPERATIVO FROM OPERADOR WHERE CDOPERADOR = ?"), {operatorCode});
    const bool active = op.next() && op.value(0).toString() == u"A";
    TStorage::Done(op);
    if (!active)
        throw ERefusal(QStringLiteral("O operador \"%1\" não está cadastrado ou não está ativo.")
                           .arg(operatorCode));

    struct TGroup
    {
        QVariantList Key; // proposal, version, service, employee, company
        TDay First = 0, Last = 0;
        QString TypeName;
        qint64 Count = 0;
    };
    std::vector<TGroup> groups;
    {
        const QString sql =
            QStringLiteral("SELECT A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, "
                           "A.CDEMPRESA, MIN(A.DTSERVPREST), MAX(A.DTSERVPREST), "
                           "MIN(T.NMTIPOSERV), COUNT(*) FROM CSA A ") +
            kServiceJoin +
            QStringLiteral("JOIN TIPOSERV T ON T.CDTIPOSERV = SC.CDTIPOSERV WHERE ") + where.Sql() +
            QStringLiteral(" GROUP BY A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, "
                           "A.CDEMPRESA ORDER BY A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, "
                           "A.CDFUNC, A.CDEMPRESA");
        QSqlQuery& q = m_storage.Select(sql, where.Values);
        while (q.next()) {
            TGroup g;
            g.Key = {q.value(0), q.value(1), q.value(2), q.value(3), q.value(4)};
            g.First = q.value(5).toLongLong();
            g.Last = q.value(6).toLongLong();
            g.TypeName = q.value(7).toString();
            g.Count = q.value(8).toLongLong();
            groups.push_back(std::move(g));
        }
        TStorage::Done(q);
    }
    if (groups.empty()) {
        tx.Commit();
        return 0;
    }

    const auto count = static_cast<long long>(groups.size());
    m_storage.Exec(QStringLiteral("UPDATE APH_SEQUENCIA SET NRVALOR = NRVALOR + ? WHERE "
                                  "NMSEQUENCIA = 'CHT'"),
                   {count});
    QSqlQuery& s = m_storage.Select(
        QStringLiteral("SELECT NRVALOR FROM APH_SEQUENCIA WHERE NMSEQUENCIA = 'CHT'"));
    const long long last = s.next() ? s.value(0).toLongLong() : 0;
    TStorage::Done(s);
    if (last > kMaxChtNumber)
        throw ERefusal(QStringLiteral("A numeração de CHTs se esgotaria (limite %1); nenhuma CHT "
                                      "foi gerada.")
                           .arg(kMaxChtNumber));
    const long long first = last - count + 1;

    const double now = NowOle();
    constexpr int kColumns = 10;
    constexpr int kBatch = 200;
    for (std::size_t from = 0; from < groups.size(); from += kBatch) {
        const std::size_t to = std::min(groups.size(), from + kBatch);
        QStringList rows;
        QVariantList values;
        for (std::size_t i = from; i < to; ++i) {
            const TGroup& g = groups[i];
            rows << u'(' + Placeholders(kColumns) + u')';
            const QString description = QStringLiteral("CHT de %1 a %2 - %3")
                                            .arg(DayText(g.First), DayText(g.Last), g.TypeName);
            values << ChtNumber(first + static_cast<long long>(i)) << description.left(100) << now
                   << operatorCode << QStringLiteral("P") << g.Key;
        }
        m_storage.Exec(QStringLiteral("INSERT INTO CHT (NRSEQUCHT, DSREFECHT, DTINCLCHT, "
                                      "CDOPERINCL, IDSTATUSCHT, NRPROPOSFAS, NRVERPROPFAS, "
                                      "NRSERVCONT, CDFUNC, CDEMPRESA) VALUES ") +
                           rows.join(u','),
                       values);
    }

    // Every CSA of a new CHT joins it; empty approvals take the hours worked.
    const int updated = m_storage.Exec(
        QStringLiteral("UPDATE CSA SET NRSEQUCHT = H.NRSEQUCHT, "
                       "QTHRAPROFATU = COALESCE(CSA.QTHRAPROFATU, CSA.QTHRTRAB), "
                       "QTHRAPRCOMIS = COALESCE(CSA.QTHRAPRCOMIS, CSA.QTHRTRAB) "
                       "FROM CHT H WHERE H.NRSEQUCHT BETWEEN ? AND ? "
                       "AND H.NRPROPOSFAS = CSA.NRPROPOSFAS AND H.NRVERPROPFAS = CSA.NRVERPROPFAS "
                       "AND H.NRSERVCONT = CSA.NRSERVCONT AND H.CDFUNC = CSA.CDFUNC "
                       "AND H.CDEMPRESA = CSA.CDEMPRESA "
                       "AND CSA.NRSEQUCHT IS NULL AND CSA.DTSERVPREST BETWEEN ? AND ?"),
        {ChtNumber(first), ChtNumber(last), start, end});
    qint64 expected = 0;
    for (const TGroup& g : groups)
        expected += g.Count;
    if (updated != expected)
        throw EStorageError(QStringLiteral("As CSAs mudaram durante a geração das CHTs; nada foi "
                                           "gerado. Tente novamente."));
    tx.Commit();
    return static_cast<int>(count);
}

void TApprovalService::Audit(const QString& operatorCode, const QString& connectionOperator,
                             const QString& event)
{
    m_storage.Exec(
        QStringLiteral("INSERT INTO APH_AUDITORIA (DTEVENTO, CDOPERADOR, "
                       "CDOPERCONEXAO, DSEVENTO) VALUES (?, ?, ?, ?)"),
        {NowOle(), operatorCode.left(12), NullIfEmpty(connectionOperator), event.left(200)});
}

} // namespace aph

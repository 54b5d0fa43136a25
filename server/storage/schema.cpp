#include "server/storage/schema.h"

#include "server/common/clock.h"
#include "server/storage/pendingdays.h"
#include "server/storage/storage.h"

#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Column names are the screens' field names. Dates of CSA days are whole
// OLE Automation day numbers (INTEGER); date-times are OLE numbers with the
// time of day as fraction (DOUBLE PRECISION). Tables are created after the
// tables they reference.

// The system's parameters and the people: clients, employees, operators.
QStringList ParametersAndPeople()
{
    return {
        u"CREATE TABLE PARAMGERAL (IDPARAMGERAL INTEGER PRIMARY KEY, "
        "NMSISTEMA VARCHAR(50) NOT NULL)"_s,
        u"INSERT INTO PARAMGERAL (IDPARAMGERAL, NMSISTEMA) VALUES (1, "
        "'Apuração de horas')"_s,
        u"CREATE TABLE CLIENTE ("
        "CDCLIENTE VARCHAR(21) NOT NULL PRIMARY KEY, "
        "NMFANTCLIE VARCHAR(50) NOT NULL, "
        "NMRAZSOCCLIE VARCHAR(50), "
        "NRINSJURCLIE VARCHAR(20), "
        "IDTPIJURCLIE VARCHAR(1))"_s,
        u"CREATE TABLE FUNCIONARIO ("
        "CDFUNC VARCHAR(10) NOT NULL PRIMARY KEY, "
        "NMFUNC VARCHAR(40) NOT NULL, "
        "CDEMPRESA VARCHAR(2) NOT NULL)"_s,
        u"CREATE TABLE OPERADOR ("
        "CDOPERADOR VARCHAR(12) NOT NULL PRIMARY KEY, "
        "NMOPERADOR VARCHAR(50) NOT NULL, "
        "CDFUNC VARCHAR(10) REFERENCES FUNCIONARIO (CDFUNC), "
        "IDOPERATIVO VARCHAR(1) NOT NULL CHECK (IDOPERATIVO IN ('A', 'I')))"_s,
    };
}

// The server's own tables: login tokens, the audit trail, the CHT numbering.
QStringList ServerTables()
{
    return {
        // Only the SHA-256 of a token is kept; the token itself is shown once.
        u"CREATE TABLE APH_TOKEN ("
        "DSHASH VARCHAR(64) NOT NULL PRIMARY KEY, "
        "CDOPERADOR VARCHAR(12) NOT NULL REFERENCES OPERADOR (CDOPERADOR), "
        "DTCRIACAO DOUBLE PRECISION NOT NULL)"_s,
        u"CREATE INDEX IX_APH_TOKEN_OPERADOR ON APH_TOKEN (CDOPERADOR)"_s,
        AuditTableSql(),
        u"CREATE TABLE APH_SEQUENCIA (NMSEQUENCIA VARCHAR(20) NOT NULL PRIMARY KEY, "
        "NRVALOR INTEGER NOT NULL)"_s,
        u"INSERT INTO APH_SEQUENCIA (NMSEQUENCIA, NRVALOR) VALUES ('CHT', 0)"_s,
    };
}

// The catalogues the CSAs name: occurrences and activity types.
QStringList Catalogues()
{
    return {
        u"CREATE TABLE OCORRENCIA ("
        "CDGRPOCOR VARCHAR(2) NOT NULL, "
        "CDOCORR VARCHAR(2) NOT NULL, "
        "DSOCORR VARCHAR(40) NOT NULL, "
        "PRIMARY KEY (CDGRPOCOR, CDOCORR))"_s,
        u"CREATE TABLE TIPOSERV ("
        "CDTIPOSERV VARCHAR(3) NOT NULL PRIMARY KEY, "
        "NMTIPOSERV VARCHAR(80) NOT NULL)"_s,
    };
}

// Proposals and their contracted services.
QStringList Contracts()
{
    return {
        // The proposal key for the pickers is NRPROPOSFAS "|" NRVERPROPFAS,
        // so a version never holds "|".
        u"CREATE TABLE PROPOSTA ("
        "NRPROPOSFAS VARCHAR(20) NOT NULL, "
        "NRVERPROPFAS VARCHAR(2) NOT NULL CHECK (NRVERPROPFAS NOT LIKE '%|%'), "
        "CDCLIENTE VARCHAR(21) NOT NULL REFERENCES CLIENTE (CDCLIENTE), "
        "NRPROPOSTA VARCHAR(23) NOT NULL, "
        "DSREFEPROPOSFAS VARCHAR(100), "
        "CDFILIAL VARCHAR(4) NOT NULL, "
        "PRIMARY KEY (NRPROPOSFAS, NRVERPROPFAS))"_s,
        u"CREATE INDEX IX_PROPOSTA_CLIENTE ON PROPOSTA (CDCLIENTE)"_s,
        u"CREATE INDEX IX_PROPOSTA_FILIAL ON PROPOSTA (CDFILIAL, CDCLIENTE)"_s,
        // The screens name a contracted service by proposal, version and
        // activity type when they ask for CHTs and CSAs, so that triple is
        // unique.
        u"CREATE TABLE SERVCONT ("
        "NRPROPOSFAS VARCHAR(20) NOT NULL, "
        "NRVERPROPFAS VARCHAR(2) NOT NULL, "
        "NRSERVCONT VARCHAR(3) NOT NULL, "
        "CDTIPOSERV VARCHAR(3) NOT NULL REFERENCES TIPOSERV (CDTIPOSERV), "
        "QTSERVCONT DOUBLE PRECISION, "
        "DSLOCALCONT VARCHAR(250), "
        "IDTIPOCOBRCONT VARCHAR(1) NOT NULL CHECK (IDTIPOCOBRCONT IN ('H', 'F', "
        "'P')), "
        "VRHORACLIE DOUBLE PRECISION, "
        "VRDEHORACLIE DOUBLE PRECISION, "
        "PRIMARY KEY (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT), "
        "UNIQUE (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV), "
        "FOREIGN KEY (NRPROPOSFAS, NRVERPROPFAS) REFERENCES PROPOSTA "
        "(NRPROPOSFAS, NRVERPROPFAS))"_s,
    };
}

// CHTs and the CSAs they bill.
QStringList Billing()
{
    return {
        u"CREATE TABLE CHT ("
        "NRSEQUCHT VARCHAR(5) NOT NULL PRIMARY KEY, "
        "DSREFECHT VARCHAR(100) NOT NULL, "
        "DTINCLCHT DOUBLE PRECISION NOT NULL, "
        "CDOPERINCL VARCHAR(12) NOT NULL REFERENCES OPERADOR (CDOPERADOR), "
        "IDSTATUSCHT VARCHAR(1) NOT NULL CHECK (IDSTATUSCHT IN ('P', 'A', 'R', "
        "'N')), "
        "NRPROPOSFAS VARCHAR(20) NOT NULL, "
        "NRVERPROPFAS VARCHAR(2) NOT NULL, "
        "NRSERVCONT VARCHAR(3) NOT NULL, "
        "CDFUNC VARCHAR(10) NOT NULL REFERENCES FUNCIONARIO (CDFUNC), "
        "CDEMPRESA VARCHAR(2) NOT NULL, "
        "UNIQUE (NRSEQUCHT, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC), "
        "FOREIGN KEY (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT) REFERENCES SERVCONT "
        "(NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT))"_s,
        u"CREATE INDEX IX_CHT_SERVICO ON CHT (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, "
        "CDFUNC)"_s,
        // One CSA per employee, contracted service and day (the primary
        // key). A CSA names at most one CHT (one column), and only a CHT of
        // its own service and employee (the composite foreign key).
        u"CREATE TABLE CSA ("
        "NRPROPOSFAS VARCHAR(20) NOT NULL, "
        "NRVERPROPFAS VARCHAR(2) NOT NULL, "
        "NRSERVCONT VARCHAR(3) NOT NULL, "
        "CDFUNC VARCHAR(10) NOT NULL REFERENCES FUNCIONARIO (CDFUNC), "
        "DTSERVPREST INTEGER NOT NULL, "
        "CDEMPRESA VARCHAR(2) NOT NULL, "
        "NRSERVPREST VARCHAR(5), "
        "NRAPURFATFAS VARCHAR(10), "
        "QTHRTRAB DOUBLE PRECISION NOT NULL CHECK (QTHRTRAB >= 0), "
        "QTHRAPROFATU DOUBLE PRECISION CHECK (QTHRAPROFATU IS NULL OR (QTHRAPROFATU >= 0 AND "
        "QTHRAPROFATU <= QTHRTRAB + 0.00001)), "
        "QTHRAPRCOMIS DOUBLE PRECISION CHECK (QTHRAPRCOMIS IS NULL OR (QTHRAPRCOMIS >= 0 AND "
        "QTHRAPRCOMIS <= QTHRTRAB + 0.00001)), "
        "CDGRPOCOR VARCHAR(2), "
        "CDOCORR VARCHAR(2), "
        "NRSEQUCHT VARCHAR(5), "
        "CDOPERINCL VARCHAR(12), "
        "DTINCLUSAO DOUBLE PRECISION, "
        "PRIMARY KEY (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, DTSERVPREST), "
        "FOREIGN KEY (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT) REFERENCES SERVCONT "
        "(NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT), "
        "FOREIGN KEY (CDGRPOCOR, CDOCORR) REFERENCES OCORRENCIA (CDGRPOCOR, CDOCORR), "
        "FOREIGN KEY (NRSEQUCHT, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC) REFERENCES "
        "CHT (NRSEQUCHT, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC) DEFERRABLE INITIALLY "
        "DEFERRED)"_s,
        // Services with CSAs in a period (GetServPrest, GetFunc): the index
        // answers from itself, without reading the table.
        u"CREATE INDEX IX_CSA_SERVICO_DIA ON CSA (NRPROPOSFAS, NRVERPROPFAS, "
        "NRSERVCONT, DTSERVPREST, CDFUNC, NRSEQUCHT)"_s,
        u"CREATE INDEX IX_CSA_DIA ON CSA (DTSERVPREST)"_s,
        u"CREATE INDEX IX_CSA_CHT ON CSA (NRSEQUCHT)"_s,
        u"CREATE INDEX IX_CSA_FUNC ON CSA (CDFUNC, DTSERVPREST)"_s,
    };
}

// The schema version, kept by MigrateSchema.
QStringList VersionTable()
{
    return {
        u"CREATE TABLE APH_VERSAO (NRVERSAO INTEGER NOT NULL)"_s,
        u"INSERT INTO APH_VERSAO (NRVERSAO) VALUES (0)"_s,
    };
}

QStringList Version1()
{
    return ParametersAndPeople() + ServerTables() + Catalogues() + Contracts() + Billing() +
           VersionTable();
}

// The request keys of the writes applied (SetCSA, SetCHT), each with a
// digest of the request it named and the reply it got, so that a client
// repeating a write whose reply it lost gets that reply and the write is
// not applied twice. A row is written in the write's own transaction.
QStringList Version2()
{
    return {
        u"CREATE TABLE APH_REQUISICAO ("
        "DSCHAVE VARCHAR(64) NOT NULL PRIMARY KEY, "
        "NMMETODO VARCHAR(20) NOT NULL, "
        "DSRESUMO VARCHAR(64) NOT NULL, "
        "CDOPERADOR VARCHAR(12), "
        "DTREQUISICAO DOUBLE PRECISION NOT NULL, "
        "DSRESPOSTA TEXT NOT NULL)"_s,
    };
}

// Tokens with a lifetime and a last use, named by their first digits. A
// token issued before gets the lifetime tokens were issued with when this
// upgrade was written, from the upgrade on, so that nobody is locked out by
// it. A fact of this upgrade: a later change of the default lifetime does
// not change what the upgrade did.
constexpr int kUpgradedTokenDays = 90;

QStringList Version3()
{
    return {
        u"ALTER TABLE APH_TOKEN ADD COLUMN DTEXPIRA DOUBLE PRECISION"_s,
        u"ALTER TABLE APH_TOKEN ADD COLUMN DTULTIMOUSO DOUBLE PRECISION"_s,
        u"ALTER TABLE APH_TOKEN ADD COLUMN DSPREFIXO VARCHAR(8)"_s,
        u"UPDATE APH_TOKEN SET DTEXPIRA = %1 WHERE DTEXPIRA IS NULL"_s.arg(
            NowOle() + kUpgradedTokenDays, 0, 'f', 6),
    };
}

// The history of each CSA: one row per event, appended in the transaction
// of the change and never changed afterwards. IDEVENTO: 'A' approvals or
// occurrence changed (SetCSA), 'G' put into a new CHT (SetCHT), 'S' its
// CHT's situation changed. The _ANT columns hold what was before. The row
// number orders events of the same instant.
QStringList Version4(const TStorage& storage)
{
    const QString rowNumber = storage.IsPostgres()
                                  ? u"BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"_s
                                  : u"INTEGER PRIMARY KEY"_s;
    return {
        u"CREATE TABLE APH_HISTCSA ("
        "NRHISTCSA %1, "
        "NRPROPOSFAS VARCHAR(20) NOT NULL, "
        "NRVERPROPFAS VARCHAR(2) NOT NULL, "
        "NRSERVCONT VARCHAR(3) NOT NULL, "
        "CDFUNC VARCHAR(10) NOT NULL, "
        "DTSERVPREST INTEGER NOT NULL, "
        "DTEVENTO DOUBLE PRECISION NOT NULL, "
        "CDOPERADOR VARCHAR(12) NOT NULL, "
        "IDEVENTO VARCHAR(1) NOT NULL CHECK (IDEVENTO IN ('A', 'G', 'S')), "
        "QTHRAPROFATU_ANT DOUBLE PRECISION, "
        "QTHRAPROFATU DOUBLE PRECISION, "
        "QTHRAPRCOMIS_ANT DOUBLE PRECISION, "
        "QTHRAPRCOMIS DOUBLE PRECISION, "
        "CDGRPOCOR_ANT VARCHAR(2), "
        "CDOCORR_ANT VARCHAR(2), "
        "CDGRPOCOR VARCHAR(2), "
        "CDOCORR VARCHAR(2), "
        "NRSEQUCHT VARCHAR(5), "
        "IDSTATUSCHT_ANT VARCHAR(1), "
        "IDSTATUSCHT VARCHAR(1), "
        "DSCHAVE VARCHAR(64))"_s.arg(rowNumber),
        u"CREATE INDEX IX_APH_HISTCSA_CSA ON APH_HISTCSA (NRPROPOSFAS, NRVERPROPFAS, "
        "NRSERVCONT, CDFUNC, DTSERVPREST)"_s,
    };
}

// The generation's history kept by CHT: one row per generated CHT (when,
// who, the request key, and NRHISTCSA, the last event row number then, to
// order it among the day's other events) and a narrow row per CSA it took
// (the approvals before and as filled, the occurrence), keyed by CHT and
// day so that a generation only ever appends. Per-CSA rows the size of a
// whole event, and their index by CSA, made the history most of the
// generation's writes. The events table keeps every other event and the
// generation rows written before; the view APH_HISTCSA shows both as one
// row per CSA and event, as before.
QStringList Version5(const TStorage& storage)
{
    return {
        u"ALTER TABLE APH_HISTCSA RENAME TO APH_HISTEVENTO"_s,
        u"CREATE TABLE APH_HISTGERACAO ("
        "NRSEQUCHT VARCHAR(5) NOT NULL PRIMARY KEY, "
        "NRHISTCSA BIGINT NOT NULL, "
        "DTEVENTO DOUBLE PRECISION NOT NULL, "
        "CDOPERADOR VARCHAR(12) NOT NULL, "
        "DSCHAVE VARCHAR(64))"_s,
        u"CREATE TABLE APH_HISTGERCSA ("
        "NRSEQUCHT VARCHAR(5) NOT NULL, "
        "DTSERVPREST INTEGER NOT NULL, "
        "QTHRAPROFATU_ANT DOUBLE PRECISION, "
        "QTHRAPROFATU DOUBLE PRECISION, "
        "QTHRAPRCOMIS_ANT DOUBLE PRECISION, "
        "QTHRAPRCOMIS DOUBLE PRECISION, "
        "CDGRPOCOR VARCHAR(2), "
        "CDOCORR VARCHAR(2), "
        "PRIMARY KEY (NRSEQUCHT, DTSERVPREST))"_s +
            (storage.IsPostgres() ? QString() : u" WITHOUT ROWID"_s),
        u"CREATE VIEW APH_HISTCSA AS "
        "SELECT NRHISTCSA, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, DTSERVPREST, "
        "DTEVENTO, CDOPERADOR, IDEVENTO, QTHRAPROFATU_ANT, QTHRAPROFATU, QTHRAPRCOMIS_ANT, "
        "QTHRAPRCOMIS, CDGRPOCOR_ANT, CDOCORR_ANT, CDGRPOCOR, CDOCORR, NRSEQUCHT, "
        "IDSTATUSCHT_ANT, IDSTATUSCHT, DSCHAVE FROM APH_HISTEVENTO "
        "UNION ALL "
        "SELECT G.NRHISTCSA, H.NRPROPOSFAS, H.NRVERPROPFAS, H.NRSERVCONT, H.CDFUNC, "
        "D.DTSERVPREST, G.DTEVENTO, G.CDOPERADOR, CAST('G' AS VARCHAR(1)), "
        "D.QTHRAPROFATU_ANT, D.QTHRAPROFATU, D.QTHRAPRCOMIS_ANT, D.QTHRAPRCOMIS, "
        "D.CDGRPOCOR, D.CDOCORR, D.CDGRPOCOR, D.CDOCORR, D.NRSEQUCHT, "
        "CAST(NULL AS VARCHAR(1)), CAST('P' AS VARCHAR(1)), G.DSCHAVE "
        "FROM APH_HISTGERCSA D JOIN APH_HISTGERACAO G ON G.NRSEQUCHT = D.NRSEQUCHT "
        "JOIN CHT H ON H.NRSEQUCHT = D.NRSEQUCHT"_s,
    };
}

// The issuer of the statements handed to clients: the firm's name and
// CNPJ (14 digits), in the one row of the general parameters. Empty until
// set with aph-server emitente.
QStringList Version6()
{
    return {
        u"ALTER TABLE PARAMGERAL ADD COLUMN NMEMITENTE VARCHAR(60)"_s,
        u"ALTER TABLE PARAMGERAL ADD COLUMN NRCNPJEMITENTE VARCHAR(14)"_s,
    };
}

// Who may do what, and a CHT's life after it is generated. Each operator
// holds roles (APH_PAPEL, one row per role); the operators active at the
// upgrade keep what they could do until then: consult, approve days and
// generate CHTs, and nothing more. A CHT keeps the invoice it was billed on
// (one invoice, one CHT), and a situation change keeps its reason and
// invoice in the day's history; the history view shows both, and its CHT
// index finds a CHT's approval stamp at once.
QStringList Version7()
{
    QStringList sql = {
        u"CREATE TABLE APH_PAPEL ("
        "CDOPERADOR VARCHAR(12) NOT NULL REFERENCES OPERADOR (CDOPERADOR), "
        "DSPAPEL VARCHAR(13) NOT NULL CHECK (DSPAPEL IN ('consultar', 'aprovar', 'gerar', "
        "'supervisionar', 'faturar')), "
        "PRIMARY KEY (CDOPERADOR, DSPAPEL))"_s,
    };
    for (const char* role : {"consultar", "aprovar", "gerar"})
        sql << u"INSERT INTO APH_PAPEL (CDOPERADOR, DSPAPEL) SELECT CDOPERADOR, '%1' FROM "
               "OPERADOR WHERE IDOPERATIVO = 'A'"_s.arg(QString::fromLatin1(role));
    sql << u"ALTER TABLE CHT ADD COLUMN NRNOTAFISCAL VARCHAR(20)"_s
        << u"CREATE UNIQUE INDEX UX_CHT_NOTAFISCAL ON CHT (NRNOTAFISCAL)"_s
        << u"ALTER TABLE APH_HISTEVENTO ADD COLUMN DSMOTIVO VARCHAR(200)"_s
        << u"ALTER TABLE APH_HISTEVENTO ADD COLUMN NRNOTAFISCAL VARCHAR(20)"_s
        << u"CREATE INDEX IX_APH_HISTEVENTO_CHT ON APH_HISTEVENTO (NRSEQUCHT, IDEVENTO)"_s
        << u"DROP VIEW APH_HISTCSA"_s
        << u"CREATE VIEW APH_HISTCSA AS "
           "SELECT NRHISTCSA, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, DTSERVPREST, "
           "DTEVENTO, CDOPERADOR, IDEVENTO, QTHRAPROFATU_ANT, QTHRAPROFATU, QTHRAPRCOMIS_ANT, "
           "QTHRAPRCOMIS, CDGRPOCOR_ANT, CDOCORR_ANT, CDGRPOCOR, CDOCORR, NRSEQUCHT, "
           "IDSTATUSCHT_ANT, IDSTATUSCHT, DSCHAVE, DSMOTIVO, NRNOTAFISCAL FROM APH_HISTEVENTO "
           "UNION ALL "
           "SELECT G.NRHISTCSA, H.NRPROPOSFAS, H.NRVERPROPFAS, H.NRSERVCONT, H.CDFUNC, "
           "D.DTSERVPREST, G.DTEVENTO, G.CDOPERADOR, CAST('G' AS VARCHAR(1)), "
           "D.QTHRAPROFATU_ANT, D.QTHRAPROFATU, D.QTHRAPRCOMIS_ANT, D.QTHRAPRCOMIS, "
           "D.CDGRPOCOR, D.CDOCORR, D.CDGRPOCOR, D.CDOCORR, D.NRSEQUCHT, "
           "CAST(NULL AS VARCHAR(1)), CAST('P' AS VARCHAR(1)), G.DSCHAVE, "
           "CAST(NULL AS VARCHAR(200)), CAST(NULL AS VARCHAR(20)) "
           "FROM APH_HISTGERCSA D JOIN APH_HISTGERACAO G ON G.NRSEQUCHT = D.NRSEQUCHT "
           "JOIN CHT H ON H.NRSEQUCHT = D.NRSEQUCHT"_s;
    return sql;
}

// The exceptions list reads what it returns: the days pending on their own
// (overtime without approval, commission without occurrence) in indexes
// that hold only those days, and the days a fixed-value service passes its
// contracted hours in APH_PENDFIXO, filled here from the CSAs there are and
// kept by the writes (see pendingdays.h).
QStringList Version8()
{
    return {
        u"CREATE INDEX IX_CSA_PEND_HORAEXTRA ON CSA ("_s + kPendingIndexColumns + u") WHERE "_s +
            PendingOvertimeCondition(QString()),
        u"CREATE INDEX IX_CSA_PEND_OCORRENCIA ON CSA ("_s + kPendingIndexColumns + u") WHERE "_s +
            PendingOccurrenceCondition(QString()),
        u"CREATE TABLE APH_PENDFIXO ("
        "NRPROPOSFAS VARCHAR(20) NOT NULL, "
        "NRVERPROPFAS VARCHAR(2) NOT NULL, "
        "NRSERVCONT VARCHAR(3) NOT NULL, "
        "CDFUNC VARCHAR(10) NOT NULL, "
        "CDEMPRESA VARCHAR(2) NOT NULL, "
        "NRSEQUCHT VARCHAR(5), "
        "DTPRIMEIRO INTEGER NOT NULL, "
        "DTULTIMO INTEGER NOT NULL, "
        "DTSERVPREST INTEGER)"_s,
        u"CREATE INDEX IX_APH_PENDFIXO_SERVICO ON APH_PENDFIXO (NRPROPOSFAS, NRVERPROPFAS, "
        "NRSERVCONT, CDFUNC, NRSEQUCHT)"_s,
        u"CREATE INDEX IX_APH_PENDFIXO_PRIMEIRO ON APH_PENDFIXO (DTPRIMEIRO)"_s,
        u"INSERT INTO APH_PENDFIXO ("_s + kPendingFixedColumns + u") "_s +
            PendingFixedSelect(QString()),
    };
}

// The view of every event of a day, as Version7 left it, and with the
// client's acceptance of its CHT ('K', on every day of the CHT) and the
// client's contestation of the day ('C', with the comment) read from the
// acceptance links: who (the contact's name and e-mail), when and from
// which address in the reason, by "cliente".
QString HistoryViewWithClient()
{
    const QString client =
        u"CAST('cliente' AS VARCHAR(12)), CAST(%1 AS VARCHAR(1)), CAST(NULL AS DOUBLE PRECISION), "
        "CAST(NULL AS DOUBLE PRECISION), CAST(NULL AS DOUBLE PRECISION), CAST(NULL AS DOUBLE "
        "PRECISION), CAST(NULL AS VARCHAR(2)), CAST(NULL AS VARCHAR(2)), CAST(NULL AS "
        "VARCHAR(2)), CAST(NULL AS VARCHAR(2)), H.NRSEQUCHT, CAST(NULL AS VARCHAR(1)), "
        "CAST(NULL AS VARCHAR(1)), CAST(NULL AS VARCHAR(64)), CAST(SUBSTR(K.NMCONTATO || ' (' || "
        "K.DSEMAIL || '), de ' || K.DSENDERECO%2, 1, 200) AS VARCHAR(200)), CAST(NULL AS "
        "VARCHAR(20))"_s;
    return u"CREATE VIEW APH_HISTCSA AS "
           "SELECT NRHISTCSA, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, DTSERVPREST, "
           "DTEVENTO, CDOPERADOR, IDEVENTO, QTHRAPROFATU_ANT, QTHRAPROFATU, QTHRAPRCOMIS_ANT, "
           "QTHRAPRCOMIS, CDGRPOCOR_ANT, CDOCORR_ANT, CDGRPOCOR, CDOCORR, NRSEQUCHT, "
           "IDSTATUSCHT_ANT, IDSTATUSCHT, DSCHAVE, DSMOTIVO, NRNOTAFISCAL FROM APH_HISTEVENTO "
           "UNION ALL "
           "SELECT G.NRHISTCSA, H.NRPROPOSFAS, H.NRVERPROPFAS, H.NRSERVCONT, H.CDFUNC, "
           "D.DTSERVPREST, G.DTEVENTO, G.CDOPERADOR, CAST('G' AS VARCHAR(1)), "
           "D.QTHRAPROFATU_ANT, D.QTHRAPROFATU, D.QTHRAPRCOMIS_ANT, D.QTHRAPRCOMIS, "
           "D.CDGRPOCOR, D.CDOCORR, D.CDGRPOCOR, D.CDOCORR, D.NRSEQUCHT, "
           "CAST(NULL AS VARCHAR(1)), CAST('P' AS VARCHAR(1)), G.DSCHAVE, "
           "CAST(NULL AS VARCHAR(200)), CAST(NULL AS VARCHAR(20)) "
           "FROM APH_HISTGERCSA D JOIN APH_HISTGERACAO G ON G.NRSEQUCHT = D.NRSEQUCHT "
           "JOIN CHT H ON H.NRSEQUCHT = D.NRSEQUCHT "
           "UNION ALL "
           "SELECT CAST(NULL AS BIGINT), C.NRPROPOSFAS, C.NRVERPROPFAS, C.NRSERVCONT, C.CDFUNC, "
           "C.DTSERVPREST, K.DTDECISAO, "_s +
           client.arg(u"'K'"_s, QString()) +
           u" FROM APH_ACEITE K JOIN CHT H ON H.NRSEQUCHT = K.NRSEQUCHT JOIN CSA C ON "
           "C.NRSEQUCHT = K.NRSEQUCHT WHERE K.IDDECISAO = 'A' "
           "UNION ALL "
           "SELECT CAST(NULL AS BIGINT), H.NRPROPOSFAS, H.NRVERPROPFAS, H.NRSERVCONT, H.CDFUNC, "
           "D.DTSERVPREST, K.DTDECISAO, "_s +
           client.arg(u"'C'"_s, u" || ': ' || D.DSCOMENTARIO"_s) +
           u" FROM APH_ACEITEDIA D JOIN APH_ACEITE K ON K.DSHASH = D.DSHASH JOIN CHT H ON "
           "H.NRSEQUCHT = K.NRSEQUCHT"_s;
}

// The client's acceptance of an approved CHT, through a link per CHT and
// contact: only the SHA-256 of the link's token is kept (like the
// operators' tokens), with the contact's e-mail, the form's own token, the
// link's life (created, expires, revoked) and its one decision: accepted
// ('A') or contested ('C'), by whom (the name the contact typed), when and
// from which address. The days a contestation names, each with its
// comment, are rows of their own. The history view shows both.
QStringList Version9()
{
    return {
        u"CREATE TABLE APH_ACEITE ("
        "DSHASH VARCHAR(64) NOT NULL PRIMARY KEY, "
        "NRSEQUCHT VARCHAR(5) NOT NULL REFERENCES CHT (NRSEQUCHT), "
        "DSEMAIL VARCHAR(120) NOT NULL, "
        "DSCHAVEFORM VARCHAR(64) NOT NULL, "
        "CDOPERADOR VARCHAR(12), "
        "DTCRIACAO DOUBLE PRECISION NOT NULL, "
        "DTEXPIRA DOUBLE PRECISION NOT NULL, "
        "DTREVOGADO DOUBLE PRECISION, "
        "DTDECISAO DOUBLE PRECISION, "
        "IDDECISAO VARCHAR(1) CHECK (IDDECISAO IN ('A', 'C')), "
        "NMCONTATO VARCHAR(60), "
        "DSENDERECO VARCHAR(64))"_s,
        u"CREATE INDEX IX_APH_ACEITE_CHT ON APH_ACEITE (NRSEQUCHT)"_s,
        u"CREATE TABLE APH_ACEITEDIA ("
        "DSHASH VARCHAR(64) NOT NULL REFERENCES APH_ACEITE (DSHASH), "
        "DTSERVPREST INTEGER NOT NULL, "
        "DSCOMENTARIO VARCHAR(300) NOT NULL, "
        "PRIMARY KEY (DSHASH, DTSERVPREST))"_s,
        u"DROP VIEW APH_HISTCSA"_s,
        HistoryViewWithClient(),
    };
}

bool HasVersionTable(TStorage& storage)
{
    const QStringList tables = storage.Database().tables();
    for (const QString& t : tables)
        if (t.compare(u"APH_VERSAO", Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

QString AuditTableSql(bool ifMissing)
{
    return (ifMissing ? u"CREATE TABLE IF NOT EXISTS "_s : u"CREATE TABLE "_s) +
           u"APH_AUDITORIA ("
           "DTEVENTO DOUBLE PRECISION NOT NULL, "
           "CDOPERADOR VARCHAR(12) NOT NULL, "
           "CDOPERCONEXAO VARCHAR(12), "
           "DSEVENTO VARCHAR(200) NOT NULL)"_s;
}

int SchemaVersion(TStorage& storage)
{
    if (!HasVersionTable(storage))
        return 0;
    QSqlQuery& q = storage.Select(u"SELECT MAX(NRVERSAO) FROM APH_VERSAO"_s);
    const int version = q.next() ? q.value(0).toInt() : 0;
    TStorage::Done(q);
    return version;
}

int MigrateSchema(TStorage& storage)
{
    const int before = SchemaVersion(storage);
    if (before > kSchemaVersion)
        throw EStorageError(u"O banco de dados está na versão %1 do esquema, mais nova "
                            "que a deste servidor (%2)."_s.arg(before)
                                .arg(kSchemaVersion));
    const QList<QStringList> migrations = {Version1(),        Version2(),        Version3(),
                                           Version4(storage), Version5(storage), Version6(),
                                           Version7(),        Version8(),        Version9()};
    for (int version = before + 1; version <= kSchemaVersion; ++version) {
        TTransaction tx(storage, TTransaction::Mode::Write);
        for (const QString& sql : migrations[version - 1])
            storage.ExecDirect(sql);
        storage.Exec(u"UPDATE APH_VERSAO SET NRVERSAO = ?"_s, {version});
        tx.Commit();
    }
    return before;
}

const QString kUnfinishedCopyTable = u"APH_COPIA_INACABADA"_s;

bool IsUnfinishedCopy(TStorage& storage)
{
    const QStringList tables = storage.Database().tables();
    return std::any_of(tables.begin(), tables.end(), [](const QString& t) {
        return t.compare(kUnfinishedCopyTable, Qt::CaseInsensitive) == 0;
    });
}

void RequireFinishedCopy(TStorage& storage)
{
    if (IsUnfinishedCopy(storage))
        throw EStorageError(u"Este banco é uma cópia que não terminou (aph-server copy foi "
                            "interrompido antes do fim): os dados estão incompletos e ele não "
                            "é usado. Faça a cópia de novo com: aph-server copy ORIGEM "
                            "DESTINO (ela o substitui)."_s);
}

void RequireCurrentSchema(TStorage& storage)
{
    RequireFinishedCopy(storage);
    const int version = SchemaVersion(storage);
    if (version == 0)
        throw EStorageError(u"O banco de dados não tem o esquema do servidor. Crie-o "
                            "com: aph-server init BANCO"_s);
    if (version != kSchemaVersion)
        throw EStorageError(u"O esquema do banco de dados está na versão %1; este "
                            "servidor usa a versão %2. Atualize-o com: aph-server "
                            "init BANCO"_s.arg(version)
                                .arg(kSchemaVersion));
}

} // namespace aph

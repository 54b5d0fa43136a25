#pragma once

#include <array>
#include <span>
#include <string_view>

namespace aph {

// The one description of every table of the current schema: its columns
// (kind, width, whether required, whose), its key, the rows it names in
// other tables, the codes a column takes, and what becomes of it in an
// export. Import, export, copy and the check read it; a test holds it
// against each engine's catalog after MigrateSchema, so a column or table
// added to the migrations and not here fails. The migrations in schema.cpp
// stay as they were written: they are the schema's history.

// How a column is stored, and how the firm's CSV files write it.
enum class TColumnKind : unsigned char
{
    Text,    // VARCHAR(Size); TEXT when Size is 0
    Day,     // a CSA's day: the whole OLE day number (INTEGER)
    Moment,  // a date and time: the OLE number with the time as fraction
    Number,  // a decimal (DOUBLE PRECISION)
    Hours,   // hours of a day (DOUBLE PRECISION)
    Integer, // a whole number (INTEGER or BIGINT)
};

// Whose a column's values are. The firm's: what the firm has and brings in
// (its clients, people, contracts, the hours worked, the approvals its
// clerks typed). The system's: what the server writes by its own steps
// (generation, the CHT's life, the history, counters, tokens); an import
// takes them only as the restore of an export.
enum class TColumnOwner : unsigned char
{
    Firm,
    System,
};

// What a column holds beyond its kind, which an import checks or fills.
enum class TColumnRule : unsigned char
{
    None,
    // A CNPJ or a CPF, as its row's IDTPIJURCLIE says (J or F); kept as its
    // letters and digits, without the printed form's punctuation.
    Document,
    // A CNPJ (the issuer's).
    Cnpj,
    // Who brought the row in, and when: an import fills them, for the rows
    // it adds, with its operator and its moment unless the file gives them.
    InclusionOperator,
    InclusionMoment,
};

struct TColumnSpec
{
    std::string_view Name;
    TColumnKind Kind = TColumnKind::Text;
    int Size = 0;          // the most characters of a text; 0 for no limit
    bool Required = false; // NOT NULL
    TColumnOwner Owner = TColumnOwner::Firm;
    // The only values the column takes, when they are limited: held by a
    // CHECK of the database, or, when CodesInCatalog is false (a column
    // older than its codes, whose stored rows may not keep them), by the
    // import alone.
    std::span<const std::string_view> Codes = {};
    bool CodesInCatalog = true;
    TColumnRule Rule = TColumnRule::None;
};

// Columns of a table that must name a row of a parent table (a foreign
// key), and how an import's messages name that row ("o cliente").
struct TParentSpec
{
    std::span<const std::string_view> Columns;
    std::string_view Table;
    std::span<const std::string_view> ParentColumns;
    std::string_view What;
};

struct TTableSpec
{
    std::string_view Name;
    std::span<const TColumnSpec> Columns;
    std::span<const std::string_view> Key = {}; // the primary key; empty for none
    std::span<const TParentSpec> Parents = {};
    // Why an export leaves the table out; empty for a table of the firm's
    // state, which an export writes (one CSV) and an import takes back.
    std::string_view NotExported = {};
    // An import only adds rows, never changes one (the history).
    bool AppendOnly = false;
    // Written only by the CHT's own steps (the CHT's life and the
    // history): an import takes the table only into a database that holds
    // none of these tables' rows, the CHT numbering nor the audit trail (a
    // restore).
    bool RestoreOnly = false;
    // Copy carries the rows; all but the schema's version, which
    // MigrateSchema writes at the destination.
    bool Copied = true;

    constexpr bool Exported() const { return NotExported.empty(); }
    constexpr const TColumnSpec* Find(std::string_view column) const
    {
        for (const TColumnSpec& c : Columns)
            if (c.Name == column)
                return &c;
        return nullptr;
    }
};

namespace tablelist {

using K = TColumnKind;
using Names = std::string_view;
constexpr bool kRequired = true;
constexpr TColumnOwner kSystem = TColumnOwner::System;

constexpr TColumnSpec Text(std::string_view name, int size, bool required = false,
                           TColumnOwner owner = TColumnOwner::Firm,
                           std::span<const std::string_view> codes = {})
{
    return {name, K::Text, size, required, owner, codes};
}
constexpr TColumnSpec Of(std::string_view name, TColumnKind kind, bool required = false,
                         TColumnOwner owner = TColumnOwner::Firm)
{
    return {name, kind, 0, required, owner, {}};
}
// The column with a rule of its own.
constexpr TColumnSpec With(TColumnSpec column, TColumnRule rule)
{
    column.Rule = rule;
    return column;
}
// The column with codes the import holds it to, and not the database.
constexpr TColumnSpec ImportCodes(TColumnSpec column, std::span<const std::string_view> codes)
{
    column.Codes = codes;
    column.CodesInCatalog = false;
    return column;
}

// Keys and column groups that several tables share.
inline constexpr std::array<Names, 1> kClient = {"CDCLIENTE"};
inline constexpr std::array<Names, 1> kEmployee = {"CDFUNC"};
inline constexpr std::array<Names, 1> kOperator = {"CDOPERADOR"};
inline constexpr std::array<Names, 1> kInclOperator = {"CDOPERINCL"};
inline constexpr std::array<Names, 1> kActivity = {"CDTIPOSERV"};
inline constexpr std::array<Names, 2> kOccurrence = {"CDGRPOCOR", "CDOCORR"};
inline constexpr std::array<Names, 2> kProposal = {"NRPROPOSFAS", "NRVERPROPFAS"};
inline constexpr std::array<Names, 3> kService = {"NRPROPOSFAS", "NRVERPROPFAS", "NRSERVCONT"};
inline constexpr std::array<Names, 1> kCht = {"NRSEQUCHT"};
inline constexpr std::array<Names, 5> kChtOfService = {"NRSEQUCHT", "NRPROPOSFAS", "NRVERPROPFAS",
                                                       "NRSERVCONT", "CDFUNC"};
inline constexpr std::array<Names, 5> kCsa = {"NRPROPOSFAS", "NRVERPROPFAS", "NRSERVCONT", "CDFUNC",
                                              "DTSERVPREST"};

// The codes of the CHECKs.
inline constexpr std::array<Names, 2> kActiveCodes = {"A", "I"};
inline constexpr std::array<Names, 5> kRoleCodes = {"consultar", "aprovar", "gerar",
                                                    "supervisionar", "faturar"};
inline constexpr std::array<Names, 3> kBillingCodes = {"H", "F", "P"};
inline constexpr std::array<Names, 4> kChtStatusCodes = {"P", "A", "R", "N"};
inline constexpr std::array<Names, 3> kEventCodes = {"A", "G", "S"};
// A client's kind: J a company (CNPJ), F a person (CPF).
inline constexpr std::array<Names, 2> kPersonCodes = {"J", "F"};

// The system's parameters: its name, and the issuer of the statements.
inline constexpr std::array<Names, 1> kParamKey = {"IDPARAMGERAL"};
inline constexpr std::array kParamGeral = {
    Of("IDPARAMGERAL", K::Integer, kRequired, kSystem),
    Text("NMSISTEMA", 50, kRequired, kSystem),
    Text("NMEMITENTE", 60),
    With(Text("NRCNPJEMITENTE", 14), TColumnRule::Cnpj),
};

inline constexpr std::array kCliente = {
    Text("CDCLIENTE", 21, kRequired),
    Text("NMFANTCLIE", 50, kRequired),
    Text("NMRAZSOCCLIE", 50),
    With(Text("NRINSJURCLIE", 20), TColumnRule::Document),
    ImportCodes(Text("IDTPIJURCLIE", 1), kPersonCodes),
};

inline constexpr std::array kFuncionario = {
    Text("CDFUNC", 10, kRequired),
    Text("NMFUNC", 40, kRequired),
    Text("CDEMPRESA", 2, kRequired),
};

inline constexpr std::array kOperador = {
    Text("CDOPERADOR", 12, kRequired),
    Text("NMOPERADOR", 50, kRequired),
    Text("CDFUNC", 10),
    Text("IDOPERATIVO", 1, kRequired, TColumnOwner::Firm, kActiveCodes),
};
inline constexpr std::array kOperadorParents = {
    TParentSpec{kEmployee, "FUNCIONARIO", kEmployee, "o funcionário"},
};

// What each operator may do: one row per role held.
inline constexpr std::array<Names, 2> kPapelKey = {"CDOPERADOR", "DSPAPEL"};
inline constexpr std::array kPapel = {
    Text("CDOPERADOR", 12, kRequired),
    Text("DSPAPEL", 13, kRequired, TColumnOwner::Firm, kRoleCodes),
};
inline constexpr std::array kToOperator = {
    TParentSpec{kOperator, "OPERADOR", kOperator, "o operador"},
};

inline constexpr std::array kOcorrencia = {
    Text("CDGRPOCOR", 2, kRequired),
    Text("CDOCORR", 2, kRequired),
    Text("DSOCORR", 40, kRequired),
};

inline constexpr std::array kTipoServ = {
    Text("CDTIPOSERV", 3, kRequired),
    Text("NMTIPOSERV", 80, kRequired),
};

inline constexpr std::array kProposta = {
    Text("NRPROPOSFAS", 20, kRequired), Text("NRVERPROPFAS", 2, kRequired),
    Text("CDCLIENTE", 21, kRequired),   Text("NRPROPOSTA", 23, kRequired),
    Text("DSREFEPROPOSFAS", 100),       Text("CDFILIAL", 4, kRequired),
};
inline constexpr std::array kPropostaParents = {
    TParentSpec{kClient, "CLIENTE", kClient, "o cliente"},
};

inline constexpr std::array kServCont = {
    Text("NRPROPOSFAS", 20, kRequired),
    Text("NRVERPROPFAS", 2, kRequired),
    Text("NRSERVCONT", 3, kRequired),
    Text("CDTIPOSERV", 3, kRequired),
    Of("QTSERVCONT", K::Number),
    Text("DSLOCALCONT", 250),
    Text("IDTIPOCOBRCONT", 1, kRequired, TColumnOwner::Firm, kBillingCodes),
    Of("VRHORACLIE", K::Number),
    Of("VRDEHORACLIE", K::Number),
};
inline constexpr std::array kServContParents = {
    TParentSpec{kProposal, "PROPOSTA", kProposal, "a proposta"},
    TParentSpec{kActivity, "TIPOSERV", kActivity, "o tipo de serviço"},
};

// A CHT is the server's from its generation on; the invoice is the biller's.
inline constexpr std::array kChtColumns = {
    Text("NRSEQUCHT", 5, kRequired, kSystem),
    Text("DSREFECHT", 100, kRequired, kSystem),
    With(Of("DTINCLCHT", K::Moment, kRequired, kSystem), TColumnRule::InclusionMoment),
    With(Text("CDOPERINCL", 12, kRequired, kSystem), TColumnRule::InclusionOperator),
    Text("IDSTATUSCHT", 1, kRequired, kSystem, kChtStatusCodes),
    Text("NRPROPOSFAS", 20, kRequired, kSystem),
    Text("NRVERPROPFAS", 2, kRequired, kSystem),
    Text("NRSERVCONT", 3, kRequired, kSystem),
    Text("CDFUNC", 10, kRequired, kSystem),
    Text("CDEMPRESA", 2, kRequired, kSystem),
    Text("NRNOTAFISCAL", 20),
};
inline constexpr std::array kChtParents = {
    TParentSpec{kInclOperator, "OPERADOR", kOperator, "o operador"},
    TParentSpec{kService, "SERVCONT", kService, "o serviço contratado"},
    TParentSpec{kEmployee, "FUNCIONARIO", kEmployee, "o funcionário"},
};

// A day's hours: the firm's, but for the CHT it went into and the stamp of
// the server's own inclusion.
inline constexpr std::array kCsaColumns = {
    Text("NRPROPOSFAS", 20, kRequired),
    Text("NRVERPROPFAS", 2, kRequired),
    Text("NRSERVCONT", 3, kRequired),
    Text("CDFUNC", 10, kRequired),
    Of("DTSERVPREST", K::Day, kRequired),
    Text("CDEMPRESA", 2, kRequired),
    Text("NRSERVPREST", 5),
    Text("NRAPURFATFAS", 10),
    Of("QTHRTRAB", K::Hours, kRequired),
    Of("QTHRAPROFATU", K::Hours),
    Of("QTHRAPRCOMIS", K::Hours),
    Text("CDGRPOCOR", 2),
    Text("CDOCORR", 2),
    Text("NRSEQUCHT", 5, false, kSystem),
    With(Text("CDOPERINCL", 12, false, kSystem), TColumnRule::InclusionOperator),
    With(Of("DTINCLUSAO", K::Moment, false, kSystem), TColumnRule::InclusionMoment),
};
inline constexpr std::array kCsaParents = {
    TParentSpec{kService, "SERVCONT", kService, "o serviço contratado"},
    TParentSpec{kEmployee, "FUNCIONARIO", kEmployee, "o funcionário"},
    TParentSpec{kOccurrence, "OCORRENCIA", kOccurrence, "a ocorrência"},
    TParentSpec{kChtOfService, "CHT", kChtOfService, "a CHT, do mesmo serviço e funcionário,"},
};

// Login tokens: only the SHA-256 of each.
inline constexpr std::array<Names, 1> kTokenKey = {"DSHASH"};
inline constexpr std::array kToken = {
    Text("DSHASH", 64, kRequired, kSystem),         Text("CDOPERADOR", 12, kRequired, kSystem),
    Of("DTCRIACAO", K::Moment, kRequired, kSystem), Of("DTEXPIRA", K::Moment, false, kSystem),
    Of("DTULTIMOUSO", K::Moment, false, kSystem),   Text("DSPREFIXO", 8, false, kSystem),
};

// The counters, by name (the CHT numbers).
inline constexpr std::array<Names, 1> kSequenceKey = {"NMSEQUENCIA"};
inline constexpr std::array kSequence = {
    Text("NMSEQUENCIA", 20, kRequired, kSystem),
    Of("NRVALOR", K::Integer, kRequired, kSystem),
};

// The request keys of the writes applied, with the reply each got.
inline constexpr std::array<Names, 1> kRequestKey = {"DSCHAVE"};
inline constexpr std::array kRequest = {
    Text("DSCHAVE", 64, kRequired, kSystem),           Text("NMMETODO", 20, kRequired, kSystem),
    Text("DSRESUMO", 64, kRequired, kSystem),          Text("CDOPERADOR", 12, false, kSystem),
    Of("DTREQUISICAO", K::Moment, kRequired, kSystem), Text("DSRESPOSTA", 0, kRequired, kSystem),
};

// The day history: every event but a generation's, a generation's row per
// CHT, and its narrow row per CSA.
inline constexpr std::array<Names, 1> kEventKey = {"NRHISTCSA"};
inline constexpr std::array kEvent = {
    Of("NRHISTCSA", K::Integer, kRequired, kSystem),
    Text("NRPROPOSFAS", 20, kRequired, kSystem),
    Text("NRVERPROPFAS", 2, kRequired, kSystem),
    Text("NRSERVCONT", 3, kRequired, kSystem),
    Text("CDFUNC", 10, kRequired, kSystem),
    Of("DTSERVPREST", K::Day, kRequired, kSystem),
    Of("DTEVENTO", K::Moment, kRequired, kSystem),
    Text("CDOPERADOR", 12, kRequired, kSystem),
    Text("IDEVENTO", 1, kRequired, kSystem, kEventCodes),
    Of("QTHRAPROFATU_ANT", K::Hours, false, kSystem),
    Of("QTHRAPROFATU", K::Hours, false, kSystem),
    Of("QTHRAPRCOMIS_ANT", K::Hours, false, kSystem),
    Of("QTHRAPRCOMIS", K::Hours, false, kSystem),
    Text("CDGRPOCOR_ANT", 2, false, kSystem),
    Text("CDOCORR_ANT", 2, false, kSystem),
    Text("CDGRPOCOR", 2, false, kSystem),
    Text("CDOCORR", 2, false, kSystem),
    Text("NRSEQUCHT", 5, false, kSystem),
    Text("IDSTATUSCHT_ANT", 1, false, kSystem),
    Text("IDSTATUSCHT", 1, false, kSystem),
    Text("DSCHAVE", 64, false, kSystem),
    Text("DSMOTIVO", 200, false, kSystem),
    Text("NRNOTAFISCAL", 20, false, kSystem),
};
inline constexpr std::array kGeneration = {
    Text("NRSEQUCHT", 5, kRequired, kSystem),      Of("NRHISTCSA", K::Integer, kRequired, kSystem),
    Of("DTEVENTO", K::Moment, kRequired, kSystem), Text("CDOPERADOR", 12, kRequired, kSystem),
    Text("DSCHAVE", 64, false, kSystem),
};
inline constexpr std::array<Names, 2> kGenerationCsaKey = {"NRSEQUCHT", "DTSERVPREST"};
inline constexpr std::array kGenerationCsa = {
    Text("NRSEQUCHT", 5, kRequired, kSystem),
    Of("DTSERVPREST", K::Day, kRequired, kSystem),
    Of("QTHRAPROFATU_ANT", K::Hours, false, kSystem),
    Of("QTHRAPROFATU", K::Hours, false, kSystem),
    Of("QTHRAPRCOMIS_ANT", K::Hours, false, kSystem),
    Of("QTHRAPRCOMIS", K::Hours, false, kSystem),
    Text("CDGRPOCOR", 2, false, kSystem),
    Text("CDOCORR", 2, false, kSystem),
};

// The client's acceptance links (only the SHA-256 of each token) and
// their decisions, and the days a contestation names.
inline constexpr std::array<Names, 1> kLinkKey = {"DSHASH"};
inline constexpr std::array<Names, 2> kDecisionCodes = {"A", "C"};
inline constexpr std::array kAcceptanceLink = {
    Text("DSHASH", 64, kRequired, kSystem),
    Text("NRSEQUCHT", 5, kRequired, kSystem),
    Text("DSEMAIL", 120, kRequired, kSystem),
    Text("DSCHAVEFORM", 64, kRequired, kSystem),
    Text("CDOPERADOR", 12, false, kSystem),
    Of("DTCRIACAO", K::Moment, kRequired, kSystem),
    Of("DTEXPIRA", K::Moment, kRequired, kSystem),
    Of("DTREVOGADO", K::Moment, false, kSystem),
    Of("DTDECISAO", K::Moment, false, kSystem),
    Text("IDDECISAO", 1, false, kSystem, kDecisionCodes),
    Text("NMCONTATO", 60, false, kSystem),
    Text("DSENDERECO", 64, false, kSystem),
};
inline constexpr std::array kToCht = {
    TParentSpec{kCht, "CHT", kCht, "a CHT"},
};
inline constexpr std::array<Names, 2> kContestedDayKey = {"DSHASH", "DTSERVPREST"};
inline constexpr std::array kContestedDay = {
    Text("DSHASH", 64, kRequired, kSystem),
    Of("DTSERVPREST", K::Day, kRequired, kSystem),
    Text("DSCOMENTARIO", 300, kRequired, kSystem),
};
inline constexpr std::array kToLink = {
    TParentSpec{kLinkKey, "APH_ACEITE", kLinkKey, "o link de aceite"},
};

// Who read what: the trail of the reads and of the administrator's acts.
inline constexpr std::array kAudit = {
    Of("DTEVENTO", K::Moment, kRequired, kSystem),
    Text("CDOPERADOR", 12, kRequired, kSystem),
    Text("CDOPERCONEXAO", 12, false, kSystem),
    Text("DSEVENTO", 200, kRequired, kSystem),
};

// The days a fixed-value service passes its contracted hours, by group of
// days (see pendingdays.h): derived from the CSAs, kept by the writes.
inline constexpr std::array kPendingFixed = {
    Text("NRPROPOSFAS", 20, kRequired, kSystem),  Text("NRVERPROPFAS", 2, kRequired, kSystem),
    Text("NRSERVCONT", 3, kRequired, kSystem),    Text("CDFUNC", 10, kRequired, kSystem),
    Text("CDEMPRESA", 2, kRequired, kSystem),     Text("NRSEQUCHT", 5, false, kSystem),
    Of("DTPRIMEIRO", K::Day, kRequired, kSystem), Of("DTULTIMO", K::Day, kRequired, kSystem),
    Of("DTSERVPREST", K::Day, false, kSystem),
};

inline constexpr std::array kVersion = {
    Of("NRVERSAO", K::Integer, kRequired, kSystem),
};

} // namespace tablelist

// Every table, parents before children, so that rows written in this order
// find their parents already there.
inline constexpr std::array kSchemaTables = {
    TTableSpec{
        .Name = "PARAMGERAL", .Columns = tablelist::kParamGeral, .Key = tablelist::kParamKey},
    TTableSpec{.Name = "CLIENTE", .Columns = tablelist::kCliente, .Key = tablelist::kClient},
    TTableSpec{
        .Name = "FUNCIONARIO", .Columns = tablelist::kFuncionario, .Key = tablelist::kEmployee},
    TTableSpec{.Name = "OPERADOR",
               .Columns = tablelist::kOperador,
               .Key = tablelist::kOperator,
               .Parents = tablelist::kOperadorParents},
    TTableSpec{.Name = "APH_PAPEL",
               .Columns = tablelist::kPapel,
               .Key = tablelist::kPapelKey,
               .Parents = tablelist::kToOperator},
    TTableSpec{
        .Name = "OCORRENCIA", .Columns = tablelist::kOcorrencia, .Key = tablelist::kOccurrence},
    TTableSpec{.Name = "TIPOSERV", .Columns = tablelist::kTipoServ, .Key = tablelist::kActivity},
    TTableSpec{.Name = "PROPOSTA",
               .Columns = tablelist::kProposta,
               .Key = tablelist::kProposal,
               .Parents = tablelist::kPropostaParents},
    TTableSpec{.Name = "SERVCONT",
               .Columns = tablelist::kServCont,
               .Key = tablelist::kService,
               .Parents = tablelist::kServContParents},
    TTableSpec{.Name = "CHT",
               .Columns = tablelist::kChtColumns,
               .Key = tablelist::kCht,
               .Parents = tablelist::kChtParents,
               .RestoreOnly = true},
    TTableSpec{.Name = "CSA",
               .Columns = tablelist::kCsaColumns,
               .Key = tablelist::kCsa,
               .Parents = tablelist::kCsaParents},
    TTableSpec{.Name = "APH_TOKEN",
               .Columns = tablelist::kToken,
               .Key = tablelist::kTokenKey,
               .Parents = tablelist::kToOperator,
               .NotExported = "login tokens: only their digests are kept, worth nothing to "
                              "another database; each operator gets new ones there"},
    TTableSpec{.Name = "APH_SEQUENCIA",
               .Columns = tablelist::kSequence,
               .Key = tablelist::kSequenceKey,
               .NotExported = "the CHT counter: an import moves it past the CHTs it brings, "
                              "and a file could only move it back onto numbers in use"},
    TTableSpec{.Name = "APH_REQUISICAO",
               .Columns = tablelist::kRequest,
               .Key = tablelist::kRequestKey,
               .NotExported = "request keys: they answer a client repeating a write to this "
                              "database, and no client repeats one to another"},
    TTableSpec{.Name = "APH_HISTEVENTO",
               .Columns = tablelist::kEvent,
               .Key = tablelist::kEventKey,
               .AppendOnly = true,
               .RestoreOnly = true},
    TTableSpec{.Name = "APH_HISTGERACAO",
               .Columns = tablelist::kGeneration,
               .Key = tablelist::kCht,
               .AppendOnly = true,
               .RestoreOnly = true},
    TTableSpec{.Name = "APH_HISTGERCSA",
               .Columns = tablelist::kGenerationCsa,
               .Key = tablelist::kGenerationCsaKey,
               .AppendOnly = true,
               .RestoreOnly = true},
    TTableSpec{.Name = "APH_ACEITE",
               .Columns = tablelist::kAcceptanceLink,
               .Key = tablelist::kLinkKey,
               .Parents = tablelist::kToCht,
               .NotExported = "acceptance links: only their digests are kept, worth nothing to "
                              "another database; a copy carries them with their decisions, "
                              "which the history shows"},
    TTableSpec{.Name = "APH_ACEITEDIA",
               .Columns = tablelist::kContestedDay,
               .Key = tablelist::kContestedDayKey,
               .Parents = tablelist::kToLink,
               .NotExported = "the days a client contested, rows of an acceptance link, which "
                              "an export leaves out; a copy carries them"},
    TTableSpec{.Name = "APH_AUDITORIA",
               .Columns = tablelist::kAudit,
               .NotExported = "the audit trail records who read this database; it stays with "
                              "it (a copy carries it), and no import may write it"},
    TTableSpec{.Name = "APH_PENDFIXO",
               .Columns = tablelist::kPendingFixed,
               .NotExported = "derived from the CSAs and kept by the writes; an import, a copy "
                              "and init --scale compute it again",
               .Copied = false},
    TTableSpec{.Name = "APH_VERSAO",
               .Columns = tablelist::kVersion,
               .NotExported = "the schema's version, which MigrateSchema keeps",
               .Copied = false},
};

constexpr const TTableSpec* FindTableSpec(std::string_view name)
{
    for (const TTableSpec& t : kSchemaTables)
        if (t.Name == name)
            return &t;
    return nullptr;
}

// A text column's width, for what must fit it (a name typed at the command
// line, a key a client sends). Used in a constant expression, a name not in
// the list fails the build.
constexpr int ColumnSize(std::string_view table, std::string_view column)
{
    const TTableSpec* t = FindTableSpec(table);
    const TColumnSpec* c = t ? t->Find(column) : nullptr;
    if (!c)
        throw "no such column in the table list";
    return c->Size;
}

} // namespace aph

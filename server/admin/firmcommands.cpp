#include "server/admin/firmcommands.h"

#include "server/admin/commandline.h"
#include "server/admin/maintenance.h"
#include "server/common/clock.h"
#include "server/common/cnpj.h"
#include "server/documents/issuer.h"
#include "server/firmdata/columnlist.h"
#include "server/firmdata/copy.h"
#include "server/firmdata/export.h"
#include "server/firmdata/import.h"
#include "server/firmdata/tables.h"
#include "server/firmdata/trackerimport.h"
#include "server/sessions/operators.h"
#include "server/sessions/roles.h"
#include "server/storage/schema.h"
#include "server/storage/storage.h"

#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// "grant|deny BANCO CODIGO PAPEL[,PAPEL...]": every role named is known or
// nothing changes, and the roles change together.
int OperatorRolesCommand(const QString& action, const QStringList& args)
{
    const TArgs a(args, {}, {});
    if (a.Positional.size() != 3)
        throw EUsage(u"operator %1 recebe um banco de dados, o código do operador e os papéis "
                     "(separados por vírgula)."_s.arg(action));
    TRoles roles = 0;
    QList<TRole> named; // in the order given, for the report
    for (const QString& word : a.Positional[2].split(u',', Qt::SkipEmptyParts)) {
        const std::optional<TRole> role = ParseRole(word.trimmed());
        if (!role)
            throw EUsage(u"Papel desconhecido: \"%1\"; nenhum papel foi alterado. Os papéis são: "
                         "%2."_s.arg(word.trimmed(), RoleNames(kAllRoles).join(u", ")));
        if (!(roles & RoleBit(*role)))
            named << *role;
        roles |= RoleBit(*role);
    }
    if (named.isEmpty())
        throw EUsage(u"operator %1: informe ao menos um papel."_s.arg(action));
    const bool grant = action == u"grant";
    const QString& code = a.Positional[1];
    const TRoles changed = SetOperatorRoles(*OpenCurrent(a.Positional[0]), code, roles, grant);
    for (const TRole role : named) {
        const QString name = RoleName(role);
        Print(stdout, !(changed & RoleBit(role))
                          ? (grant ? u"O operador %1 já tem o papel %2."_s
                                   : u"O operador %1 já não tem o papel %2."_s)
                                .arg(code, name)
                      : grant ? u"Papel %2 concedido ao operador %1."_s.arg(code, name)
                              : u"Papel %2 retirado do operador %1; vale a partir da sua próxima "
                                "chamada."_s.arg(code, name));
    }
    return 0;
}

} // namespace

int OperatorCommand(const QStringList& args)
{
    const QString action = args.value(0);
    if (action == u"add") {
        const TArgs a(args.mid(1), {u"--func"_s}, {});
        if (a.Positional.size() != 3)
            throw EUsage(u"operator add recebe um banco de dados, o código do operador e o seu "
                         "nome (entre aspas se tiver espaços)."_s);
        const QString code = AddOperator(*OpenCurrent(a.Positional[0]), a.Positional[1],
                                         a.Positional[2], a.Options.value(u"--func"_s));
        Print(stdout, u"Operador %1 criado e ativo. Emita o seu token com: aph-server token %2 "
                      "%1"_s.arg(code, a.Positional[0]));
        return 0;
    }
    if (action == u"disable" || action == u"enable") {
        const TArgs a(args.mid(1), {}, {});
        if (a.Positional.size() != 2)
            throw EUsage(
                u"operator %1 recebe um banco de dados e o código do operador."_s.arg(action));
        const bool enable = action == u"enable";
        SetOperatorActive(*OpenCurrent(a.Positional[0]), a.Positional[1], enable);
        Print(stdout, enable ? u"Operador %1 ativado."_s.arg(a.Positional[1])
                             : u"Operador %1 desativado; as suas conexões são encerradas na "
                               "próxima chamada."_s.arg(a.Positional[1]));
        return 0;
    }
    if (action == u"grant" || action == u"deny")
        return OperatorRolesCommand(action, args.mid(1));
    throw EUsage(u"operator recebe add, disable, enable, grant ou deny."_s);
}

int OperatorsCommand(const QStringList& args)
{
    const TArgs a(args, {}, {});
    if (a.Positional.size() != 1)
        throw EUsage(u"operators recebe um banco de dados."_s);
    const QList<TOperatorInfo> operators = ListOperators(*OpenCurrent(a.Positional[0]));
    const QString row = u"%1 %2 %3 %4 %5 %6"_s;
    Print(stdout, row.arg(u"OPERADOR"_s, -12)
                      .arg(u"NOME"_s, -30)
                      .arg(u"FUNCIONÁRIO"_s, -11)
                      .arg(u"SITUAÇÃO"_s, -8)
                      .arg(u"TOKENS VÁLIDOS"_s, -14)
                      .arg(u"PAPÉIS"_s));
    for (const TOperatorInfo& o : operators)
        Print(stdout, row.arg(o.Code, -12)
                          .arg(o.Name.left(30), -30)
                          .arg(o.Employee.isEmpty() ? u"-"_s : o.Employee, -11)
                          .arg(o.Active ? u"ativo"_s : u"inativo"_s, -8)
                          .arg(o.ValidTokens, -14)
                          .arg(o.Roles ? RoleNames(o.Roles).join(u',') : u"-"_s));
    if (operators.isEmpty())
        Print(stdout, u"Nenhum operador. Crie o primeiro com: aph-server operator add %1 CODIGO "
                      "\"NOME\""_s.arg(a.Positional[0]));
    return 0;
}

namespace {

// "import --colunas [TABELA]": the columns of the tables a file may be of.
int ColumnsCommand(const TArgs& a)
{
    const TFirmTable* table = a.Positional.isEmpty() ? nullptr : FindFirmTable(a.Positional[0]);
    if (a.Positional.size() > 1 || (!a.Positional.isEmpty() && !table)) {
        QStringList names;
        for (const TFirmTable& t : FirmTables())
            names << t.Name;
        throw EUsage(
            u"import --colunas recebe, opcionalmente, uma tabela: %1."_s.arg(names.join(u", ")));
    }
    Print(stdout, ColumnListText(table));
    return 0;
}

} // namespace

int ImportCommand(const QStringList& args)
{
    const TArgs a(args, {u"--mapa"_s, u"--formato-data"_s, u"--operador"_s},
                  {u"--dry-run"_s, u"--colunas"_s});
    if (a.Flags.contains(u"--colunas"_s))
        return ColumnsCommand(a);
    if (a.Positional.size() < 2)
        throw EUsage(u"import recebe um banco de dados e um ou mais arquivos CSV (com --mapa, "
                     "exportações de um controle de tempo)."_s);
    const bool dryRun = a.Flags.contains(u"--dry-run"_s);
    // With a map the files are a time tracker's exports, not the tables'.
    const QString map = a.Options.value(u"--mapa"_s);
    const QString dateFormat = a.Options.value(u"--formato-data"_s).trimmed();
    if (a.Options.contains(u"--formato-data"_s) && (map.isEmpty() || dateFormat.isEmpty()))
        throw EUsage(u"--formato-data dá o formato das datas de um controle de tempo: só vale "
                     "com --mapa, e com um formato (como dd/MM/yyyy)."_s);
    const std::unique_ptr<TStorage> storage = OpenCurrent(a.Positional[0]);
    // Who brings the rows in, and when: the new rows and the audit say it.
    const TImportStamp stamp{a.Options.value(u"--operador"_s), NowOle()};
    const TImportReport report =
        map.isEmpty()
            ? ImportFiles(*storage, a.Positional.mid(1), dryRun, stamp)
            : ImportTrackerFiles(*storage, a.Positional.mid(1), map, dryRun, stamp, dateFormat);
    Print(report.Ok() ? stdout : stderr, report.Text(dryRun));
    return report.Ok() ? 0 : 1;
}

int IssuerCommand(const QStringList& args)
{
    const TArgs a(args, {u"--nome"_s, u"--cnpj"_s}, {});
    const bool setting = a.Options.contains(u"--nome"_s) || a.Options.contains(u"--cnpj"_s);
    if (a.Positional.size() != 1 ||
        (setting && (!a.Options.contains(u"--nome"_s) || !a.Options.contains(u"--cnpj"_s))))
        throw EUsage(u"emitente recebe um banco de dados e, para alterá-lo, --nome e --cnpj "
                     "juntos."_s);
    const std::unique_ptr<TStorage> storage = OpenCurrent(a.Positional[0]);
    if (setting)
        SetIssuer(*storage, a.Options.value(u"--nome"_s), a.Options.value(u"--cnpj"_s));
    TTransaction tx(*storage, TTransaction::Mode::Read);
    const TIssuer issuer = ReadIssuer(*storage);
    tx.Commit();
    if (!issuer.IsSet()) {
        Print(stdout, u"Emitente não cadastrado. Cadastre-o com: aph-server emitente %1 --nome "
                      "\"RAZÃO SOCIAL\" --cnpj CNPJ"_s.arg(a.Positional[0]));
        return 0;
    }
    Print(stdout, u"Emitente: %1 - CNPJ %2"_s.arg(issuer.Name, FormatDocument(issuer.Cnpj)));
    return 0;
}

int ExportCommand(const QStringList& rest)
{
    const TArgs args(rest, {}, {});
    if (args.Positional.size() != 2)
        throw EUsage(u"export recebe um banco de dados e a pasta onde gravar os arquivos."_s);
    QElapsedTimer timer;
    timer.start();
    auto storage = OpenCurrent(args.Positional[0]);
    const QString folder = args.Positional[1];
    if (!QDir().mkpath(folder))
        throw Exception(u"Não foi possível criar a pasta %1."_s.arg(folder));
    qint64 total = 0;
    const std::vector<TExportedTable> tables = ExportFirm(*storage, folder);
    for (const TExportedTable& t : tables) {
        Print(stdout, u"%1: %2 linha(s) em %3"_s.arg(t.Name).arg(t.Rows).arg(
                          QDir::toNativeSeparators(t.File)));
        total += t.Rows;
    }
    Print(stdout, u"Exportação concluída: %1 tabelas, %2 linhas em %3 s."_s
                      .arg(static_cast<qsizetype>(tables.size()))
                      .arg(total)
                      .arg(timer.elapsed() / 1000.0, 0, 'f', 2));
    return 0;
}

int CopyCommand(const QStringList& rest)
{
    const TArgs args(rest, {}, {});
    if (args.Positional.size() != 2)
        throw EUsage(u"copy recebe o banco de origem e o banco de destino."_s);
    const TDatabaseSpec origin = TDatabaseSpec::Parse(args.Positional[0]);
    const TDatabaseSpec destination = TDatabaseSpec::Parse(args.Positional[1]);
    QElapsedTimer timer;
    timer.start();
    const qint64 rows = CopyDatabase(
        origin, destination,
        [](const QString& table, qint64 n) {
            Print(stdout, u"%1: %2 linha(s) copiada(s)"_s.arg(table).arg(n));
        },
        [](const QString& text) { Print(stdout, text); });
    Print(stdout, u"Cópia concluída: %1 linha(s) em %2 s. Verificando o destino:"_s.arg(rows).arg(
                      timer.elapsed() / 1000.0, 0, 'f', 2));
    auto storage = TStorage::Open(destination);
    const bool passed = PrintChecks(*storage);
    Print(stdout, passed ? u"A cópia passou na verificação."_s
                         : u"A cópia NÃO passou na verificação; veja as linhas acima."_s);
    return passed ? 0 : 1;
}

} // namespace aph

// aph-server: the application server of the hour approval module.
#include "host/data/formatsettings.h"
#include "server/admin/acceptcommand.h"
#include "server/admin/admin.h"
#include "server/admin/commandline.h"
#include "server/admin/firmcommands.h"
#include "server/admin/maintenance.h"
#include "server/admin/serveoptions.h"
#include "server/admin/usage.h"
#include "server/admin/workstation.h"
#include "server/common/clock.h"
#include "server/common/newfile.h"
#include "server/common/serverlog.h"
#include "server/documents/statement.h"
#include "server/methods/auditlog.h"
#include "server/net/rpcserver.h"
#include "server/sessions/auth.h"
#include "server/storage/schema.h"
#include "server/storage/storage.h"
#include "server/web/webserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

// The most CSAs --scale generates: ten times the largest database the
// benchmarks measure (5 million).
constexpr qint64 kMaxScaleCsas = 50000000;

int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
}

// Each connection holds two descriptors (see TDrain); the soft limit goes
// up to the hard one so that --max-connections is what limits them.
void RaiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int Init(const QStringList& rest)
{
    const TArgs args(rest, {u"--scale"_s}, {u"--demo"_s});
    if (args.Positional.size() != 1)
        throw EUsage(u"init recebe um banco de dados."_s);
    const bool demo = args.Flags.contains(u"--demo");
    const qint64 scale = args.Number(u"--scale"_s, 0, 1, kMaxScaleCsas);
    if (demo && scale > 0)
        throw EUsage(u"Use --demo ou --scale, não os dois."_s);
    auto storage =
        TStorage::Open(TDatabaseSpec::Parse(args.Positional[0]), TStorage::TOpenMode::Create);
    QElapsedTimer timer;
    timer.start();
    InitDatabase(*storage,
                 demo        ? TInitData::Demo
                 : scale > 0 ? TInitData::Scale
                             : TInitData::None,
                 scale);
    Print(stdout, u"Banco pronto (esquema versão %1) em %2 s."_s.arg(kSchemaVersion)
                      .arg(timer.elapsed() / 1000.0, 0, 'f', 2));
    return 0;
}

int Serve(QCoreApplication& app, const QStringList& rest)
{
    const TServerOptions options = ParseServeOptions(rest);
    SetLogLevel(options.LogLevel);
    {
        auto storage = TStorage::Open(options.Database);
        RequireCurrentSchema(*storage);
    }

    if (::pipe(g_signalPipe) == 0) {
        std::signal(SIGTERM, OnSignal);
        std::signal(SIGINT, OnSignal);
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }
    std::signal(SIGPIPE, SIG_IGN);
    RaiseOpenFileLimit();

    TRpcServer server(options);
    server.Listen();
    // The first line on stdout says where the server listens (the port
    // matters when --port 0 let the system choose it).
    Print(stdout, u"aph-server escutando em %1:%2%3%4"_s.arg(options.Address.toString())
                      .arg(server.Port())
                      .arg(options.TlsCertFile.isEmpty() ? QString() : u" (TLS)"_s)
                      .arg(options.RequireLogin ? QString() : u" (sem autenticação)"_s));
    // The client's pages, when asked for: their address on the next line.
    std::unique_ptr<TWebPages> pages;
    if (options.WebPort >= 0) {
        pages = std::make_unique<TWebPages>(options);
        pages->Listen();
        Print(stdout, u"páginas do cliente em %1://%2:%3"_s
                          .arg(pages->Tls() ? u"https"_s : u"http"_s, options.Address.toString())
                          .arg(pages->Port()));
    }
    return app.exec();
}

int Token(const QStringList& rest)
{
    const TArgs args(rest, {u"--days"_s}, {});
    if (args.Positional.size() != 2)
        throw EUsage(u"token recebe um banco de dados e um operador."_s);
    const int days =
        static_cast<int>(args.Number(u"--days"_s, kDefaultTokenDays, 1, kMaxTokenDays));
    Print(stdout, IssueToken(*OpenCurrent(args.Positional[0]), args.Positional[1], days));
    return 0;
}

QString OleText(double ole)
{
    return FormatDateTime(u"dd/mm/yyyy hh:nn"_s, ole, BrazilFormat());
}

int Tokens(const QStringList& rest)
{
    const TArgs args(rest, {}, {});
    if (args.Positional.isEmpty() || args.Positional.size() > 2)
        throw EUsage(u"tokens recebe um banco de dados e, se quiser, um operador."_s);
    const QList<TTokenInfo> tokens =
        ListTokens(*OpenCurrent(args.Positional[0]), args.Positional.value(1));
    const QString row = u"%1 %2 %3 %4 %5 %6"_s;
    Print(stdout, row.arg(u"OPERADOR"_s, -12)
                      .arg(u"PREFIXO"_s, -8)
                      .arg(u"CRIADO EM"_s, -16)
                      .arg(u"VENCE EM"_s, -16)
                      .arg(u"ÚLTIMO USO"_s, -16)
                      .arg(u"SITUAÇÃO"_s));
    const double now = NowOle();
    for (const TTokenInfo& t : tokens)
        Print(stdout, row.arg(t.Operator, -12)
                          .arg(t.Prefix.isEmpty() ? u"-"_s : t.Prefix, -8)
                          .arg(OleText(t.Created), -16)
                          .arg(OleText(t.Expires), -16)
                          .arg(t.LastUse.isNull() ? u"nunca"_s : OleText(t.LastUse.toDouble()), -16)
                          .arg(t.Expires > now ? u"válido"_s : u"vencido"_s));
    if (tokens.isEmpty())
        Print(stdout, u"Nenhum token."_s);
    return 0;
}

int Revoke(const QStringList& rest)
{
    const TArgs args(rest, {}, {});
    if (args.Positional.size() < 2 || args.Positional.size() > 3)
        throw EUsage(u"revoke recebe um banco de dados, um operador e, se quiser, o prefixo "
                     "do token."_s);
    const QString prefix = args.Positional.value(2);
    static const QRegularExpression hex(u"^[0-9A-Fa-f]{1,8}$"_s);
    if (args.Positional.size() == 3 && !hex.match(prefix).hasMatch())
        throw EUsage(u"O prefixo do token são de 1 a 8 dígitos hexadecimais, como mostra "
                     "aph-server tokens."_s);
    const int revoked = RevokeTokens(*OpenCurrent(args.Positional[0]), args.Positional[1], prefix);
    Print(stdout, u"%1 token(s) de %2 revogado(s); as conexões que os usam são encerradas na "
                  "próxima chamada."_s.arg(revoked)
                      .arg(args.Positional[1]));
    return 0;
}

int ChtStatus(const QStringList& rest)
{
    const TArgs args(rest, {u"--motivo"_s, u"--nota"_s}, {});
    if (args.Positional.size() != 3)
        throw EUsage(u"cht-status recebe um banco de dados, o número da CHT e a "
                     "situação."_s);
    const QString invoice = args.Options.value(u"--nota"_s).trimmed();
    if (args.Options.contains(u"--nota"_s) && invoice.isEmpty())
        throw EUsage(u"--nota recebe o número da nota fiscal."_s);
    auto storage = TStorage::Open(TDatabaseSpec::Parse(args.Positional[0]));
    RequireCurrentSchema(*storage);
    SetChtStatus(*storage, args.Positional[1], args.Positional[2],
                 args.Options.value(u"--motivo"_s), invoice);
    Print(stdout, invoice.isEmpty()
                      ? u"CHT %1: situação %2."_s.arg(args.Positional[1], args.Positional[2])
                      : u"CHT %1: situação %2, nota fiscal %3."_s.arg(args.Positional[1],
                                                                      args.Positional[2], invoice));
    return 0;
}

// The statement of one CHT written to a file.
int Statement(const QStringList& rest)
{
    const TArgs args(rest, {u"--format"_s, u"--out"_s, u"--para"_s}, {u"--sobrescrever"_s});
    if (args.Positional.size() != 2 || !args.Options.contains(u"--format"_s) ||
        !args.Options.contains(u"--out"_s))
        throw EUsage(u"statement recebe um banco de dados, o número da CHT, --format pdf ou csv, "
                     "--out com o arquivo a gravar e, se quiser, --para cliente ou interno."_s);
    // The client's version unless asked for the firm's own.
    const TStatementVersion version =
        StatementVersionArgument(args.Options.value(u"--para"_s, u"cliente"_s));
    const TDatabaseSpec spec = TDatabaseSpec::Parse(args.Positional[0]);
    auto storage = TStorage::Open(spec);
    RequireCurrentSchema(*storage);
    const TStatementFile file =
        StatementFile(*storage, args.Positional[1], args.Options.value(u"--format"_s), version);
    const QString path = args.Options.value(u"--out"_s);
    // A new file only; --sobrescrever replaces an ordinary file, never the
    // database's own.
    QStringList databaseFiles;
    if (spec.Backend == TDatabaseSpec::Kind::Sqlite)
        for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s, u"-journal"_s})
            databaseFiles << spec.Path + suffix;
    if (!databaseFiles.isEmpty())
        databaseFiles << TAuditLog::SqlitePath(spec.Path);
    WriteNewFile(path, file.Data, args.Flags.contains(u"--sobrescrever"), databaseFiles);
    Print(stdout, u"Demonstrativo da CHT gravado em %1."_s.arg(path));
    return 0;
}

// A copy of a SQLite database that a server may be writing to; PostgreSQL
// has pg_dump for that.
int Backup(const QStringList& rest)
{
    const TArgs args(rest, {}, {});
    if (args.Positional.size() != 2)
        throw EUsage(u"backup recebe um banco de dados e o arquivo da cópia."_s);
    const TDatabaseSpec spec = TDatabaseSpec::Parse(args.Positional[0]);
    if (spec.Backend == TDatabaseSpec::Kind::Postgres)
        throw EUsage(u"backup copia bancos SQLite. Para o PostgreSQL, use o pg_dump:\n  %1"_s.arg(
            PgDumpCommand(spec, args.Positional[1])));
    const QStringList written = BackupSqlite(spec.Path, args.Positional[1]);
    Print(stdout, u"Cópia de %1 gravada em %2."_s.arg(spec.Path, written.join(u" e "_s)));
    return 0;
}

// One line per verification; exit 1 when any fails.
int Check(const QStringList& rest)
{
    const TArgs args(rest, {}, {});
    if (args.Positional.size() != 1)
        throw EUsage(u"check recebe um banco de dados."_s);
    const TDatabaseSpec spec = TDatabaseSpec::Parse(args.Positional[0]);
    // Opening an empty file would make it a database, and an empty one
    // passes every verification: refused as what it is.
    if (spec.Backend == TDatabaseSpec::Kind::Sqlite && QFileInfo(spec.Path).isFile() &&
        QFileInfo(spec.Path).size() == 0)
        throw Exception(u"O arquivo %1 está vazio: não é um banco de dados. Nada foi "
                        "verificado."_s.arg(spec.Path));
    // Read only: a check never changes what it looks at.
    auto storage = TStorage::Open(spec, TStorage::TOpenMode::ReadOnly);
    RequireFinishedCopy(*storage);
    return PrintChecks(*storage) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        Print(stderr, FullUsage().chopped(1));
        return 2;
    }
    // --help, alone or after any command, shows the usage (that command's
    // own, with its help) and does nothing.
    if (args.contains(u"--help"_s) || args.first() == u"-h" || args.first() == u"help") {
        const QString help = CommandHelp(args.first());
        Print(stdout, (help.isEmpty() ? FullUsage() : help).chopped(1));
        return 0;
    }
    const QString command = args.takeFirst();
    try {
        if (command == u"init")
            return Init(args);
        if (command == u"serve")
            return Serve(app, args);
        if (command == u"token")
            return Token(args);
        if (command == u"tokens")
            return Tokens(args);
        if (command == u"revoke")
            return Revoke(args);
        if (command == u"estacao")
            return WorkstationCommand(args);
        if (command == u"cht-status")
            return ChtStatus(args);
        if (command == u"statement")
            return Statement(args);
        if (command == u"aceite")
            return AcceptanceCommand(args);
        if (command == u"emitente")
            return IssuerCommand(args);
        if (command == u"backup")
            return Backup(args);
        if (command == u"check")
            return Check(args);
        if (command == u"operator")
            return OperatorCommand(args);
        if (command == u"operators")
            return OperatorsCommand(args);
        if (command == u"import")
            return ImportCommand(args);
        if (command == u"copy")
            return CopyCommand(args);
        if (command == u"export")
            return ExportCommand(args);
        throw EUsage(u"Comando desconhecido: %1. Os comandos são: %2; aph-server --help mostra o "
                     "uso de todos."_s.arg(command, CommandNames().join(u", ")));
    } catch (const EUsage& e) {
        // The message and the synopsis of its command alone.
        const QString usage = CommandUsage(command);
        Print(stderr, usage.isEmpty() ? e.Message() : e.Message() + u'\n' + usage.chopped(1));
        return 2;
    } catch (const Exception& e) {
        Print(stderr, u"aph-server: %1"_s.arg(e.Message()));
        return 1;
    }
}

#include "shell/hostoptions.h"

#include "host/data/exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Each environment value: its key in the INI file's [host] section and its
// command-line option, which carry the same name.
const char* const kKeys[] = {"operator", "branch", "host", "port", "token"};
// Keys that may be left out. Without "database" the screens' lookups go
// through the application server, and the desktop holds no database keys.
const char* const kOptionalKeys[] = {"database", "locale", "tls", "ca"};

} // namespace

QString HostUsage()
{
    return u"uso: aph-host [opções]\n"
           "  --config ARQUIVO      configuração (padrão: %1)\n"
           "  --operator CÓDIGO     operador\n"
           "  --branch CÓDIGO       filial\n"
           "  --host ENDEREÇO       servidor de aplicação\n"
           "                        (vários: nome:porta,[::1]:porta,...; tentados em ordem)\n"
           "  --port PORTA          porta do servidor de aplicação\n"
           "  --token TOKEN         token de acesso do operador\n"
           "  --database BANCO      só em duas camadas: banco que este computador abre\n"
           "                        (sqlite:CAMINHO ou postgresql://...); sem ele, as listas\n"
           "                        vêm do servidor de aplicação\n"
           "  --locale NOME         datas e números (padrão: pt_BR, qualquer que seja o LANG)\n"
           "  --tls SIM|NÃO         TLS com o servidor de aplicação (padrão: não)\n"
           "  --ca ARQUIVO          autoridade certificadora do servidor (PEM; padrão: as do\n"
           "                        sistema)\n"
           "  --module ARQUIVO      módulo a carregar (padrão: libPkg_Aph31500.so em ../lib/aph\n"
           "                        ou em ../lib, ao lado do programa)\n"
           "  --open                abre \"Apuração de CHT\" ao iniciar\n"
           "  --screenshot ARQUIVO  abre a tela, confirma o filtro padrão, salva a imagem da\n"
           "                        janela e termina\n"
           "  --dialog-screenshot ARQUIVO  salva também a imagem do primeiro diálogo\n"
           "O arquivo de configuração tem a seção [host] com as chaves operator, branch,\n"
           "host, port e token, e opcionalmente database, locale, tls e ca.\n"_s.arg(
               DefaultConfigFile());
}

QString DefaultConfigFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/aph/aph-host.ini"_s;
}

namespace {

template <std::size_t N> bool IsKey(const char* const (&keys)[N], const QString& name)
{
    return std::any_of(std::begin(keys), std::end(keys),
                       [&](const char* k) { return name == QLatin1String(k); });
}

// The command line: the run's own options, and the host keys given there,
// which override the INI file.
THostOptions ReadArguments(const QStringList& arguments, QHash<QString, QString>& overrides)
{
    THostOptions options;
    const auto value = [&](qsizetype& i) {
        if (i + 1 >= arguments.size())
            throw Exception(u"A opção %1 precisa de um valor."_s.arg(arguments[i]));
        return arguments[++i];
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const QString name = a.mid(2);
        if (a == u"--help" || a == u"-h")
            options.Help = true;
        else if (a == u"--open")
            options.Open = true;
        else if (a == u"--config")
            options.ConfigFile = value(i);
        else if (a == u"--module")
            options.ModuleFile = value(i);
        else if (a == u"--screenshot")
            options.Screenshot = value(i);
        else if (a == u"--dialog-screenshot")
            options.DialogScreenshot = value(i);
        else if (a.startsWith(u"--") && (IsKey(kKeys, name) || IsKey(kOptionalKeys, name)))
            overrides.insert(name, value(i));
        else
            throw Exception(u"Opção desconhecida: %1"_s.arg(a));
    }
    return options;
}

// The host keys of the [host] section of an INI file that exists.
QHash<QString, QString> ReadIniFile(const QString& file)
{
    QHash<QString, QString> values;
    QSettings ini(file, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        throw Exception(u"Arquivo de configuração ilegível: %1"_s.arg(file));
    ini.beginGroup(u"host"_s);
    QStringList keys;
    for (const char* key : kKeys)
        keys << QString::fromLatin1(key);
    for (const char* key : kOptionalKeys)
        keys << QString::fromLatin1(key);
    for (const QString& k : std::as_const(keys)) {
        if (!ini.contains(k))
            continue;
        // QSettings splits an unquoted value at its commas: a list of
        // servers comes back as a list.
        const QVariant value = ini.value(k);
        values.insert(k, (value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',')
                                                                   : value.toString())
                             .trimmed());
    }
    // The authority's file, when relative, sits beside the INI file.
    if (!values.value(u"ca"_s).isEmpty())
        values[u"ca"_s] = QFileInfo(file).dir().absoluteFilePath(values.value(u"ca"_s));
    return values;
}

// TLS to the server: "tls" in any of the spellings of yes and no, and
// "ca" only with TLS on (an authority without TLS would protect nothing).
void ReadTls(const QHash<QString, QString>& values, THostEnvironment& env)
{
    static const QStringList yes{u"1"_s, u"sim"_s, u"s"_s, u"true"_s, u"yes"_s, u"on"_s};
    static const QStringList no{u"0"_s, u"não"_s, u"nao"_s, u"n"_s, u"false"_s, u"no"_s, u"off"_s};
    const QString tls = values.value(u"tls"_s).toLower();
    if (!tls.isEmpty() && !yes.contains(tls) && !no.contains(tls))
        throw Exception(u"Valor inválido para 'tls': '%1' (use sim ou não, 1 ou 0, true ou "
                        "false)."_s.arg(values.value(u"tls"_s)));
    env.Tls = yes.contains(tls);
    env.CaFile = values.value(u"ca"_s);
    if (!env.CaFile.isEmpty() && !env.Tls)
        throw Exception(u"A chave 'ca' só vale com tls=sim: sem TLS a conexão com o servidor "
                        "não é verificada nem criptografada."_s);
}

// A port as the user wrote it: 1 to 65535, or 0 when it is not one.
int PortNumber(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : 0;
}

// One server of the "host" list: name, name:port, [v6addr] or
// [v6addr]:port; an IPv6 address without brackets is taken whole, as a
// name without a port. The port, when not given, is defaultPort.
TServerAddress ServerEntry(const QString& text, int defaultPort)
{
    const QString entry = text.trimmed();
    const auto refuse = [&](const QString& why) {
        return Exception(u"Valor inválido para 'host': '%1' (%2)."_s.arg(entry, why));
    };
    QString host = entry;
    QString port;
    if (entry.startsWith(u'[')) {
        const qsizetype close = entry.indexOf(u']');
        if (close < 0 || (close + 1 < entry.size() && entry[close + 1] != u':'))
            throw refuse(u"use [endereço IPv6] ou [endereço IPv6]:porta"_s);
        host = entry.mid(1, close - 1);
        if (close + 1 < entry.size())
            port = entry.mid(close + 2);
        else
            port = QString::number(defaultPort);
    } else if (entry.count(u':') == 1) {
        host = entry.section(u':', 0, 0);
        port = entry.section(u':', 1);
    } else {
        port = QString::number(defaultPort);
    }
    if (host.trimmed().isEmpty())
        throw refuse(u"servidor sem nome; separe os servidores com uma vírgula só"_s);
    const int number = PortNumber(port);
    if (number == 0)
        throw refuse(u"a porta '%1' não é um número de 1 a 65535"_s.arg(port));
    return {host.trimmed(), number};
}

// The "host" value: one server or several, separated by commas.
QList<TServerAddress> ServerList(const QString& text, int defaultPort)
{
    QList<TServerAddress> servers;
    for (const QString& entry : text.split(u','))
        servers << ServerEntry(entry, defaultPort);
    return servers;
}

// The environment from the merged keys: every key present, the port a
// port, the database, when given, a connection string the host can open.
THostEnvironment CheckedEnvironment(const QHash<QString, QString>& values, const QString& file,
                                    bool exists)
{
    for (const char* key : kKeys) {
        const QString k = QString::fromLatin1(key);
        if (values.value(k).isEmpty())
            throw Exception(
                u"Falta o valor de '%1': informe-o na seção [host] de %2%3 ou com --%1."_s.arg(
                    k, file, exists ? QString() : u" (arquivo não encontrado)"_s));
    }
    const int port = PortNumber(values.value(u"port"_s));
    if (port == 0)
        throw Exception(u"Valor inválido para 'port': '%1' (use um número de 1 a 65535)."_s.arg(
            values.value(u"port"_s)));
    const QString database = values.value(u"database"_s);
    if (!database.isEmpty() && !database.startsWith(u"sqlite:") &&
        !database.startsWith(u"postgresql://") && !database.startsWith(u"postgres://"))
        throw Exception(u"Valor inválido para 'database': '%1' (use sqlite:CAMINHO ou "
                        "postgresql://usuário@máquina:porta/banco)."_s.arg(database));
    THostEnvironment env;
    env.Operador = values.value(u"operator"_s);
    env.FiliProc = values.value(u"branch"_s);
    env.Servers = ServerList(values.value(u"host"_s), port);
    env.WebURL = env.Servers.first().Host;
    env.WebPort = env.Servers.first().Port;
    env.Token = values.value(u"token"_s);
    env.Database = database;
    ReadTls(values, env);
    return env;
}

} // namespace

THostOptions ParseHostOptions(const QStringList& arguments)
{
    QHash<QString, QString> overrides;
    THostOptions options = ReadArguments(arguments, overrides);
    if (options.Help)
        return options;

    const bool explicitConfig = !options.ConfigFile.isEmpty();
    if (!explicitConfig)
        options.ConfigFile = DefaultConfigFile();
    const bool exists = QFileInfo::exists(options.ConfigFile);
    if (explicitConfig && !exists)
        throw Exception(u"Arquivo de configuração não encontrado: %1"_s.arg(options.ConfigFile));

    QHash<QString, QString> values =
        exists ? ReadIniFile(options.ConfigFile) : QHash<QString, QString>();
    const bool fileHoldsToken = !values.value(u"token"_s).isEmpty();
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
        values.insert(it.key(), it.value().trimmed());
    options.Environment = CheckedEnvironment(values, options.ConfigFile, exists);
    // The token is the operator's key to the server: as ssh does for keys,
    // say so when others on this computer can read the file that holds it.
    constexpr auto kOthers = QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (fileHoldsToken && (QFile::permissions(options.ConfigFile) & kOthers))
        options.Warning =
            u"Aviso: %1 guarda o token do operador e pode ser lido por outros "
            "usuários deste computador; restrinja-o com: chmod 600 %1"_s.arg(options.ConfigFile);
    if (!values.value(u"locale"_s).isEmpty())
        options.Locale = values.value(u"locale"_s);
    if (!options.Screenshot.isEmpty())
        options.Open = true;
    return options;
}

} // namespace aph

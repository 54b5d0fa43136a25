#include "shell/hostoptions.h"

#include "host/data/exceptions.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Each environment value: its key in the INI file's [host] section and its
// command-line option, which carry the same name.
const char* const kKeys[] = {"operator", "branch", "host", "port", "token", "database"};
// Keys that may be left out.
const char* const kOptionalKeys[] = {"locale", "tls", "ca"};

} // namespace

QString HostUsage()
{
    return u"uso: aph-host [opções]\n"
           "  --config ARQUIVO      configuração (padrão: %1)\n"
           "  --operator CÓDIGO     operador\n"
           "  --branch CÓDIGO       filial\n"
           "  --host ENDEREÇO       servidor de aplicação\n"
           "  --port PORTA          porta do servidor de aplicação\n"
           "  --token TOKEN         token de acesso do operador\n"
           "  --database BANCO      banco compartilhado (sqlite:CAMINHO ou postgresql://...)\n"
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
           "host, port, token e database, e opcionalmente locale, tls e ca.\n"_s.arg(
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
    for (const QString& k : std::as_const(keys))
        if (ini.contains(k))
            values.insert(k, ini.value(k).toString().trimmed());
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

// The environment from the merged keys: every key present, the port a
// port, the database a connection string the host can open.
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
    bool ok = false;
    const int port = values.value(u"port"_s).toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        throw Exception(u"Valor inválido para 'port': '%1' (use um número de 1 a 65535)."_s.arg(
            values.value(u"port"_s)));
    const QString database = values.value(u"database"_s);
    if (!database.startsWith(u"sqlite:") && !database.startsWith(u"postgresql://") &&
        !database.startsWith(u"postgres://"))
        throw Exception(u"Valor inválido para 'database': '%1' (use sqlite:CAMINHO ou "
                        "postgresql://usuário@máquina:porta/banco)."_s.arg(database));
    THostEnvironment env;
    env.Operador = values.value(u"operator"_s);
    env.FiliProc = values.value(u"branch"_s);
    env.WebURL = values.value(u"host"_s);
    env.WebPort = port;
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
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
        values.insert(it.key(), it.value().trimmed());
    options.Environment = CheckedEnvironment(values, options.ConfigFile, exists);
    if (!values.value(u"locale"_s).isEmpty())
        options.Locale = values.value(u"locale"_s);
    if (!options.Screenshot.isEmpty())
        options.Open = true;
    return options;
}

} // namespace aph

#include "shell/hostoptions.h"

#include "host/data/exceptions.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace aph {

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// Each environment value: its key in the INI file's [host] section and its
// command-line option, which carry the same name.
const char* const kKeys[] = {"operator", "branch", "host", "port", "token", "database"};

} // namespace

QString HostUsage()
{
    return S("uso: aph-host [opções]\n"
             "  --config ARQUIVO      configuração (padrão: %1)\n"
             "  --operator CÓDIGO     operador\n"
             "  --branch CÓDIGO       filial\n"
             "  --host ENDEREÇO       servidor de aplicação\n"
             "  --port PORTA          porta do servidor de aplicação\n"
             "  --token TOKEN         token de acesso do operador\n"
             "  --database BANCO      banco compartilhado (sqlite:CAMINHO ou postgresql://...)\n"
             "  --module ARQUIVO      módulo a carregar (padrão: ../lib/libPkg_Aph31500.so)\n"
             "  --open                abre \"Apuração de CHT\" ao iniciar\n"
             "  --screenshot ARQUIVO  abre a tela, confirma o filtro padrão, salva a imagem da\n"
             "                        janela e termina\n"
             "  --dialog-screenshot ARQUIVO  salva também a imagem do primeiro diálogo\n"
             "O arquivo de configuração tem a seção [host] com as chaves operator, branch,\n"
             "host, port, token e database.\n")
        .arg(DefaultConfigFile());
}

QString DefaultConfigFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           S("/aph/aph-host.ini");
}

THostOptions ParseHostOptions(const QStringList& arguments)
{
    THostOptions options;
    QHash<QString, QString> overrides;
    const auto value = [&](qsizetype& i) {
        if (i + 1 >= arguments.size())
            throw Exception(S("A opção %1 precisa de um valor.").arg(arguments[i]));
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
        else if (a.startsWith(u"--") &&
                 std::any_of(std::begin(kKeys), std::end(kKeys),
                             [&](const char* k) { return name == QLatin1String(k); }))
            overrides.insert(name, value(i));
        else
            throw Exception(S("Opção desconhecida: %1").arg(a));
    }
    if (options.Help)
        return options;

    const bool explicitConfig = !options.ConfigFile.isEmpty();
    if (!explicitConfig)
        options.ConfigFile = DefaultConfigFile();
    const bool exists = QFileInfo::exists(options.ConfigFile);
    if (explicitConfig && !exists)
        throw Exception(S("Arquivo de configuração não encontrado: %1").arg(options.ConfigFile));

    QHash<QString, QString> values;
    if (exists) {
        QSettings ini(options.ConfigFile, QSettings::IniFormat);
        if (ini.status() != QSettings::NoError)
            throw Exception(S("Arquivo de configuração ilegível: %1").arg(options.ConfigFile));
        ini.beginGroup(S("host"));
        for (const char* key : kKeys) {
            const QString k = QString::fromLatin1(key);
            if (ini.contains(k))
                values.insert(k, ini.value(k).toString().trimmed());
        }
    }
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
        values.insert(it.key(), it.value().trimmed());

    for (const char* key : kKeys) {
        const QString k = QString::fromLatin1(key);
        if (values.value(k).isEmpty())
            throw Exception(
                S("Falta o valor de '%1': informe-o na seção [host] de %2%3 ou com --%1.")
                    .arg(k, options.ConfigFile,
                         exists ? QString() : S(" (arquivo não encontrado)")));
    }
    bool ok = false;
    const int port = values.value(S("port")).toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        throw Exception(S("Valor inválido para 'port': '%1' (use um número de 1 a 65535).")
                            .arg(values.value(S("port"))));
    const QString database = values.value(S("database"));
    if (!database.startsWith(u"sqlite:") && !database.startsWith(u"postgresql://") &&
        !database.startsWith(u"postgres://"))
        throw Exception(S("Valor inválido para 'database': '%1' (use sqlite:CAMINHO ou "
                          "postgresql://usuário@máquina:porta/banco).")
                            .arg(database));
    THostEnvironment& env = options.Environment;
    env.Operador = values.value(S("operator"));
    env.FiliProc = values.value(S("branch"));
    env.WebURL = values.value(S("host"));
    env.WebPort = port;
    env.Token = values.value(S("token"));
    env.Database = database;
    if (!options.Screenshot.isEmpty())
        options.Open = true;
    return options;
}

} // namespace aph

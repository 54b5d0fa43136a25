#include "server/admin/acceptcommand.h"

#include "server/admin/commandline.h"
#include "server/admin/serveconfig.h"
#include "server/admin/serveoptions.h"
#include "server/methods/acceptance.h"
#include "server/methods/chtstatus.h"
#include "server/storage/storage.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Where the packaged server keeps its configuration.
const QString kPackagedConfig = u"/etc/aph/aph-server.conf"_s;

// The pages' address as the client's e-mail gives it: --url-base, else the
// configuration file's url-base.
QString UrlBaseOf(const TArgs& args)
{
    if (args.Options.contains(u"--url-base"_s))
        return CheckedUrlBase(args.Options.value(u"--url-base"_s));
    const QString file = args.Options.value(u"--config"_s, kPackagedConfig);
    if (args.Options.contains(u"--config"_s) || QFileInfo::exists(file)) {
        QHash<QString, TConfigValue> values;
        try {
            values = ReadServerConfig(file, ServeConfigKeys(), ServeConfigFlags());
        } catch (const Exception& e) {
            throw EUsage(e.Message());
        }
        if (values.contains(u"url-base"_s))
            return CheckedUrlBase(values.value(u"url-base"_s).Value);
    }
    throw EUsage(u"Informe o endereço das páginas do cliente com --url-base (como "
                 "https://horas.firma.com.br), ou a chave url-base no arquivo de configuração "
                 "(%1)."_s.arg(file));
}

} // namespace

int AcceptanceCommand(const QStringList& arguments)
{
    const TArgs args(arguments, {u"--contato"_s, u"--dias"_s, u"--url-base"_s, u"--config"_s},
                     {u"--revogar"_s});
    if (args.Positional.size() != 2)
        throw EUsage(u"aceite recebe um banco de dados e o número da CHT."_s);
    const bool revoke = args.Flags.contains(u"--revogar"_s);
    if (revoke == args.Options.contains(u"--contato"_s))
        throw EUsage(u"aceite recebe --contato com o e-mail do cliente, para criar um link, ou "
                     "--revogar, para encerrar os links da CHT."_s);
    const QString cht = ChtNumberOf(args.Positional[1]);
    if (revoke) {
        const int revoked = RevokeAcceptanceLinks(*OpenCurrent(args.Positional[0]), cht, {});
        Print(stdout, u"%1 link(s) de aceite da CHT %2 revogado(s)."_s.arg(revoked).arg(cht));
        return 0;
    }
    const int days = static_cast<int>(args.Number(u"--dias"_s, kDefaultLinkDays, 1, kMaxLinkDays));
    const QString base = UrlBaseOf(args);
    const QString email = args.Options.value(u"--contato"_s);
    const QString token =
        CreateAcceptanceLink(*OpenCurrent(args.Positional[0]), cht, email, days, {});
    Print(stdout, u"Link de aceite da CHT %1 para %2, válido por %3 dia(s). Envie ao cliente:"_s
                      .arg(cht, email.trimmed())
                      .arg(days));
    Print(stdout, base + u"/aceite/"_s + token);
    return 0;
}

} // namespace aph

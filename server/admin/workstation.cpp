#include "server/admin/workstation.h"

#include "server/admin/commandline.h"
#include "server/common/newfile.h"
#include "server/net/rpcserver.h"
#include "server/sessions/auth.h"
#include "server/sessions/operators.h"
#include "server/storage/storage.h"
#include "server/storage/tablelist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlQuery>
#include <QSslCertificate>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The width of a branch's code.
constexpr int kBranchChars = ColumnSize("PROPOSTA", "CDFILIAL");

// What the desktop is to know of its server and operator.
struct TWorkstation
{
    QString Operator, Branch, Host, Token, Ca;
    qint64 Port = 0;
    bool Tls = false;
};

// The servers as the desktop reads them: one name or address, or several
// separated by commas, each maybe with ":porta" ([v6]:porta for IPv6).
void CheckHost(const QString& host)
{
    static const QRegularExpression entry(
        uR"(^([A-Za-z0-9._-]+|\[[0-9A-Fa-f:.]+\])(:[0-9]{1,5})?$)"_s);
    const QStringList entries = host.split(u',');
    for (const QString& e : entries)
        if (!entry.match(e).hasMatch())
            throw EUsage(u"--host recebe o nome ou o endereço do servidor (vários separados por "
                         "vírgula, cada um com :porta se quiser); \"%1\" não é um."_s.arg(e));
}

// The branch given, or the only one the proposals have.
QString Branch(TStorage& storage, const QString& given)
{
    static const QRegularExpression code(u"^[A-Za-z0-9]+$"_s);
    if (!given.isEmpty()) {
        if (given.size() > kBranchChars || !code.match(given).hasMatch())
            throw EUsage(u"--filial recebe o código da filial: de 1 a %1 letras ou dígitos."_s.arg(
                kBranchChars));
        return given;
    }
    TTransaction tx(storage, TTransaction::Mode::Read);
    QStringList branches;
    QSqlQuery& q = storage.Select(u"SELECT DISTINCT CDFILIAL FROM PROPOSTA ORDER BY CDFILIAL"_s);
    while (q.next())
        branches << q.value(0).toString();
    TStorage::Done(q);
    tx.Commit();
    if (branches.size() != 1)
        throw EUsage(branches.isEmpty()
                         ? u"Informe a filial da estação com --filial CODIGO (o banco não tem "
                           "propostas de que tirá-la)."_s
                         : u"Informe a filial da estação com --filial CODIGO; as propostas são "
                           "das filiais %1."_s.arg(branches.join(u", ")));
    return branches.first();
}

// The authority's file, whole path: it must hold a certificate in PEM.
QString CaFile(const QString& given)
{
    const QFileInfo info(given);
    if (!info.isFile() || QSslCertificate::fromPath(given, QSsl::Pem).isEmpty())
        throw Exception(u"%1 não é um arquivo com um certificado em PEM; a estação não foi "
                        "gravada."_s.arg(given));
    return info.absoluteFilePath();
}

// Writes the file in a folder of the process's own, readable by its owner
// only, and gives it its name only when it is whole and the name free.
void WriteIni(const TWorkstation& w, const QString& out)
{
    const TWorkFolder work(out);
    const QString temporary = work.FilePath(u"estacao.ini"_s);
    {
        QSettings ini(temporary, QSettings::IniFormat);
        ini.beginGroup(u"host"_s);
        ini.setValue(u"operator"_s, w.Operator);
        ini.setValue(u"branch"_s, w.Branch);
        ini.setValue(u"host"_s, w.Host);
        ini.setValue(u"port"_s, w.Port);
        ini.setValue(u"token"_s, w.Token);
        if (w.Tls)
            ini.setValue(u"tls"_s, u"sim"_s);
        if (!w.Ca.isEmpty())
            ini.setValue(u"ca"_s, w.Ca);
        ini.endGroup();
        ini.sync();
        if (ini.status() != QSettings::NoError)
            throw Exception(u"Não foi possível gravar o arquivo %1."_s.arg(out));
    }
    if (!QFile::setPermissions(temporary, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw Exception(u"Não foi possível restringir o arquivo %1 ao dono."_s.arg(out));
    PublishNewFiles({{temporary, out}});
}

} // namespace

int WorkstationCommand(const QStringList& args)
{
    const TArgs a(args,
                  {u"--host"_s, u"--port"_s, u"--ca"_s, u"--out"_s, u"--filial"_s, u"--days"_s},
                  {u"--tls"_s});
    if (a.Positional.size() != 2 || a.Options.value(u"--host"_s).isEmpty() ||
        a.Options.value(u"--out"_s).isEmpty())
        throw EUsage(u"estacao recebe um banco de dados, o operador, --host com o servidor e "
                     "--out com o arquivo a gravar."_s);
    TWorkstation w;
    w.Host = a.Options.value(u"--host"_s).trimmed();
    CheckHost(w.Host);
    w.Port = a.Number(u"--port"_s, TServerOptions().Port, 1, 65535);
    w.Tls = a.Flags.contains(u"--tls"_s);
    if (a.Options.contains(u"--ca"_s) && !w.Tls)
        throw EUsage(u"--ca só vale com --tls: sem TLS a conexão não é verificada."_s);
    if (a.Options.contains(u"--ca"_s))
        w.Ca = CaFile(a.Options.value(u"--ca"_s));
    const int days = static_cast<int>(a.Number(u"--days"_s, kDefaultTokenDays, 1, kMaxTokenDays));
    const QString out = a.Options.value(u"--out"_s);
    // Refused before a token is issued; the name is checked again when
    // the file gets it.
    if (NameTaken(out))
        throw Exception(u"O arquivo %1 já existe; estacao nunca grava sobre um arquivo. Escolha "
                        "outro nome ou remova-o antes."_s.arg(out));
    if (!QFileInfo(out).absoluteDir().exists())
        throw Exception(u"A pasta de %1 não existe; nada foi gravado."_s.arg(out));
    const std::unique_ptr<TStorage> storage = OpenCurrent(a.Positional[0]);
    w.Branch = Branch(*storage, a.Options.value(u"--filial"_s).trimmed());
    w.Operator = StoredOperatorCode(*storage, a.Positional[1]);
    w.Token = IssueToken(*storage, w.Operator, days);
    try {
        WriteIni(w, out);
    } catch (const Exception&) {
        // A token nobody holds is no use to leave valid.
        RevokeTokens(*storage, w.Operator, w.Token.left(kTokenPrefixDigits));
        throw;
    }
    Print(stdout, u"Estação do operador %1 (filial %2) gravada em %3, com um token de %4 dias, "
                  "para o servidor %5 porta %6%7. Abra-a com: aph-host --config %3"_s
                      .arg(w.Operator, w.Branch, out)
                      .arg(days)
                      .arg(w.Host)
                      .arg(w.Port)
                      .arg(w.Tls ? u" com TLS"_s : QString()));
    return 0;
}

} // namespace aph

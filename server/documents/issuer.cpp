#include "server/documents/issuer.h"

#include "server/common/cnpj.h"
#include "server/common/hiddentext.h"
#include "server/methods/requests.h"
#include "server/storage/storage.h"
#include "server/storage/tablelist.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The size of NMEMITENTE.
constexpr int kIssuerNameChars = ColumnSize("PARAMGERAL", "NMEMITENTE");

} // namespace

TIssuer ReadIssuer(TStorage& storage)
{
    QSqlQuery& q = storage.Select(
        u"SELECT NMEMITENTE, NRCNPJEMITENTE FROM PARAMGERAL WHERE IDPARAMGERAL = 1"_s);
    TIssuer issuer;
    if (q.next())
        issuer = {q.value(0).toString(), q.value(1).toString()};
    TStorage::Done(q);
    return issuer;
}

void SetIssuer(TStorage& storage, const QString& name, const QString& cnpj)
{
    const QString n = name.trimmed();
    // The name goes onto every client's statement: a line break, an
    // escape or a direction override would change what the client reads.
    if (n.isEmpty() || n.size() > kIssuerNameChars || HasHiddenCharacters(n))
        throw EInvalidArgument(u"O nome do emitente deve ter de 1 a %1 caracteres visíveis (sem "
                               "quebras de linha nem caracteres de controle, de direção do "
                               "texto ou de largura zero)."_s.arg(kIssuerNameChars));
    const QString digits = DocumentDigits(cnpj.trimmed());
    if (!IsValidCnpj(digits))
        throw EInvalidArgument(
            u"CNPJ inválido: \"%1\"; confira os 14 dígitos e os dígitos verificadores."_s.arg(
                cnpj));
    TTransaction tx(storage, TTransaction::Mode::Write);
    if (storage.Exec(u"UPDATE PARAMGERAL SET NMEMITENTE = ?, NRCNPJEMITENTE = ? WHERE "
                     "IDPARAMGERAL = 1"_s,
                     {n, digits}) == 0)
        storage.Exec(u"INSERT INTO PARAMGERAL (IDPARAMGERAL, NMSISTEMA, NMEMITENTE, "
                     "NRCNPJEMITENTE) VALUES (1, 'Apuração de horas', ?, ?)"_s,
                     {n, digits});
    tx.Commit();
}

} // namespace aph

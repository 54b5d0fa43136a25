#include "auth.h"

#include "approvalservice.h"
#include "storage.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

bool IsActiveOperator(TStorage& storage, const QString& operatorCode)
{
    QSqlQuery& q =
        storage.Select(u"SELECT IDOPERATIVO FROM OPERADOR WHERE CDOPERADOR = ?"_s, {operatorCode});
    const bool active = q.next() && q.value(0).toString() == u"A";
    TStorage::Done(q);
    return active;
}

} // namespace

QString NewToken()
{
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    QByteArray bytes(reinterpret_cast<const char*>(words), sizeof words);
    return QString::fromLatin1(bytes.toHex());
}

QString HashToken(const QString& token)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool ConstantTimeEquals(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

QString IssueToken(TStorage& storage, const QString& operatorCode)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    if (!IsActiveOperator(storage, operatorCode))
        throw Exception(
            u"O operador \"%1\" não está cadastrado ou não está ativo."_s.arg(operatorCode));
    const QString token = NewToken();
    storage.Exec(u"INSERT INTO APH_TOKEN (DSHASH, CDOPERADOR, DTCRIACAO) VALUES "
                 "(?, ?, ?)"_s,
                 {HashToken(token), operatorCode, NowOle()});
    tx.Commit();
    return token;
}

bool CheckLogin(TStorage& storage, const QString& operatorCode, const QString& token,
                bool checkToken)
{
    if (operatorCode.isEmpty() || !IsActiveOperator(storage, operatorCode))
        return false;
    if (!checkToken)
        return true;
    const QByteArray presented = HashToken(token).toLatin1();
    QSqlQuery& q =
        storage.Select(u"SELECT DSHASH FROM APH_TOKEN WHERE CDOPERADOR = ?"_s, {operatorCode});
    bool match = false;
    while (q.next())
        match |= ConstantTimeEquals(q.value(0).toString().toLatin1(), presented);
    TStorage::Done(q);
    return match;
}

} // namespace aph

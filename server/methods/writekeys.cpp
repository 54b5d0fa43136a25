#include "server/methods/writekeys.h"

#include "server/common/clock.h"
#include "server/storage/storage.h"

#include <QSqlQuery>

#include <atomic>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

std::atomic<int> g_keyDays{90};

double KeyCutoff()
{
    return NowOle() - g_keyDays.load(std::memory_order_relaxed);
}

} // namespace

void SetRequestKeyDays(int days)
{
    g_keyDays.store(days, std::memory_order_relaxed);
}

int PurgeRequestKeys(TStorage& storage, int batch)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    const int deleted = storage.Exec(
        u"DELETE FROM APH_REQUISICAO WHERE DSCHAVE IN (SELECT DSCHAVE FROM APH_REQUISICAO "
        "WHERE DTREQUISICAO < ? LIMIT ?)"_s,
        {KeyCutoff(), batch});
    tx.Commit();
    return deleted;
}

bool ClaimWriteKey(TStorage& storage, TWriteKey& key)
{
    // A key past its days is new again, whether or not the purge has
    // reached its row yet.
    storage.Exec(u"DELETE FROM APH_REQUISICAO WHERE DSCHAVE = ? AND DTREQUISICAO < ?"_s,
                 {key.Key, KeyCutoff()});
    // Inserting first, rather than looking first, makes a second writer of
    // the same key wait on the first one's row until that one commits or
    // rolls back.
    const int claimed = storage.Exec(
        u"INSERT INTO APH_REQUISICAO (DSCHAVE, NMMETODO, DSRESUMO, CDOPERADOR, DTREQUISICAO, "
        "DSRESPOSTA) VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (DSCHAVE) DO NOTHING"_s,
        {key.Key, key.Method, key.Digest, key.Operator.isEmpty() ? QVariant() : key.Operator,
         NowOle(), QString::fromUtf8(key.Reply)});
    if (claimed == 1)
        return true;
    QSqlQuery& q = storage.Select(
        u"SELECT NMMETODO, DSRESUMO, DSRESPOSTA FROM APH_REQUISICAO WHERE DSCHAVE = ?"_s,
        {key.Key});
    const bool found = q.next();
    const QString method = found ? q.value(0).toString() : QString();
    const QString digest = found ? q.value(1).toString() : QString();
    const QByteArray reply = found ? q.value(2).toString().toUtf8() : QByteArray();
    TStorage::Done(q);
    if (!found)
        throw EStorageError(
            u"A chave de requisição \"%1\" não pôde ser registrada nem lida."_s.arg(key.Key));
    if (method != key.Method || digest != key.Digest)
        throw EKeyReused(u"A chave de requisição \"%1\" já foi usada por outra requisição "
                         "(%2); esta não foi aplicada."_s.arg(key.Key, method));
    key.Replayed = reply;
    return false;
}

void StoreWriteReply(TStorage& storage, TWriteKey& key, const QByteArray& reply)
{
    key.Reply = reply;
    storage.Exec(u"UPDATE APH_REQUISICAO SET DSRESPOSTA = ? WHERE DSCHAVE = ?"_s,
                 {QString::fromUtf8(reply), key.Key});
}

} // namespace aph

#include "admin.h"

#include "generator.h"
#include "schema.h"
#include "storage.h"

#include <QSqlQuery>

namespace aph {

void InitDatabase(TStorage& storage, TInitData data, qint64 scale)
{
    MigrateSchema(storage);
    if (data == TInitData::None)
        return;
    QSqlQuery& q = storage.Select(QStringLiteral("SELECT COUNT(*) FROM CLIENTE"));
    const qint64 clients = q.next() ? q.value(0).toLongLong() : 0;
    TStorage::Done(q);
    if (clients > 0)
        throw Exception(QStringLiteral("O banco de dados já tem dados; os dados de demonstração só "
                                       "são gerados num banco vazio."));
    if (data == TInitData::Demo)
        GenerateDemo(storage);
    else
        GenerateScale(storage, scale);
}

void SetChtStatus(TStorage& storage, const QString& number, const QString& status)
{
    if (!(status == u"P" || status == u"A" || status == u"R" || status == u"N"))
        throw Exception(QStringLiteral("Situação de CHT inválida: \"%1\". Use P (pendente), A "
                                       "(aprovada), R (faturada) ou N (não faturar).")
                            .arg(status));
    TTransaction tx(storage, TTransaction::Mode::Write);
    const int changed = storage.Exec(
        QStringLiteral("UPDATE CHT SET IDSTATUSCHT = ? WHERE NRSEQUCHT = ?"), {status, number});
    if (changed != 1)
        throw Exception(QStringLiteral("A CHT \"%1\" não existe.").arg(number));
    tx.Commit();
}

} // namespace aph

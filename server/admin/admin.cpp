#include "server/admin/admin.h"

#include "server/admin/generator.h"
#include "server/common/hiddentext.h"
#include "server/methods/approvalservice.h"
#include "server/methods/chtstatus.h"
#include "server/storage/schema.h"
#include "server/storage/storage.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace aph {

void InitDatabase(TStorage& storage, TInitData data, qint64 scale)
{
    MigrateSchema(storage);
    if (data == TInitData::None)
        return;
    QSqlQuery& q = storage.Select(u"SELECT COUNT(*) FROM CLIENTE"_s);
    const qint64 clients = q.next() ? q.value(0).toLongLong() : 0;
    TStorage::Done(q);
    if (clients > 0)
        throw Exception(u"O banco de dados já tem dados; os dados de demonstração só "
                        "são gerados num banco vazio."_s);
    if (data == TInitData::Demo)
        GenerateDemo(storage);
    else
        GenerateScale(storage, scale);
}

void SetChtStatus(TStorage& storage, const QString& typed, const QString& status,
                  const QString& reason, const QString& invoice)
{
    if (!(status == u"P" || status == u"A" || status == u"R" || status == u"N"))
        throw Exception(u"Situação de CHT inválida: \"%1\". Use P (pendente), A "
                        "(aprovada), R (faturada) ou N (não faturar)."_s.arg(status));
    if (!invoice.trimmed().isEmpty() && status != u"R")
        throw Exception(u"A nota fiscal (--nota) só acompanha a situação R (faturada)."_s);
    // The invoice and the reason follow the screen's step's rules.
    const QString nota = invoice.trimmed().isEmpty() ? QString() : InvoiceNumber(invoice);
    if (HasControlCharacters(reason))
        throw Exception(u"O motivo não pode ter quebras de linha nem caracteres de controle."_s);
    // "9" names CHT 00009, as in statement.
    const QString number = ChtNumberOf(typed);
    TTransaction tx(storage, TTransaction::Mode::Write);
    QSqlQuery& q =
        storage.Select(u"SELECT IDSTATUSCHT, NRNOTAFISCAL FROM CHT WHERE NRSEQUCHT = ?"_s +
                           storage.ForUpdate(u"CHT"_s),
                       {number});
    const bool found = q.next();
    const QString before = found ? q.value(0).toString() : QString();
    const QString invoiceBefore = found ? q.value(1).toString() : QString();
    TStorage::Done(q);
    if (!found)
        throw Exception(u"A CHT \"%1\" não existe."_s.arg(number));
    const QVariant none(QMetaType::fromType<QString>());
    if (!nota.isEmpty()) {
        // Billed with its invoice, as the screen's step keeps it: checked
        // the same way, and on the CHT and its days' history alike.
        CheckInvoice(storage, number, nota);
        storage.Exec(u"UPDATE CHT SET IDSTATUSCHT = ?, NRNOTAFISCAL = ? WHERE NRSEQUCHT = ?"_s,
                     {status, nota, number});
    } else {
        // A CHT that is no longer billed keeps no invoice, so that its
        // number may be used again.
        storage.Exec(u"UPDATE CHT SET IDSTATUSCHT = ?, NRNOTAFISCAL = CASE WHEN CAST(? AS "
                     "VARCHAR(1)) = 'R' THEN NRNOTAFISCAL END WHERE NRSEQUCHT = ?"_s,
                     {status, status, number});
    }
    // Each CSA of the CHT records the change in its history, with the
    // reason the administrator gave; setting the situation it already has
    // (and the invoice it already has) changes nothing.
    if (before != status || (!nota.isEmpty() && nota != invoiceBefore)) {
        const QString why = reason.trimmed().isEmpty() ? u"linha de comando"_s
                                                       : reason.trimmed().left(kMaxReasonChars);
        const TQueryText history =
            HistoryStatusInsert(HistoryStamp(QString()), number, before, status, why,
                                nota.isEmpty() ? none : QVariant(nota));
        storage.Exec(history.Sql, history.Values);
    }
    tx.Commit();
}

} // namespace aph

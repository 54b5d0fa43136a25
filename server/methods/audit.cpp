#include "server/methods/audit.h"

#include "server/common/clock.h"
#include "server/methods/queries.h"
#include "server/storage/storage.h"

using namespace Qt::StringLiterals;

namespace aph {

void TStorageAudit::Record(const QString& operatorCode, const QString& connectionOperator,
                           const QString& event)
{
    // A call without login names no operator: an empty code, not a null;
    // the codes and the event cut to their columns.
    const QString code = operatorCode.isEmpty() ? u""_s : operatorCode.left(kAuditOperatorChars);
    const QVariant connection = connectionOperator.isEmpty()
                                    ? QVariant(QMetaType::fromType<QString>())
                                    : QVariant(connectionOperator);
    const TQueryText insert = AuditInsert(NowOle(), code, connection, event.left(kAuditEventChars));
    m_storage.Exec(insert.Sql, insert.Values);
}

} // namespace aph

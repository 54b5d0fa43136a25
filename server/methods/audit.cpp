#include "server/methods/audit.h"

#include "host/data/utf8.h"
#include "server/common/clock.h"
#include "server/methods/queries.h"
#include "server/storage/storage.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Text as a column of the width keeps it: see AuditRow.
QString ColumnText(const QString& text, int chars)
{
    QString clean = text;
    for (qsizetype i = 0; i < clean.size(); ++i) {
        const QChar c = clean.at(i);
        if (c.category() == QChar::Other_Control) {
            clean[i] = u' ';
        } else if (c.isHighSurrogate() && i + 1 < clean.size() &&
                   clean.at(i + 1).isLowSurrogate()) {
            ++i; // a whole pair: one character
        } else if (c.isSurrogate()) {
            clean[i] = QChar::ReplacementCharacter;
        }
    }
    return CutChars(clean, chars);
}

} // namespace

TAuditRow AuditRow(double when, const QString& operatorCode, const QString& connectionOperator,
                   const QString& event)
{
    TAuditRow row;
    row.When = when;
    row.Operator = operatorCode.isEmpty() ? u""_s : ColumnText(operatorCode, kAuditOperatorChars);
    row.ConnectionOperator = connectionOperator.isEmpty()
                                 ? QVariant(QMetaType::fromType<QString>())
                                 : QVariant(ColumnText(connectionOperator, kAuditOperatorChars));
    row.Event = ColumnText(event, kAuditEventChars);
    return row;
}

void WriteAuditRow(TStorage& storage, const TAuditRow& row)
{
    const TQueryText insert = AuditInsert(row);
    storage.Exec(insert.Sql, insert.Values);
}

void TStorageAudit::Record(const QString& operatorCode, const QString& connectionOperator,
                           const QString& event)
{
    WriteAuditRow(m_storage, AuditRow(NowOle(), operatorCode, connectionOperator, event));
}

} // namespace aph

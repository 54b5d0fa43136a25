#include "server/documents/statementlimit.h"

#include "server/documents/statement.h"
#include "server/methods/requests.h"
#include "server/storage/storage.h"

#include <QSqlQuery>

#include <atomic>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

std::atomic<int> g_maxDays{kDefaultMaxStatementDays};

} // namespace

void SetMaxStatementDays(int days)
{
    g_maxDays.store(days, std::memory_order_relaxed);
}

int MaxStatementDays()
{
    return g_maxDays.load(std::memory_order_relaxed);
}

void RequireStatementWithinLimit(TStorage& storage, const QString& number)
{
    const QString cht = ChtNumberArgument(number);
    QSqlQuery& q = storage.Select(u"SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT = ?"_s, {cht});
    const qint64 days = q.next() ? q.value(0).toLongLong() : 0;
    TStorage::Done(q);
    if (days > MaxStatementDays())
        throw ERefusal(u"A CHT %1 tem %2 dias, mais que os %3 de um demonstrativo pelo servidor "
                       "(--max-statement-days); gere-o com aph-server statement."_s.arg(cht)
                           .arg(days)
                           .arg(MaxStatementDays()));
}

} // namespace aph

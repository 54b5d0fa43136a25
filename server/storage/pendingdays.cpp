#include "server/storage/pendingdays.h"

#include "server/storage/storage.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace aph {

QString PendingOvertimeCondition(const QString& prefix)
{
    return u"(%1QTHRAPROFATU IS NULL OR %1QTHRAPRCOMIS IS NULL) AND (%1QTHRTRAB > 8 OR "
           "(%1QTHRTRAB > 0 AND %1DTSERVPREST % 7 IN (0, 1)))"_s.arg(prefix);
}

QString PendingOccurrenceCondition(const QString& prefix)
{
    return u"%1QTHRAPRCOMIS IS NOT NULL AND (%1CDOCORR IS NULL OR %1CDOCORR = '') AND "
           "FLOOR(%1QTHRAPRCOMIS * 1000) <> FLOOR(%1QTHRTRAB * 1000)"_s.arg(prefix);
}

const QString kPendingIndexColumns =
    u"NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, DTSERVPREST, CDFUNC, NRSEQUCHT, QTHRTRAB, "
    "QTHRAPROFATU, QTHRAPRCOMIS, CDOCORR"_s;

const QString kPendingFixedColumns =
    u"NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, CDEMPRESA, NRSEQUCHT, DTPRIMEIRO, "
    "DTULTIMO, DTSERVPREST"_s;

namespace {

// The group of a day, as the exceptions list sums it.
const QString kGroup =
    u"A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, A.CDEMPRESA, A.NRSEQUCHT"_s;

// The groups of one service and employee; prefix is the alias and its
// dot, or empty.
QString PairGroups(const QString& prefix)
{
    return u"%1NRPROPOSFAS = ? AND %1NRVERPROPFAS = ? AND %1NRSERVCONT = ? AND %1CDFUNC = ?"_s.arg(
        prefix);
}

// The groups the CHTs numbered between two bound values took their days
// from, and their own: the days without CHT and those CHTs' days of the
// same services and employees.
QString ChtGroups(const QString& prefix)
{
    return u"(%1NRPROPOSFAS, %1NRVERPROPFAS, %1NRSERVCONT, %1CDFUNC) IN (SELECT H.NRPROPOSFAS, "
           "H.NRVERPROPFAS, H.NRSERVCONT, H.CDFUNC FROM CHT H WHERE H.NRSEQUCHT BETWEEN ? AND ?) "
           "AND (%1NRSEQUCHT IS NULL OR %1NRSEQUCHT BETWEEN ? AND ?)"_s.arg(prefix);
}

void Replace(TStorage& storage, const QString& rows, const QString& scope,
             const QVariantList& values)
{
    storage.Exec(u"DELETE FROM APH_PENDFIXO WHERE "_s + rows, values);
    storage.Exec(u"INSERT INTO APH_PENDFIXO ("_s + kPendingFixedColumns + u") "_s +
                     PendingFixedSelect(scope),
                 values);
}

} // namespace

QString PendingFixedSelect(const QString& scope)
{
    // The running sum in day order, as the list's own sum over a period
    // that holds the whole group; a day is pending when the sum passes the
    // contracted hours on it and did not before.
    const QString billed = u"COALESCE(A.QTHRAPROFATU, A.QTHRTRAB)"_s;
    return u"SELECT W.NRPROPOSFAS, W.NRVERPROPFAS, W.NRSERVCONT, W.CDFUNC, W.CDEMPRESA, "
           "W.NRSEQUCHT, MIN(W.DTSERVPREST), MAX(W.DTSERVPREST), MIN(CASE WHEN W.QTACUM > "
           "W.QTSERVCONT + 0.000005 "
           "AND W.QTACUM - W.QTDIA <= W.QTSERVCONT + 0.000005 THEN W.DTSERVPREST END) FROM "
           "(SELECT "_s +
           kGroup + u", A.DTSERVPREST, SC.QTSERVCONT, "_s + billed + u" AS QTDIA, SUM("_s + billed +
           u") OVER (PARTITION BY "_s + kGroup +
           u" ORDER BY A.DTSERVPREST) AS QTACUM FROM CSA A JOIN SERVCONT SC ON "
           "SC.NRPROPOSFAS = A.NRPROPOSFAS AND SC.NRVERPROPFAS = A.NRVERPROPFAS AND "
           "SC.NRSERVCONT = A.NRSERVCONT WHERE SC.IDTIPOCOBRCONT = 'F'"_s +
           (scope.isEmpty() ? QString() : u" AND "_s + scope) +
           u") W GROUP BY W.NRPROPOSFAS, W.NRVERPROPFAS, W.NRSERVCONT, W.CDFUNC, W.CDEMPRESA, "
           "W.NRSEQUCHT"_s;
}

void RebuildPendingFixed(TStorage& storage)
{
    storage.ExecDirect(u"DELETE FROM APH_PENDFIXO"_s);
    storage.ExecDirect(u"INSERT INTO APH_PENDFIXO ("_s + kPendingFixedColumns + u") "_s +
                       PendingFixedSelect(QString()));
}

void RefreshPendingFixedOfCsa(TStorage& storage, const QVariantList& key)
{
    Replace(storage, PairGroups(QString()), PairGroups(u"A."_s), key.mid(0, 4));
}

void RefreshPendingFixedOfChts(TStorage& storage, const QString& firstCht, const QString& lastCht)
{
    Replace(storage, ChtGroups(QString()), ChtGroups(u"A."_s),
            {firstCht, lastCht, firstCht, lastCht});
}

qint64 PendingFixedMismatches(TStorage& storage)
{
    const QString kept = u"SELECT "_s + kPendingFixedColumns + u" FROM APH_PENDFIXO"_s;
    const QString due = PendingFixedSelect(QString());
    QSqlQuery& q = storage.Select(u"SELECT (SELECT COUNT(*) FROM ("_s + kept + u" EXCEPT "_s + due +
                                  u") X) + (SELECT COUNT(*) FROM ("_s + due + u" EXCEPT "_s + kept +
                                  u") Y)"_s);
    const qint64 count = q.next() ? q.value(0).toLongLong() : 0;
    TStorage::Done(q);
    return count;
}

} // namespace aph

#pragma once

#include <QString>
#include <QVariantList>

namespace aph {

class TStorage;

// The conditions that make a CSA's day pending on its own, whatever the
// period: the engine keeps an index of the days each one holds (partial
// indexes, see the schema), and a read that repeats the condition word for
// word reads only those days. prefix is the CSA's alias and its dot, or
// empty.
// An overtime or weekend day (over eight hours, or hours on a Saturday or
// Sunday: day 0 is a Saturday) whose approval is still empty.
QString PendingOvertimeCondition(const QString& prefix);
// Commission and hours worked apart in whole thousandths, no occurrence.
QString PendingOccurrenceCondition(const QString& prefix);
// The columns of those indexes: a service's days in order, with what the
// list and its count need, so that counting reads the index alone.
extern const QString kPendingIndexColumns;

// The days of fixed-value services (IDTIPOCOBRCONT F) on which the hours
// billed so far pass the contracted hours, kept current by every write
// that changes them, so that the exceptions list reads what it returns
// instead of summing every day of the period.
//
// APH_PENDFIXO holds one row per group of days of a fixed-value service:
// proposal, version, service, employee, company and CHT (null for the days
// without CHT). DTPRIMEIRO and DTULTIMO are the group's first and last
// days; DTSERVPREST the day on
// which the running sum of the billed hours (an empty approval bills the
// hours worked), from that first day on, passes QTSERVCONT, or null when
// it never does. A period that starts on or before DTPRIMEIRO sees that
// same day; one that starts later cuts the group and is summed again from
// its own first day (see the exceptions list).

// The rows the table should hold, as a SELECT of its columns (in the
// order of kPendingFixedColumns) over the CSAs that scope keeps: a
// condition on the CSA's alias A, with the values it binds; empty for all.
QString PendingFixedSelect(const QString& scope);
extern const QString kPendingFixedColumns;

// Recomputes every group (an upgrade, an import, a copy, a generated
// database).
void RebuildPendingFixed(TStorage& storage);
// Recomputes the groups of one service and employee (after SetCSA changed
// their days): key is proposal, version, service and employee; a day
// after them is ignored.
void RefreshPendingFixedOfCsa(TStorage& storage, const QVariantList& key);
// Recomputes the groups the CHTs numbered first to last took days from:
// their own and the days without CHT of their services and employees.
void RefreshPendingFixedOfChts(TStorage& storage, const QString& firstCht, const QString& lastCht);
// How many groups the table holds wrongly: rows it lacks, rows it has
// that it should not (the check).
qint64 PendingFixedMismatches(TStorage& storage);

} // namespace aph

#pragma once

#include <QString>

namespace aph {

class TStorage;

// The most days (CSAs) a statement the server builds may have: a longer
// CHT would hold a worker for seconds and send a reply of many megabytes.
constexpr int kDefaultMaxStatementDays = 10000;

// Set once by the process that serves (--max-statement-days).
void SetMaxStatementDays(int days);
int MaxStatementDays();

// Refuses (ERefusal, saying why) the statement of a CHT with more days
// than the limit, before anything is built.
void RequireStatementWithinLimit(TStorage& storage, const QString& number);

} // namespace aph

#pragma once

#include "server/storage/storage.h"

#include <QString>

#include <memory>

namespace aph {

// The destination of one copy, from the moment it is claimed to its
// removal after a failure. Claiming it makes sure no one else uses it: on
// SQLite a file made new here (never through a link), locked for the
// whole copy; on PostgreSQL the bulk-write lock on a database without
// tables. A copy that did not finish (marked with kUnfinishedCopyTable,
// and not locked by a copy still at work) counts as empty and is
// replaced. The mark is made before anything else, in a transaction of
// its own.
class TCopyTarget
{
public:
    explicit TCopyTarget(const TDatabaseSpec& spec); // throws Exception
    ~TCopyTarget();
    TCopyTarget(const TCopyTarget&) = delete;
    TCopyTarget& operator=(const TCopyTarget&) = delete;

    TStorage& Storage() { return *m_storage; }
    // Whether an unfinished copy was there and was replaced.
    bool Replaced() const { return m_replaced; }
    // Removes what the copy made (the file, or every table); returns the
    // sentence that says so, or that says what is left and why it is
    // harmless (still marked unfinished) when it could not be removed.
    QString Remove() noexcept;

private:
    void ClaimFile();
    void ClaimDatabase();
    void Mark();

    TDatabaseSpec m_spec;
    std::unique_ptr<TStorage> m_storage;
    int m_fileLock = -1;
    bool m_replaced = false;
};

} // namespace aph

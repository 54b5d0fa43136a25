#pragma once

#include "server/methods/audit.h"
#include "server/storage/storage.h"

#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

namespace aph {

// The audit records of the reads (who asked for what), each committed
// before its reply goes out. One writer thread with its own connection
// commits the records every worker queued meanwhile in one transaction
// (group commit) and wakes each worker with the outcome.
//
// On SQLite the records go to a file of their own beside the database
// (PATH + ".audit"): a commit to the main file would make every other
// connection drop its page cache and memory map, so auditing there slows
// every read; and a lock held on the main file must not stop reads. On
// PostgreSQL they go to the database's own APH_AUDITORIA.
class TAuditLog : public TAuditTrail
{
public:
    // waitMs bounds how long a worker waits for its record.
    TAuditLog(const TDatabaseSpec& database, int waitMs);
    ~TAuditLog() override;
    TAuditLog(const TAuditLog&) = delete;
    TAuditLog& operator=(const TAuditLog&) = delete;

    // Returns once the record is committed; throws EStorageError, with an
    // incident id, when it could not be within the bound.
    void Record(const QString& operatorCode, const QString& connectionOperator,
                const QString& event) override;

    // The SQLite file of the read audit records of a database file.
    static QString SqlitePath(const QString& databasePath);

private:
    struct TEntry;
    using TBatch = std::vector<std::shared_ptr<TEntry>>;
    void Run();
    void Write(const TBatch& batch);
    void OpenStorage();

    TDatabaseSpec m_database;
    int m_waitMs;
    std::unique_ptr<TStorage> m_storage; // the writer thread's
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    TBatch m_queue;
    bool m_stopping = false;
    QThread* m_thread = nullptr;
};

} // namespace aph

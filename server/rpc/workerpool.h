#pragma once

#include "server/methods/auditlog.h"
#include "server/rpc/dispatcher.h"
#include "server/storage/storage.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

class QThread;

namespace aph {

// Threads that each own a database connection and a dispatcher, and run
// the requests handed to them in arrival order. A job gets no dispatcher,
// but the message for the client, when its worker cannot open the
// database.
//
// Several servers on one PostgreSQL database may share its capacity: with
// DbWorkers set, the servers connected to the database now (each known by
// the application name of its connections) split that many running
// requests among themselves, and each runs at most its share, looked at
// again every few seconds; a server that stops gives its share back.
class TWorkerPool
{
public:
    struct TOptions
    {
        TDatabaseSpec Database;
        int Workers = 4;   // threads: the most requests this server runs at once
        int DbWorkers = 0; // requests all servers run at once; 0: no sharing
        int AuditWaitMs = 2000;
        bool RequireLogin = true;
        int KeepRequestsDays = 90;      // a write's request key, then new again
        int MaxStatementDays = 10000;   // days of a statement built here
        bool SeparateDuties = false;    // see TServerOptions
        bool RequireAcceptance = false; // see TServerOptions
        QString UrlBase = {};           // see TServerOptions
    };
    using TJob = std::function<void(TDispatcher*, const QString& failure)>;

    explicit TWorkerPool(const TOptions& options);
    ~TWorkerPool();
    // A heavy job (a statement: seconds of work and megabytes of reply
    // for a long CHT) runs on at most a quarter of the workers, at least
    // one; the others keep taking the light jobs queued behind it.
    void Submit(TJob job, bool heavy = false);

    // This server's share of total among instances, by its rank among them
    // (0-based): the shares add up to total, and none is below one.
    static int ShareOf(int total, int instances, int rank);

private:
    void Run();
    void Resize(TStorage& storage);

    TDatabaseSpec m_database;
    TAuditLog m_audit;
    bool m_requireLogin;
    bool m_separateDuties;
    bool m_requireAcceptance;
    QString m_urlBase;
    int m_workers;
    int m_dbWorkers;
    QString m_instance; // this server's application name
    std::mutex m_mutex;
    std::condition_variable m_wake;
    struct TQueued
    {
        TJob Job;
        bool Heavy = false;
    };
    // The first job a free worker may take now; end() when none.
    std::deque<TQueued>::iterator NextJob();

    std::deque<TQueued> m_jobs;
    int m_running = 0;
    int m_heavyRunning = 0;
    int m_heavyLimit;
    int m_limit;
    bool m_sized = false; // the share has been looked at once
    qint64 m_nextSizingMs = 0;
    bool m_stopping = false;
    std::vector<QThread*> m_threads;
};

} // namespace aph

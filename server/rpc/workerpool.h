#pragma once

#include "server/methods/auditlog.h"
#include "server/rpc/dispatcher.h"
#include "server/storage/storage.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
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
    // A light job: taken in arrival order by the first free worker.
    void Submit(TJob job);
    // A heavy job (a read that scans a period, see kHeavyMethods) of one
    // owner (an operator): heavy jobs run on at most half the workers
    // (at least one, and one fewer than all when there are two or more),
    // so the light jobs queued behind them keep the rest; each owner runs
    // at most kHeavyRunningPerOwner at once, and a free place goes to the
    // owner running fewest. False, and nothing queued, when the owner
    // already has kHeavyPerOwner heavy jobs running and waiting.
    bool SubmitHeavy(TJob job, const QString& owner);
    static constexpr int kHeavyRunningPerOwner = 2;
    static constexpr int kHeavyPerOwner = 6;

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
        QString Owner; // of a heavy job
    };
    // An owner's heavy jobs now.
    struct TOwnerLoad
    {
        int Running = 0;
        int Waiting = 0;
    };
    // The job a free worker may take now; end() when none.
    std::deque<TQueued>::iterator NextJob();
    // The heavy jobs that may run at once, out of the current limit.
    int HeavyLimit() const;
    // Counts a job taken (+1) or ended (-1).
    void CountTaken(const TQueued& job);
    void CountEnded(bool heavy, const QString& owner);

    std::deque<TQueued> m_jobs;
    std::map<QString, TOwnerLoad> m_owners; // owners with heavy jobs
    int m_running = 0;
    int m_heavyRunning = 0;
    int m_limit;
    bool m_sized = false; // the share has been looked at once
    qint64 m_nextSizingMs = 0;
    bool m_stopping = false;
    std::vector<QThread*> m_threads;
};

} // namespace aph

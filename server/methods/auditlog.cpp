#include "server/methods/auditlog.h"

#include "server/common/clock.h"
#include "server/common/incident.h"
#include "server/storage/schema.h"

#include <QThread>

#include <algorithm>
#include <chrono>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

using TClock = std::chrono::steady_clock;

QString Refusal(const QString& incident)
{
    return u"O registro de auditoria desta consulta não pôde ser gravado, e os dados não são "
           "enviados sem ele; tente novamente (ocorrência %1)."_s.arg(incident);
}

} // namespace

struct TAuditLog::TEntry
{
    TAuditRow Row;
    TClock::time_point Deadline;
    bool Taken = false; // in the batch the writer is committing
    bool Done = false;
    QString Incident; // of the failure; empty once written
};

TAuditLog::TAuditLog(const TDatabaseSpec& database, int waitMs)
    : m_database(database), m_waitMs(std::max(1, waitMs))
{
    m_thread = QThread::create([this] { Run(); });
    m_thread->start();
}

TAuditLog::~TAuditLog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread->wait();
    delete m_thread;
}

QString TAuditLog::SqlitePath(const QString& databasePath)
{
    return databasePath + u".audit"_s;
}

void TAuditLog::Record(const QString& operatorCode, const QString& connectionOperator,
                       const QString& event)
{
    auto entry = std::make_shared<TEntry>();
    entry->Row = AuditRow(NowOle(), operatorCode, connectionOperator, event);
    entry->Deadline = TClock::now() + std::chrono::milliseconds(m_waitMs);
    std::unique_lock lock(m_mutex);
    m_queue.push_back(entry);
    m_wake.notify_one();
    const auto done = [&entry] {
        return entry->Done;
    };
    if (!m_done.wait_until(lock, entry->Deadline, done)) {
        if (entry->Taken) {
            // Its transaction is under way, bounded by the writer's own
            // lock timeout; the outcome decides the reply.
            m_done.wait(lock, done);
        } else {
            m_queue.erase(std::find(m_queue.begin(), m_queue.end(), entry));
            entry->Done = true;
            entry->Incident = NewIncidentId();
            LogIncident(entry->Incident, u"auditoria: o registro \"%1\" não foi gravado em %2 ms"_s
                                             .arg(entry->Row.Event)
                                             .arg(m_waitMs));
        }
    }
    if (!entry->Incident.isEmpty())
        throw EStorageError(Refusal(entry->Incident), entry->Incident);
}

void TAuditLog::OpenStorage()
{
    TDatabaseSpec spec = m_database;
    // Half the wait for locks, so that a worker's record is decided within
    // its bound even when it waited in the queue.
    spec.BusyTimeoutMs = std::max(1, m_waitMs / 2);
    if (spec.Backend == TDatabaseSpec::Kind::Sqlite) {
        spec.Path = SqlitePath(spec.Path);
        m_storage = TStorage::Open(spec, TStorage::TOpenMode::Create);
        m_storage->ExecDirect(AuditTableSql(true));
    } else {
        m_storage = TStorage::Open(spec);
    }
}

void TAuditLog::Run()
{
    try {
        OpenStorage(); // at once, so that the file exists from the start
    } catch (const EStorageError&) {
        // Logged; the first batch tries again.
    }
    for (;;) {
        TBatch batch;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                break;
            batch.swap(m_queue);
            for (const auto& entry : batch)
                entry->Taken = true;
        }
        Write(batch);
        m_done.notify_all();
    }
    m_storage.reset();
}

void TAuditLog::Write(const TBatch& batch)
{
    QString incident;
    try {
        if (!m_storage)
            OpenStorage();
        TTransaction tx(*m_storage, TTransaction::Mode::Write);
        for (const auto& e : batch)
            WriteAuditRow(*m_storage, e->Row);
        tx.Commit();
    } catch (const Exception& e) {
        const auto* storageError = dynamic_cast<const EStorageError*>(&e);
        incident = storageError ? storageError->Incident() : QString();
        if (incident.isEmpty()) {
            incident = NewIncidentId();
            LogIncident(incident, u"auditoria: %1"_s.arg(e.Message()));
        }
        if (!m_storage || m_storage->IsBroken())
            m_storage.reset();
    }
    std::lock_guard lock(m_mutex);
    for (const auto& entry : batch) {
        entry->Incident = incident;
        entry->Done = true;
    }
}

} // namespace aph

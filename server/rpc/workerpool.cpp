#include "server/rpc/workerpool.h"

#include "server/common/incident.h"
#include "server/common/serverlog.h"
#include "server/documents/statementlimit.h"
#include "server/methods/writekeys.h"

#include <QDateTime>
#include <QThread>
#include <QUuid>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// How often a server looks again at how many servers share the database.
constexpr qint64 kSizingIntervalMs = 5000;
// The start of the application name of every server's connections.
const QString kInstancePrefix = u"aph-server/"_s;

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The client's message when a worker cannot open the database (the file
// removed, the server unreachable); the reason goes to the log.
QString OpenFailure(const QString& reason)
{
    const QString incident = NewIncidentId();
    LogIncident(incident, reason);
    return u"O servidor não conseguiu abrir o banco de dados (ocorrência %1); tente novamente "
           "ou informe este código ao suporte."_s.arg(incident);
}

} // namespace

TWorkerPool::TWorkerPool(const TOptions& options)
    : m_database(options.Database), m_audit(options.Database, options.AuditWaitMs),
      m_requireLogin(options.RequireLogin), m_separateDuties(options.SeparateDuties),
      m_requireAcceptance(options.RequireAcceptance), m_urlBase(options.UrlBase),
      m_workers(options.Workers), m_dbWorkers(options.DbWorkers),
      m_heavyLimit(std::max(1, options.Workers / 4)),
      m_limit(options.DbWorkers > 0 ? std::min(options.Workers, options.DbWorkers)
                                    : options.Workers)
{
    SetRequestKeyDays(options.KeepRequestsDays);
    SetMaxStatementDays(options.MaxStatementDays);
    if (m_dbWorkers > 0) {
        m_instance = kInstancePrefix + QUuid::createUuid().toString(QUuid::Id128);
        m_database.ApplicationName = m_instance;
    }
    for (int i = 0; i < m_workers; ++i) {
        QThread* thread = QThread::create([this] { Run(); });
        thread->start();
        m_threads.push_back(thread);
    }
}

TWorkerPool::~TWorkerPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (QThread* thread : m_threads) {
        thread->wait();
        delete thread;
    }
}

void TWorkerPool::Submit(TJob job, bool heavy)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::move(job), heavy});
    }
    m_wake.notify_one();
}

std::deque<TWorkerPool::TQueued>::iterator TWorkerPool::NextJob()
{
    if (m_running >= m_limit)
        return m_jobs.end();
    const bool heavyRoom = m_heavyRunning < m_heavyLimit;
    return std::find_if(m_jobs.begin(), m_jobs.end(),
                        [heavyRoom](const TQueued& q) { return !q.Heavy || heavyRoom; });
}

int TWorkerPool::ShareOf(int total, int instances, int rank)
{
    if (instances <= 0)
        return std::max(total, 1);
    const int share = total / instances + (rank < total % instances ? 1 : 0);
    return std::max(share, 1);
}

// Counts the servers whose connections are on the database now and takes
// this one's share; a failed look keeps the share it had.
void TWorkerPool::Resize(TStorage& storage)
{
    QStringList instances;
    try {
        instances = storage.ConnectedApplications(kInstancePrefix);
    } catch (const Exception&) {
        return;
    }
    if (!instances.contains(m_instance)) {
        instances << m_instance;
        instances.sort();
    }
    const int share = ShareOf(m_dbWorkers, static_cast<int>(instances.size()),
                              static_cast<int>(instances.indexOf(m_instance)));
    const int limit = std::min(share, m_workers);
    {
        std::lock_guard lock(m_mutex);
        if (limit == m_limit && m_sized)
            return;
        m_limit = limit;
        m_sized = true;
    }
    m_wake.notify_all();
    LogLine(TLogLevel::Info, u"servidores no banco: %1; este executa até %2 requisições ao mesmo "
                             "tempo (de %3 no total)"_s.arg(instances.size())
                                 .arg(limit)
                                 .arg(m_dbWorkers));
}

void TWorkerPool::Run()
{
    std::unique_ptr<TStorage> storage;
    std::unique_ptr<TDispatcher> dispatcher;
    for (;;) {
        TJob job;
        bool heavy = false;
        bool resize = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || NextJob() != m_jobs.end(); });
            const auto next = NextJob();
            if (next == m_jobs.end())
                break; // stopping, and nothing this worker may run
            job = std::move(next->Job);
            heavy = next->Heavy;
            m_jobs.erase(next);
            ++m_running;
            m_heavyRunning += heavy ? 1 : 0;
            const qint64 now = NowMs();
            resize = m_dbWorkers > 0 && now >= m_nextSizingMs;
            if (resize)
                m_nextSizingMs = now + kSizingIntervalMs;
        }
        QString failure;
        if (!dispatcher) {
            try {
                storage = TStorage::Open(m_database);
                dispatcher =
                    std::make_unique<TDispatcher>(*storage, m_requireLogin, &m_audit,
                                                  m_separateDuties, m_requireAcceptance, m_urlBase);
            } catch (const Exception& e) {
                failure = OpenFailure(e.Message());
            }
        }
        if (resize && storage)
            Resize(*storage);
        job(dispatcher.get(), failure);
        {
            std::lock_guard lock(m_mutex);
            --m_running;
            m_heavyRunning -= heavy ? 1 : 0;
        }
        // A heavy job's end may let a waiting worker take a heavy one.
        if (heavy)
            m_wake.notify_all();
        else
            m_wake.notify_one();
        if (storage && storage->IsBroken()) {
            // The next request gets a fresh connection.
            LogIncident(NewIncidentId(), u"conexão com o banco de dados descartada; a próxima "
                                         "requisição abre outra"_s);
            dispatcher.reset();
            storage.reset();
        }
    }
    dispatcher.reset();
    storage.reset();
}

} // namespace aph

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

void TWorkerPool::Submit(TJob job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::move(job), false, QString()});
    }
    m_wake.notify_one();
}

bool TWorkerPool::SubmitHeavy(TJob job, const QString& owner)
{
    {
        std::lock_guard lock(m_mutex);
        TOwnerLoad& load = m_owners[owner];
        if (load.Running + load.Waiting >= kHeavyPerOwner)
            return false;
        ++load.Waiting;
        m_jobs.push_back({std::move(job), true, owner});
    }
    // Any worker may be the one whose turn this is.
    m_wake.notify_all();
    return true;
}

int TWorkerPool::HeavyLimit() const
{
    return m_limit > 1 ? std::max(1, m_limit / 2) : 1;
}

std::deque<TWorkerPool::TQueued>::iterator TWorkerPool::NextJob()
{
    if (m_running >= m_limit)
        return m_jobs.end();
    const bool heavyRoom = m_heavyRunning < HeavyLimit();
    // The first light job, and the heavy job of the owner running fewest
    // (the earliest among equals) that its owner may start now.
    auto light = m_jobs.end();
    auto heavy = m_jobs.end();
    int heavyOwnerRunning = kHeavyRunningPerOwner;
    for (auto it = m_jobs.begin(); it != m_jobs.end(); ++it) {
        if (!it->Heavy) {
            if (light == m_jobs.end())
                light = it;
            continue;
        }
        if (!heavyRoom)
            continue;
        const int running = m_owners[it->Owner].Running;
        if (running < heavyOwnerRunning) {
            heavy = it;
            heavyOwnerRunning = running;
        }
    }
    if (heavy == m_jobs.end())
        return light;
    if (light == m_jobs.end())
        return heavy;
    return heavy < light ? heavy : light;
}

void TWorkerPool::CountTaken(const TQueued& job)
{
    ++m_running;
    if (!job.Heavy)
        return;
    ++m_heavyRunning;
    TOwnerLoad& load = m_owners[job.Owner];
    --load.Waiting;
    ++load.Running;
}

void TWorkerPool::CountEnded(bool heavy, const QString& owner)
{
    --m_running;
    if (!heavy)
        return;
    --m_heavyRunning;
    const auto load = m_owners.find(owner);
    if (--load->second.Running == 0 && load->second.Waiting == 0)
        m_owners.erase(load);
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
        QString owner;
        bool resize = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || NextJob() != m_jobs.end(); });
            const auto next = NextJob();
            if (next == m_jobs.end())
                break; // stopping, and nothing this worker may run
            CountTaken(*next);
            job = std::move(next->Job);
            heavy = next->Heavy;
            owner = next->Owner;
            m_jobs.erase(next);
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
            CountEnded(heavy, owner);
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

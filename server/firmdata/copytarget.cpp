#include "server/firmdata/copytarget.h"

#include "server/common/newfile.h"
#include "server/firmdata/copy.h"
#include "server/methods/auditlog.h"
#include "server/storage/schema.h"

#include <QFile>
#include <QSqlQuery>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The mode of the destination file: the firm's data, for its owner.
constexpr mode_t kFileMode = 0600;

QStringList SqliteCompanions(const QString& path)
{
    return {path + u"-wal"_s, path + u"-shm"_s, path + u"-journal"_s};
}

[[noreturn]] void RefuseTaken(const QString& path)
{
    throw Exception(u"O arquivo de destino \"%1\" já existe; a cópia só grava num arquivo "
                    "novo."_s.arg(path));
}

// A lock on an existing destination file, when it is one of ours to
// replace: a regular file (not a link) that no copy at work holds locked
// and whose database carries the unfinished mark. -1 when it is not.
int LockUnfinishedFile(const TDatabaseSpec& spec)
{
    const int fd =
        ::open(QFile::encodeName(spec.Path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st
    {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        throw Exception(u"Outra cópia está gravando \"%1\"; tente de novo quando ela "
                        "terminar."_s.arg(spec.Path));
    }
    bool unfinished = false;
    try {
        unfinished = IsUnfinishedCopy(*TStorage::Open(spec, TStorage::TOpenMode::ReadOnly));
    } catch (const Exception&) {
        // Not a database this server can open: not one of its copies.
    }
    if (!unfinished) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Undoes a copy to PostgreSQL: the destination was empty, so every table
// and view there now is the copy's. Through a connection of its own when
// the copy's was lost.
void DropTables(TStorage& to, const TDatabaseSpec& spec)
{
    std::unique_ptr<TStorage> fresh;
    TStorage* storage = &to;
    if (to.IsBroken()) {
        fresh = TStorage::Open(spec);
        storage = fresh.get();
    }
    QStringList drops;
    QSqlQuery& q = storage->Select(u"SELECT table_type, table_name FROM information_schema.tables "
                                   "WHERE table_schema = current_schema() ORDER BY 1 DESC"_s);
    while (q.next())
        drops << u"DROP %1 IF EXISTS %2 CASCADE"_s.arg(
            q.value(0).toString() == u"VIEW" ? u"VIEW"_s : u"TABLE"_s, q.value(1).toString());
    TStorage::Done(q);
    TTransaction tx(*storage, TTransaction::Mode::Write);
    for (const QString& drop : drops)
        storage->ExecDirect(drop);
    tx.Commit();
}

qint64 CountTables(TStorage& to)
{
    QSqlQuery& q = to.Select(u"SELECT COUNT(*) FROM information_schema.tables WHERE "
                             "table_schema NOT IN ('pg_catalog', 'information_schema')"_s);
    const qint64 n = q.next() ? q.value(0).toLongLong() : 0;
    TStorage::Done(q);
    return n;
}

} // namespace

TCopyTarget::TCopyTarget(const TDatabaseSpec& spec) : m_spec(spec)
{
    if (spec.Backend == TDatabaseSpec::Kind::Sqlite)
        ClaimFile();
    else
        ClaimDatabase();
    Mark();
}

TCopyTarget::~TCopyTarget()
{
    // SQLite's own locks on the file go when any descriptor of it closes:
    // its connection first.
    m_storage.reset();
    if (m_fileLock >= 0)
        ::close(m_fileLock);
}

// Takes the destination file's name at once, so that of two copies to one
// file only one ever writes it, and holds it locked while the copy runs.
// Refuses a name already taken (a link, a dangling one too), and a file of
// audit records or a write-ahead log left there by another database.
void TCopyTarget::ClaimFile()
{
    const QByteArray name = QFile::encodeName(m_spec.Path);
    if (NameTaken(m_spec.Path)) {
        const int lock = LockUnfinishedFile(m_spec);
        if (lock < 0)
            RefuseTaken(m_spec.Path);
        for (const QString& file : QStringList{m_spec.Path} + SqliteCompanions(m_spec.Path))
            QFile::remove(file);
        ::close(lock);
        m_replaced = true;
    }
    for (const QString& taken :
         QStringList{m_spec.Path + u"-wal"_s, TAuditLog::SqlitePath(m_spec.Path)})
        if (NameTaken(taken))
            RefuseTaken(taken);
    m_fileLock =
        ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
    if (m_fileLock < 0) {
        if (errno == EEXIST)
            RefuseTaken(m_spec.Path);
        throw Exception(u"Não foi possível criar o arquivo de destino \"%1\"; verifique a pasta "
                        "e a permissão de gravação."_s.arg(m_spec.Path));
    }
    ::flock(m_fileLock, LOCK_EX | LOCK_NB);
    try {
        m_storage = TStorage::Open(m_spec, TStorage::TOpenMode::Create);
    } catch (...) {
        Remove();
        throw;
    }
}

// A database without tables, or one holding an unfinished copy, under the
// bulk-write lock, so that no import or other copy writes it meanwhile.
void TCopyTarget::ClaimDatabase()
{
    m_storage = TStorage::Open(m_spec, TStorage::TOpenMode::Create);
    LockBulkWrite(*m_storage);
    if (CountTables(*m_storage) == 0)
        return;
    if (!IsUnfinishedCopy(*m_storage))
        throw Exception(u"O banco de destino não está vazio: já tem tabelas. A cópia só grava "
                        "num banco vazio; crie um novo (createdb) e copie para ele."_s);
    DropTables(*m_storage, m_spec);
    m_replaced = true;
}

void TCopyTarget::Mark()
{
    try {
        TTransaction tx(*m_storage, TTransaction::Mode::Write);
        m_storage->ExecDirect(u"CREATE TABLE %1 (NRMARCA INTEGER)"_s.arg(kUnfinishedCopyTable));
        tx.Commit();
    } catch (const Exception& e) {
        throw Exception(
            u"A cópia falhou ao preparar o destino: %1 %2"_s.arg(e.Message(), Remove()));
    }
}

QString TCopyTarget::Remove() noexcept
{
    try {
        if (m_spec.Backend == TDatabaseSpec::Kind::Postgres) {
            DropTables(*m_storage, m_spec);
            return u"O destino foi esvaziado: nada ficou gravado nele."_s;
        }
        m_storage.reset();
        // The name is removed only while it still holds the file this copy
        // made.
        struct stat mine
        {
        }, named{};
        if (m_fileLock >= 0 && ::fstat(m_fileLock, &mine) == 0 &&
            ::lstat(QFile::encodeName(m_spec.Path).constData(), &named) == 0 &&
            mine.st_dev == named.st_dev && mine.st_ino == named.st_ino)
            for (const QString& file : QStringList{m_spec.Path} + SqliteCompanions(m_spec.Path))
                QFile::remove(file);
        return u"O arquivo de destino foi removido."_s;
    } catch (const Exception& e) {
        return u"O destino não pôde ser removido (%1); ele continua marcado como cópia que não "
               "terminou: check e serve o recusam, e uma nova cópia o substitui."_s.arg(
                   e.Message());
    } catch (...) {
        return u"O destino não pôde ser removido; ele continua marcado como cópia que não "
               "terminou: check e serve o recusam, e uma nova cópia o substitui."_s;
    }
}

} // namespace aph

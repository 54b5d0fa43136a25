#include "server/storage/sqlitecopy.h"

#include "host/data/exceptions.h"
#include "host/data/scopeguard.h"
#include "server/common/newfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Pages copied per step, and the pause between steps that leaves the disk
// to the servers writing meanwhile.
constexpr int kPagesPerStep = 1024;
constexpr int kPauseMs = 2;
// A new copy's permissions before the umask, as SQLite gives its files.
constexpr mode_t kNewFileMode = 0644;

QString SqliteText(int code)
{
    return QString::fromUtf8(sqlite3_errstr(code));
}

// An SQLite connection of its own, closed on every way out.
struct TConnection
{
    sqlite3* Handle = nullptr;
    TConnection(const QString& path, int flags)
    {
        const int rc =
            sqlite3_open_v2(QFile::encodeName(path).constData(), &Handle, flags, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close_v2(Handle);
            throw Exception(u"Não foi possível abrir %1: %2"_s.arg(path, SqliteText(rc)));
        }
        sqlite3_busy_timeout(Handle, 10000);
    }
    ~TConnection() { sqlite3_close_v2(Handle); }
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;
    void Exec(const char* sql, const QString& path)
    {
        const int rc = sqlite3_exec(Handle, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw Exception(u"Não foi possível copiar %1: %2"_s.arg(path, SqliteText(rc)));
    }
};

} // namespace

void RefuseExistingFile(const QString& file)
{
    if (NameTaken(file))
        throw Exception(u"O arquivo %1 já existe (um arquivo, um link ou outra coisa com esse "
                        "nome); a cópia nunca sobrescreve nem segue um link. Escolha outro nome "
                        "ou remova-o antes."_s.arg(file));
}

void CopySqliteFile(const QString& source, const QString& target)
{
    const QByteArray name = QFile::encodeName(target);
    // The file is made new here, so that SQLite writes into it and into
    // nothing a name might have pointed at.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          kNewFileMode);
    if (fd < 0) {
        if (errno == EEXIST)
            RefuseExistingFile(target);
        throw Exception(u"Não foi possível criar %1: %2"_s.arg(
            target, QString::fromLocal8Bit(std::strerror(errno))));
    }
    ::close(fd);
    TScopeFail dropCopy([&target] {
        QFile::remove(target);
        QFile::remove(target + u"-journal"_s);
    });
    TConnection from(source, SQLITE_OPEN_READWRITE);
    TConnection to(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW);
    // A read transaction held across the steps keeps one snapshot: the
    // servers' commits meanwhile neither restart the copy nor get into
    // it, and in WAL mode a reader never blocks a writer.
    from.Exec("BEGIN; SELECT COUNT(*) FROM sqlite_master;", source);
    sqlite3_backup* backup = sqlite3_backup_init(to.Handle, "main", from.Handle, "main");
    if (!backup)
        throw Exception(u"Não foi possível copiar %1: %2"_s.arg(
            source, QString::fromUtf8(sqlite3_errmsg(to.Handle))));
    int rc = SQLITE_OK;
    while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        rc = sqlite3_backup_step(backup, kPagesPerStep);
        if (rc != SQLITE_DONE)
            sqlite3_sleep(kPauseMs);
    }
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE || finished != SQLITE_OK)
        throw Exception(u"Não foi possível copiar %1: %2"_s.arg(
            source, SqliteText(rc != SQLITE_DONE ? rc : finished)));
    from.Exec("COMMIT", source);
    // The copy's pages say WAL, as the source's; a rollback journal
    // leaves the whole database in the one file. Serving it turns WAL
    // on again.
    to.Exec("PRAGMA journal_mode=DELETE", target);
}

} // namespace aph

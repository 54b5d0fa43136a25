#include "server/common/newfile.h"

#include "host/data/exceptions.h"
#include "host/data/scopeguard.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

bool SameFile(const struct stat& a, const QString& path)
{
    struct stat b
    {};
    return ::stat(QFile::encodeName(path).constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// Whether an existing target may be replaced: a regular file of its own,
// not reached through a link, and none of the protected files.
void RequireReplaceable(const QString& target, const QStringList& protectedFiles)
{
    struct stat st
    {};
    if (::lstat(QFile::encodeName(target).constData(), &st) != 0)
        return; // gone meanwhile: written as a new file
    if (!S_ISREG(st.st_mode))
        throw Exception(u"%1 não é um arquivo comum (é um link, um dispositivo, uma pasta ou um "
                        "FIFO); o arquivo não foi gravado."_s.arg(target));
    for (const QString& file : protectedFiles)
        if (SameFile(st, file))
            throw Exception(u"%1 é um arquivo do próprio banco de dados; o arquivo não foi "
                            "gravado."_s.arg(target));
}

} // namespace

bool PublishNewFile(const QString& temporary, const QString& target)
{
    if (::link(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) !=
        0) {
        if (errno == EEXIST)
            return false;
        throw Exception(u"Não foi possível gravar o arquivo %1: %2"_s.arg(
            target, QString::fromLocal8Bit(std::strerror(errno))));
    }
    // The name now holds the file written, itself, not through a link.
    struct stat written
    {
    }, named{};
    if (::lstat(QFile::encodeName(temporary).constData(), &written) != 0 ||
        ::lstat(QFile::encodeName(target).constData(), &named) != 0 || !S_ISREG(named.st_mode) ||
        named.st_dev != written.st_dev || named.st_ino != written.st_ino)
        throw Exception(u"O arquivo %1 não ficou gravado como esperado."_s.arg(target));
    return true;
}

bool NameTaken(const QString& path)
{
    struct stat st
    {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 || errno != ENOENT;
}

void WriteNewFile(const QString& target, const QByteArray& data, bool replace,
                  const QStringList& protectedFiles)
{
    const auto refuseExisting = [&target] {
        throw Exception(u"O arquivo %1 já existe; nada é sobrescrito sem --sobrescrever, e "
                        "nunca um link, um dispositivo, um FIFO ou o próprio banco de "
                        "dados."_s.arg(target));
    };
    // Refused before anything is written; link() below refuses a name
    // taken meanwhile.
    struct stat st
    {};
    if (::lstat(QFile::encodeName(target).constData(), &st) == 0) {
        if (!replace)
            refuseExisting();
        RequireReplaceable(target, protectedFiles);
    }
    const QFileInfo info(target);
    if (!info.absoluteDir().exists())
        throw Exception(u"A pasta de %1 não existe; o arquivo não foi gravado."_s.arg(target));
    QTemporaryFile temporary(info.absoluteFilePath() + u".XXXXXX.parcial"_s);
    if (!temporary.open() || temporary.write(data) != data.size() || !temporary.flush())
        throw Exception(
            u"Não foi possível gravar o arquivo %1: %2"_s.arg(target, temporary.errorString()));
    const QString temporaryPath = temporary.fileName();
    TScopeExit dropTemporary([&temporaryPath] { QFile::remove(temporaryPath); });
    ::fsync(temporary.handle());
    temporary.close();
    if (PublishNewFile(temporaryPath, target))
        return;
    if (!replace)
        refuseExisting();
    RequireReplaceable(target, protectedFiles);
    if (::rename(QFile::encodeName(temporaryPath).constData(),
                 QFile::encodeName(target).constData()) != 0)
        throw Exception(u"Não foi possível gravar o arquivo %1."_s.arg(target));
}

namespace {

// Removes the names given so far, each only while it still holds the
// file written (a name someone else took meanwhile stays theirs).
void TakeBack(const QList<std::pair<QString, QString>>& given)
{
    for (const auto& [temporary, target] : given) {
        struct stat written
        {
        }, named{};
        if (::lstat(QFile::encodeName(temporary).constData(), &written) == 0 &&
            ::lstat(QFile::encodeName(target).constData(), &named) == 0 &&
            named.st_dev == written.st_dev && named.st_ino == written.st_ino)
            ::unlink(QFile::encodeName(target).constData());
    }
}

// Makes the new names in a folder survive a crash.
void SyncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

namespace {

// What a work folder holds once every name of its set was given.
const QString kWholeMark = u".publicado"_s;
// mkdtemp's six characters after "TARGET.parcial.".
constexpr int kWorkSuffix = 6;

bool SameInode(const QString& a, const QString& b)
{
    struct stat sa
    {
    }, sb{};
    return ::lstat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::lstat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// A work folder's lock, taken without waiting: -1 while another process
// holds it (a run still at work) or when path is no folder of this user's.
int TryLockFolder(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0)
        return -1;
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TWorkFolder::TWorkFolder(const QString& target)
{
    const QFileInfo info(target);
    if (!info.absoluteDir().exists())
        throw Exception(u"A pasta de %1 não existe; nada foi gravado."_s.arg(target));
    QByteArray name = QFile::encodeName(info.absoluteFilePath() + u".parcial.XXXXXX"_s);
    if (!::mkdtemp(name.data()))
        throw Exception(u"Não foi possível criar a pasta de trabalho ao lado de %1: %2"_s.arg(
            target, QString::fromLocal8Bit(std::strerror(errno))));
    m_path = QFile::decodeName(name);
    m_lock = TryLockFolder(m_path);
}

TWorkFolder::~TWorkFolder()
{
    QDir(m_path).removeRecursively();
    if (m_lock >= 0)
        ::close(m_lock);
}

QString TWorkFolder::FilePath(const QString& name) const
{
    return m_path + u'/' + name;
}

QString TWorkFolder::FileFor(const QString& target) const
{
    return FilePath(QFileInfo(target).fileName());
}

void TWorkFolder::Publish(const QStringList& targets) const
{
    QList<std::pair<QString, QString>> files;
    for (const QString& target : targets)
        files.append({FileFor(target), target});
    PublishNewFiles(files);
    QFile mark(FilePath(kWholeMark));
    if (!mark.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw Exception(u"Não foi possível concluir a gravação ao lado de %1."_s.arg(m_path));
}

int TWorkFolder::RemoveAbandoned(const QString& target)
{
    const QFileInfo info(target);
    const QString prefix = info.fileName() + u".parcial."_s;
    int removed = 0;
    QDirIterator folders(info.absolutePath(), {prefix + u'*'},
                         QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (folders.hasNext()) {
        const QString folder = folders.next();
        if (folders.fileName().size() != prefix.size() + kWorkSuffix ||
            folders.fileInfo().isSymLink())
            continue;
        const int lock = TryLockFolder(folder);
        if (lock < 0)
            continue;
        // The names a killed run gave of an unfinished set are its files'
        // own (same inode): taken back; a name someone else took stays.
        if (!QFileInfo::exists(folder + u'/' + kWholeMark)) {
            QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System);
            while (files.hasNext()) {
                const QString file = files.next();
                const QString given = info.absolutePath() + u'/' + files.fileName();
                if (SameInode(file, given))
                    ::unlink(QFile::encodeName(given).constData());
            }
        }
        QDir(folder).removeRecursively();
        ::close(lock);
        ++removed;
    }
    return removed;
}

void PublishNewFiles(const QList<std::pair<QString, QString>>& files)
{
    QList<std::pair<QString, QString>> given;
    TScopeFail takeBack([&given] { TakeBack(given); });
    for (const auto& file : files) {
        if (!PublishNewFile(file.first, file.second))
            throw Exception(u"O arquivo %1 já existe (um arquivo, um link ou outra coisa com esse "
                            "nome); nada foi gravado."_s.arg(file.second));
        given.append(file);
    }
    QStringList folders;
    for (const auto& file : files)
        folders.append(QFileInfo(file.second).absolutePath());
    folders.removeDuplicates();
    for (const QString& folder : folders)
        SyncFolder(folder);
}

} // namespace aph

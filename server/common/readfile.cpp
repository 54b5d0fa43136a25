#include "server/common/readfile.h"

#include "host/data/exceptions.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// What a name that is no regular file is, for the message.
QString KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return u"uma pasta"_s;
    if (S_ISFIFO(mode))
        return u"um FIFO (pipe nomeado)"_s;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return u"um dispositivo"_s;
    if (S_ISSOCK(mode))
        return u"um socket"_s;
    return u"algo que não é um arquivo comum"_s;
}

} // namespace

void OpenRegularFile(QFile& file, const QString& path, const QString& what)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            throw Exception(u"%1 %2 não existe."_s.arg(what, path));
        if (error == EACCES || error == EPERM)
            throw Exception(u"Não foi possível ler %1 %2; confira as suas permissões."_s.arg(
                what.toLower(), path));
        throw Exception(u"Não foi possível ler %1 %2: %3"_s.arg(
            what.toLower(), path, QString::fromLocal8Bit(std::strerror(error))));
    }
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Exception(u"%1 %2 não é um arquivo comum: é %3. Nada foi lido dele."_s.arg(
            what, path, KindOf(st.st_mode)));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Exception(u"Não foi possível ler %1 %2."_s.arg(what.toLower(), path));
    }
}

} // namespace aph

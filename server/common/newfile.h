#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>

namespace aph {

// Gives the finished file temporary the name target, only if that name is
// free: link() refuses any name already taken (a file, a symbolic link, a
// dangling one included, a device node, a FIFO), where rename() would
// replace it, and follows none. The new name is then checked, without
// following it, to be the file written. False when the name is taken; an
// Exception for any other failure. temporary stays.
bool PublishNewFile(const QString& temporary, const QString& target);

// Whether a name is taken by anything at all, a dangling link included
// (lstat: nothing is followed).
bool NameTaken(const QString& path);

// A folder of the process's own beside target, "TARGET.parcial.XXXXXX"
// (mode 0700, made new by mkdtemp), where files are written before they
// get their final names: nobody else can put a link or a file of their
// own into it. Removed with all it holds when the object goes. The
// process holds a lock on it while it lives, so that a later run tells a
// folder left by a killed one (RemoveAbandoned) from one in use.
class TWorkFolder
{
public:
    explicit TWorkFolder(const QString& target); // throws Exception
    ~TWorkFolder();
    TWorkFolder(const TWorkFolder&) = delete;
    TWorkFolder& operator=(const TWorkFolder&) = delete;
    QString FilePath(const QString& name) const;
    // Where the file to be named target (in the folder beside this one) is
    // written: under target's own name, which is how RemoveAbandoned finds
    // the names a killed run gave.
    QString FileFor(const QString& target) const;
    // Gives each file written at FileFor(target) its name, all or none, as
    // PublishNewFiles does, then notes in the folder that the set is whole.
    void Publish(const QStringList& targets) const;

    // Removes the work folders of target left by runs that were killed
    // (none of them holds its lock any more): a set whose names were being
    // given when the run died has the names it got so far taken back, so
    // that no part of an unfinished set stays under final names. Returns
    // how many folders went.
    static int RemoveAbandoned(const QString& target);

private:
    QString m_path;
    int m_lock = -1;
};

// Gives each finished file (temporary, target) its final name, all or
// none, as PublishNewFile does, and makes the names durable: when one
// cannot be given, the names given before are taken back and an Exception
// says which and why (a name taken: "já existe").
void PublishNewFiles(const QList<std::pair<QString, QString>>& files);

// Writes data to target through a temporary file in the same folder, so
// that target holds either nothing or the whole of it, and only as a new
// file: an existing name is refused, unless replace allows an existing
// regular file (never a link, a device, a FIFO, nor any of protectedFiles,
// the files of the live database). Exceptions say why, in Portuguese.
void WriteNewFile(const QString& target, const QByteArray& data, bool replace,
                  const QStringList& protectedFiles);

} // namespace aph

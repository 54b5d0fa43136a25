#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace aph {

// Gives the finished file temporary the name target, only if that name is
// free: link() refuses any name already taken (a file, a symbolic link, a
// device node, a FIFO), where rename() would replace it. False when the
// name is taken; an Exception for any other failure. temporary stays.
bool PublishNewFile(const QString& temporary, const QString& target);

// Writes data to target through a temporary file in the same folder, so
// that target holds either nothing or the whole of it, and only as a new
// file: an existing name is refused, unless replace allows an existing
// regular file (never a link, a device, a FIFO, nor any of protectedFiles,
// the files of the live database). Exceptions say why, in Portuguese.
void WriteNewFile(const QString& target, const QByteArray& data, bool replace,
                  const QStringList& protectedFiles);

} // namespace aph

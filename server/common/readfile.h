#pragma once

#include <QFile>
#include <QString>

namespace aph {

// Opens path for reading only when it is a regular file: a folder, a FIFO
// (which would hold the reader forever), a device (which never ends) or a
// socket is refused, named for what it is. The check is made on the file
// opened, not on the name, so that nothing put in its place meanwhile is
// read. what names the file in the messages ("O arquivo", "O mapa").
// Throws Exception in Portuguese.
void OpenRegularFile(QFile& file, const QString& path, const QString& what);

} // namespace aph

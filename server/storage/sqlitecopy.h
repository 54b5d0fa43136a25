#pragma once

#include <QString>

namespace aph {

// Refuses, with a message for the administrator, a file name already taken,
// by anything (a dangling link included): a copy never replaces a file.
void RefuseExistingFile(const QString& file);

// Copies one SQLite file through SQLite's online backup, one snapshot while
// servers keep writing, into target, a new file it creates itself (an
// existing name, a link included, is refused and nothing is followed).
// The caller writes it in a folder of its own and publishes it when the
// whole result is there; on failure target and its journal are removed.
void CopySqliteFile(const QString& source, const QString& target);

} // namespace aph

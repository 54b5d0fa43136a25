#pragma once

#include <QString>

namespace aph {

// Refuses, with a message for the administrator, a file name already taken:
// a copy never replaces a file.
void RefuseExistingFile(const QString& file);

// Copies one SQLite file into a new one at target through SQLite's online
// backup, one snapshot while servers keep writing, through a temporary file
// beside it, so that target holds either nothing or a whole copy. Refuses a
// target that exists.
void CopySqliteFile(const QString& source, const QString& target);

} // namespace aph

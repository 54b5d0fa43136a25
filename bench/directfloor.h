#pragma once

#include "server/methods/queries.h"

#include <QString>

#include <memory>

namespace aph {

// The floor of a read: the service's own SQL with the same bound values,
// run through the engine's C client (sqlite3 or libpq), every column of
// every row read, nothing converted beyond what the client hands out.
// Statements are prepared once per text, as the server's are.
class TDirectFloor
{
public:
    virtual ~TDirectFloor() = default;
    // The database of "sqlite:PATH" or a postgresql:// URI; throws
    // Exception when it cannot be opened.
    static std::unique_ptr<TDirectFloor> Open(const QString& spec);
    // Runs the query to its last row; throws Exception on a failure.
    virtual void Run(const TQueryText& query) = 0;
};

} // namespace aph

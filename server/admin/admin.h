#pragma once

#include <QString>

namespace aph {

class TStorage;

// The administrative commands of aph-server, apart from serving.
// Each throws an Exception with a message for the operator on failure.

enum class TInitData
{
    None,
    Demo,
    Scale
};

// Creates or upgrades the schema, then optionally fills an empty database.
void InitDatabase(TStorage& storage, TInitData data, qint64 scale);

// Sets the situation of one CHT (approving and billing happen in other
// systems; this stands in for them).
void SetChtStatus(TStorage& storage, const QString& number, const QString& status);

} // namespace aph

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

// Sets the situation of one CHT, the administrator's way past the
// desktop's steps: any situation from any other. The day's history gets
// the change with the reason given ("linha de comando" without one).
// With an invoice (only to R), the CHT is billed on it as the screen's
// step bills it: the number checked, kept on the CHT and in the history.
void SetChtStatus(TStorage& storage, const QString& number, const QString& status,
                  const QString& reason = QString(), const QString& invoice = QString());

} // namespace aph

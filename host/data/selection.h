#pragma once

#include <QString>
#include <QStringList>

namespace aph {

// What a picker's selection string stands for: "T" means every key, the
// empty string means nothing picked, and anything else is a JSON array of
// the picked keys, e.g. ["000123","000124"]. JSON escaping keeps any
// character inside a key safe, "|" and quotes included.
struct TSelection
{
    enum class Kind
    {
        All,
        None,
        List
    };
    Kind Scope = Kind::None;
    QStringList Keys; // the picked keys, only for List (never empty then)

    bool IsAll() const { return Scope == Kind::All; }
    bool IsNone() const { return Scope == Kind::None; }
};

// The selection string of some picked keys: "" for none, otherwise the
// JSON array of the keys in the order given (never "T").
QString EncodeSelection(const QStringList& keys);

// Reads a selection string. Throws EDatabaseError, naming what is wrong,
// for text that is neither "T", "" nor a non-empty JSON array of strings.
// `what` names the list in the message ("clientes", "funcionários", ...).
TSelection DecodeSelection(const QString& text, const QString& what = QString());

} // namespace aph

#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace aph {

// What a reply needs from a request line's own text, read apart from the
// JSON parser: the id exactly as the client wrote it (the parser turns -0
// into 0, 2^53+1 into 2^53 and a lone surrogate into "?", and a client
// matches replies to calls by that id), and whether the params hold text
// that no query should see.
struct TRawRequest
{
    QByteArray Id;              // the id's JSON text; empty when there is no id
    bool ParamsBadText = false; // a string in params holds U+0000 or a lone surrogate
};

// Reads the members of a line that the JSON parser has already accepted as
// one object. A member given twice counts as its last occurrence, as the
// parser does.
TRawRequest ScanRequest(QByteArrayView line);

} // namespace aph

// The delta decoder the server applies SetCSA with. Properties: malformed
// input is refused with EDatabaseError and nothing else; an accepted delta
// is valid and goes through its JSON form unchanged.
#include "fuzz_target.h"
#include "host/data/exceptions.h"
#include "host/data/packetcodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using namespace aph;

namespace {

bool Same(const TDelta& a, const TDelta& b)
{
    if (a.Fields != b.Fields || a.Records.size() != b.Records.size())
        return false;
    for (std::size_t i = 0; i < a.Records.size(); ++i) {
        const TDeltaRecord& x = a.Records[i];
        const TDeltaRecord& y = b.Records[i];
        auto xs = x.New, ys = y.New; // the JSON object does not keep the order
        const auto byField = [](const auto& l, const auto& r) {
            return l.first < r.first;
        };
        std::sort(xs.begin(), xs.end(), byField);
        std::sort(ys.begin(), ys.end(), byField);
        if (x.Op != y.Op || x.Original != y.Original || xs != ys)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return 0;
    const QJsonValue json = doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
    TDelta delta;
    try {
        delta = DeltaFromJson(json);
    } catch (const EDatabaseError&) {
        return 0;
    }
    ValidateDelta(delta);
    const TDelta again = DeltaFromJson(DeltaToJson(delta));
    APH_FUZZ_CHECK(Same(again, delta), "a delta goes through its JSON form unchanged");
    return 0;
}

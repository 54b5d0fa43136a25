// The data packet decoders: the pull reader the desktop loads replies with
// (DecodePacket) and the document-based one (PacketFromJson). Properties:
// malformed input is refused with EDatabaseError and nothing else; what is
// accepted is a valid packet that encodes and decodes to itself; and when
// both decoders accept a text they read the same packet.
#include "fuzz_target.h"
#include "host/data/exceptions.h"
#include "host/data/packetcodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace aph;

namespace {

bool Same(const TDataPacket& a, const TDataPacket& b)
{
    if (a.Fields != b.Fields || a.Rows.size() != b.Rows.size())
        return false;
    for (std::size_t i = 0; i < a.Rows.size(); ++i)
        if (*a.Rows[i] != *b.Rows[i])
            return false;
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
    bool pulled = false;
    TDataPacket packet;
    try {
        packet = DecodePacket(text);
        pulled = true;
    } catch (const EDatabaseError&) {
    }
    if (pulled) {
        ValidatePacket(packet); // throws, and so crashes, if it let a bad packet through
        const QByteArray again = EncodePacket(packet);
        APH_FUZZ_CHECK(Same(DecodePacket(again), packet), "a packet encodes and decodes to itself");
        APH_FUZZ_CHECK(EncodePacket(DecodePacket(again)) == again, "the encoding is stable");
    }

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return 0;
    try {
        const TDataPacket other =
            PacketFromJson(doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array()));
        ValidatePacket(other);
        if (pulled)
            APH_FUZZ_CHECK(Same(packet, other), "both decoders read the same packet");
    } catch (const EDatabaseError&) {
    }
    return 0;
}

#pragma once

#include "host/data/datapacket.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>

namespace aph {

// JSON forms of the data packet and the delta, as they travel between the
// screens and the server:
//   packet: {"fields":[{"name":"CDFUNC","type":"string","size":10},
//                      {"name":"QTHRTRAB","type":"float"}, ...],
//            "rows":[["000123",7.5], ...]}
//   delta:  {"fields":[...],
//            "records":[{"op":"modify","old":[...all fields...],
//                        "new":{"QTHRAPROFATU":7.5}}, ...]}
// Date-times are OLE Automation day numbers; JSON null is a null field.
// Decoding refuses anything malformed with an EDatabaseError.

QByteArray EncodePacket(const TDataPacket& packet);
TDataPacket DecodePacket(const QByteArray& json);
TDataPacket PacketFromJson(const QJsonValue& json);

QJsonObject DeltaToJson(const TDelta& delta);
TDelta DeltaFromJson(const QJsonValue& json);

// Appends one value as JSON text (string, number or null).
void AppendJsonValue(QByteArray& out, const Value& value);
void AppendJsonString(QByteArray& out, std::string_view utf8);

} // namespace aph

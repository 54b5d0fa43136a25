#pragma once

#include "host/data/datapacket.h"
#include "host/data/exceptions.h"
#include "server/methods/queries.h"
#include "server/methods/requests.h"

#include <QString>

namespace aph {

struct TChtGeneration
{
    int Chts = 0;
    int Employees = 0;
    qint64 Csas = 0;
};

// What a generation would make, read without writing: its figures, the
// days never approved (billed at their hours worked), and one line per
// client and contracted service.
struct TChtPreview
{
    TChtGeneration Figures;
    qint64 Pending = 0;
    TDataPacket Lines; // TApprovalService::PreviewFields()
};

// GetPrevCHT's reply: {"ok":true,"data":<the lines>,"preview":{"chts":..,
// "employees":..,"csas":..,"pending":..}}.
QByteArray PreviewReply(const TChtPreview& preview);

// SetCHT's reply: {"ok":true,"data":null,"generated":{"chts":..,
// "employees":..,"csas":..}}; a client that knows only ok and data reads it
// as before.
QByteArray GenerationReply(const TChtGeneration& generation);

class TStorage;
class TPacketWriter;
struct TFormatSettings;

// The approval service: the methods the screens call, on one
// storage. Holds no state between calls. Its SQL lives in queries.h.
class TApprovalService
{
public:
    explicit TApprovalService(TStorage& storage) : m_storage(storage) {}

    // The reads, each written straight into its reply (see TPacketWriter):
    // the packet's JSON as EncodePacket gives it, without building it.
    void GetServPrest(const TGetServPrestRequest& request, TPacketWriter& out);
    void GetProp(const TGetPropRequest& request, TPacketWriter& out);
    void GetFunc(const TGetFuncRequest& request, TPacketWriter& out);
    void GetCHT(const TGetChtRequest& request, TPacketWriter& out);
    void GetCSA(const TGetCsaRequest& request, TPacketWriter& out);
    // The history of one CSA, oldest event first.
    void GetHistCSA(const TGetHistCsaRequest& request, TPacketWriter& out);
    // The days of the filter that need a person before billing (see
    // PendingQueries), at most kPendenciasLimit of them; returns how many
    // more there are.
    qint64 GetPendencias(const TGetServPrestRequest& request, TPacketWriter& out);
    static constexpr int kPendenciasLimit = 500;
    // The changes of the screen's CSA dataset, all or nothing. With a
    // request key, a key already applied changes nothing and gives its
    // stored reply (see ClaimWriteKey). Each write applied leaves its audit
    // record, in its own transaction, under the connection's operator.
    void SetCSA(const TDelta& delta, TWriteKey* key = nullptr,
                const QString& connectionOperator = QString());
    // What a generation made: its CHTs, the employees they are for and the
    // CSAs they took. With a key the stored reply carries these figures, so
    // a repeat answers as the first did.
    TChtGeneration SetCHT(const TSetChtRequest& request, TWriteKey* key = nullptr,
                          const QString& connectionOperator = QString());

    // What SetCHT would generate for the same request, read in one read
    // transaction through the same grouping; writes nothing.
    TChtPreview GetPrevCHT(const TSetChtRequest& request);

    // Records who asked for what in this storage's APH_AUDITORIA (the
    // writes, in their transaction; GetServPrest names its operator).
    void Audit(const QString& operatorCode, const QString& connectionOperator,
               const QString& event);

    // Field lists of the replies, in the receiving datasets' order.
    static const TFieldDefs& ServPrestFields();
    static const TFieldDefs& PropFields();
    static const TFieldDefs& FuncFields();
    static const TFieldDefs& ChtFields();
    static const TFieldDefs& CsaFields();
    static const TFieldDefs& HistCsaFields();
    static const TFieldDefs& PreviewFields();
    static const TFieldDefs& PendenciaFields();

private:
    TStorage& m_storage;
};

// Who recorded a CSA and when, as the screen shows it: DTINCLUSAO,
// CDOPERINCL and the operator's name; one blank when nobody is known.
Value InclusionOf(const QVariant& when, const QVariant& code, const QVariant& name);

// What the history rows of one write share: now, the operator logged in
// (empty without login) and the write's request key.
THistoryStamp HistoryStamp(const QString& connectionOperator, const TWriteKey* key = nullptr);

} // namespace aph

// The reads written straight into their reply (see TPacketWriter): byte
// for byte what EncodePacket gives for the reads' packets, without
// building them.
#include "host/data/formatsettings.h"
#include "host/data/packetcodec.h"
#include "host/data/utf8.h"
#include "server/common/clock.h"
#include "server/methods/approvalservice.h"
#include "server/methods/queries.h"
#include "server/methods/replywriter.h"
#include "server/storage/storage.h"
#include "service/records.h"

#include <QDate>

#include <cmath>
#include <string>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Appends a number of `width` digits, zero-padded.
void AppendDigits(std::string& out, int value, int width)
{
    char digits[4];
    for (int i = width - 1; i >= 0; --i, value /= 10)
        digits[i] = static_cast<char>('0' + value % 10);
    out.append(digits, static_cast<std::size_t>(width));
}

// "dd/mm/yyyy hh:nn" as FormatDateTime writes it with Brazil's settings,
// for the years it writes in four digits; false for the rest.
bool AppendStamp(std::string& out, double value)
{
    static const char dateSep = BrazilFormat().DateSeparator.toLatin1();
    static const char timeSep = BrazilFormat().TimeSeparator.toLatin1();
    const double whole = std::trunc(value);
    if (!(std::fabs(whole) < 4e6) || dateSep <= 0 || timeSep <= 0)
        return false;
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    if (!date.isValid() || year < 1 || year > 9999)
        return false;
    qint64 ms = std::llround(std::fabs(value - whole) * 86400000.0);
    ms = std::min<qint64>(ms, 86399999);
    AppendDigits(out, day, 2);
    out += dateSep;
    AppendDigits(out, month, 2);
    out += dateSep;
    AppendDigits(out, year, 4);
    out += ' ';
    AppendDigits(out, static_cast<int>(ms / 3600000), 2);
    out += timeSep;
    AppendDigits(out, static_cast<int>(ms / 60000 % 60), 2);
    return true;
}

// InclusionOf of the row, written straight from its columns; anything
// unusual (a date as text, a name that is not plain UTF-8) takes the way
// through InclusionOf.
void AppendInclusion(QByteArray& out, const TRowSource& rows)
{
    thread_local std::string text;
    const auto plain = [&rows] {
        text.assign(" ");
        double when = 0;
        std::string_view who;
        if (rows.IsNull(kCsaIncludedAt))
            return true;
        text.clear();
        if (!rows.Number(kCsaIncludedAt, when) || !AppendStamp(text, when))
            return false;
        const int name = rows.IsNull(kCsaIncluderName) ? kCsaIncludedBy : kCsaIncluderName;
        if (!rows.IsNull(name) && !rows.Text(name, who))
            return false;
        if (!who.empty())
            text.append(" ").append(who);
        return true;
    };
    std::string_view cut;
    if (plain() && CutUtf8(text, TApprovalService::CsaFields()[kCsaQueryCells].Size, cut)) {
        AppendJsonString(out, cut);
        return;
    }
    AppendJsonValue(out, InclusionOf(rows.Variant(kCsaIncludedAt), rows.Variant(kCsaIncludedBy),
                                     rows.Variant(kCsaIncluderName)));
}

} // namespace

void TApprovalService::GetServPrest(const TGetServPrestRequest& request, TPacketWriter& out)
{
    WritePacket(m_storage, ServPrestQuery(m_storage, request), ServPrestFields(), out);
}

void TApprovalService::GetProp(const TGetPropRequest& request, TPacketWriter& out)
{
    const TQueryText query = PropQuery(m_storage, request);
    const TFieldDefs& f = PropFields();
    out.Begin(f);
    if (query.MatchesNothing)
        return;
    const std::unique_ptr<TRowSource> rows = m_storage.Rows(query);
    QByteArray& text = out.Out();
    QByteArray proposal, version;
    std::string key; // ProposalKey's text
    while (rows->Next()) {
        // Each proposal unmarked for the picker, its columns, and the key
        // it is picked by.
        out.BeginRow();
        text += "\"N\"";
        for (int i = 0; i < kPropQueryCells; ++i) {
            out.Comma();
            rows->AppendCell(text, i, f[i + 1]);
        }
        out.Comma();
        key.assign(rows->Utf8(kPropProposal, proposal));
        key += kProposalKeySeparator;
        key += rows->Utf8(kPropVersion, version);
        AppendJsonString(text, key);
        out.EndRow();
    }
}

void TApprovalService::GetFunc(const TGetFuncRequest& request, TPacketWriter& out)
{
    WritePacket(m_storage, FuncQuery(m_storage, request), FuncFields(), out);
}

void TApprovalService::GetCHT(const TGetChtRequest& request, TPacketWriter& out)
{
    WritePacket(m_storage, ChtQuery(request), ChtFields(), out);
}

void TApprovalService::GetHistCSA(const TGetHistCsaRequest& request, TPacketWriter& out)
{
    WritePacket(m_storage, HistoryQuery(request), HistCsaFields(), out);
}

void TApprovalService::GetCSA(const TGetCsaRequest& request, TPacketWriter& out)
{
    const TQueryText query = CsaQuery(request);
    const TFieldDefs& f = CsaFields();
    out.Begin(f);
    if (query.MatchesNothing)
        return;
    const std::unique_ptr<TRowSource> rows = m_storage.Rows(query);
    QByteArray& text = out.Out();
    while (rows->Next()) {
        out.BeginRow();
        for (int i = 0; i < kCsaQueryCells; ++i) {
            if (i)
                out.Comma();
            rows->AppendCell(text, i, f[i]);
        }
        out.Comma();
        AppendInclusion(text, *rows);
        out.EndRow();
    }
}

} // namespace aph

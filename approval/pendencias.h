#pragma once

#include "host/data/datapacket.h"
#include "host/data/dataset.h"
#include "host/data/datasource.h"
#include "host/ui/control.h"
#include "host/ui/dbgrid.h"
#include "host/ui/form.h"

#include <functional>

namespace aph {

class TMessages;

// "Pendências": the days of the filter that need a person before billing,
// one line each, in a read-only list. Enter (or "Ir ao dia") closes it
// with mrOk on the line chosen; Escape closes it without a choice.
class TfrmPendencias : public TForm
{
public:
    // The texts come from the screen's message table; hours read as the
    // screen writes them.
    TfrmPendencias(const TMessages& messages, std::function<QString(double)> hours);

    TClientDataSet cdsPend{QStringLiteral("cdsPend")};
    TDataSource dtsPend{QStringLiteral("dtsPend")};
    TDBGrid* dbgPend;
    TPanel* panBotoes;
    TLabel* lblTotal;
    TButton* btnIr;
    TButton* btnFechar;

    // The rows as GetPendencias sends them, and how many more it left out.
    void Carrega(const TDataPacket& packet, qint64 more);

private:
    void CreateColumns();
    void TextsFor(TField* field);

    const TMessages& m_messages;
    std::function<QString(double)> m_hours;
};

} // namespace aph

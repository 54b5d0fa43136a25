#pragma once

#include "host/data/datapacket.h"
#include "host/data/dataset.h"
#include "host/data/datasource.h"
#include "host/ui/control.h"
#include "host/ui/dbgrid.h"
#include "host/ui/editors.h"
#include "host/ui/form.h"

#include <functional>

namespace aph {

class TMessages;

// "Pendências": the days of the filter that need a person before billing,
// one line each, in a read-only list. Enter (or "Ir ao dia") closes it
// with mrOk on the line chosen; Escape closes it without a choice. Opened
// from a service or an employee, it lists that one's lines alone until
// "Todas as pendências do filtro" is ticked, which shows every line, that
// one's first.
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
    TCheckBox* chbTodas;
    TButton* btnIr;
    TButton* btnFechar;

    // The rows as GetPendencias sends them, and how many more it left out;
    // the lines of the service or employee the list was opened from are
    // those the test accepts (without a test, every line shows).
    using TProprias = std::function<bool(const TDataPacket&, const TRowValues&)>;
    void Carrega(const TDataPacket& packet, qint64 more, const TProprias& proprias = {});

private:
    // The lines the box asks for, into the list.
    void Mostra();
    TDataPacket m_todas; // that one's lines first
    TDataPacket m_proprias;
    qint64 m_more = 0;
    void CreateColumns();
    void TextsFor(TField* field);

    const TMessages& m_messages;
    std::function<QString(double)> m_hours;
};

} // namespace aph

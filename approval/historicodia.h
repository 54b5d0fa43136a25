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

// The history of one day of hours: what happened to it, oldest first, in a
// read-only list, and a button that closes the window.
class TfrmHistoricoDia : public TForm
{
public:
    // The texts come from the screen's message table; hours read as the
    // screen writes them.
    TfrmHistoricoDia(const TMessages& messages, std::function<QString(double)> hours);

    TClientDataSet cdsHist{QStringLiteral("cdsHist")};
    TDataSource dtsHist{QStringLiteral("dtsHist")};
    TDBGrid* dbgHist;
    TPanel* panBotoes;
    TButton* btnFechar;

    // The rows as GetHistCSA sends them.
    void Carrega(const TDataPacket& packet);
    // How an occurrence code reads (its group and description); without
    // it the code stands alone. Set before Carrega.
    void SetOccurrenceText(std::function<QString(const QString&)> text)
    {
        m_occurrence = std::move(text);
    }

private:
    void CreateColumns();
    void TextsFor(TField* field);

    const TMessages& m_messages;
    std::function<QString(double)> m_hours;
    std::function<QString(const QString&)> m_occurrence;
};

} // namespace aph

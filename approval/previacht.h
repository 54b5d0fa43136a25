#pragma once

#include "host/data/datapacket.h"
#include "host/data/dataset.h"
#include "host/data/datasource.h"
#include "host/ui/control.h"
#include "host/ui/dbgrid.h"
#include "host/ui/form.h"

namespace aph {

class TMessages;

// What "Gerar CHT" would bill, before it is asked: the counts on top and
// one line per client and contracted service below, in a read-only list
// the clerk scrolls by keyboard. With every day approved a button (Enter
// or Escape) goes on to the question; with days never approved Enter and
// Escape go back ("Voltar") and only "Gerar mesmo assim", chosen on
// purpose (Tab, then Enter or Space), goes on.
class TfrmPreviaCHT : public TForm
{
public:
    explicit TfrmPreviaCHT(const TMessages& messages);

    TClientDataSet cdsPrevia{QStringLiteral("cdsPrevia")};
    TDataSource dtsPrevia{QStringLiteral("dtsPrevia")};
    TPanel* panResumo;
    TLabel* lblResumo;
    TLabel* lblPendentes;
    TDBGrid* dbgPrevia;
    TPanel* panBotoes;
    TButton* btnContinuar;
    TButton* btnVoltar;

    // The counts as GetPrevCHT sends them, and its lines.
    struct TTotais
    {
        int Chts = 0;
        int Funcionarios = 0;
        qint64 Dias = 0;
        qint64 Pendentes = 0;
    };
    void Carrega(const TTotais& totais, const TDataPacket& linhas);

private:
    void CreateColumns();

    const TMessages& m_messages;
};

} // namespace aph

#pragma once

#include <QString>
#include <QStringView>

namespace aph {

// The words for the codes the server keeps, as every side shows them:
// the CHT's statement and refusals on the server, the approval screen's
// list and a day's history on the desktop.

// A CHT's situation (IDSTATUSCHT): "Pendente", "Aprovada", "Faturada",
// "Não faturar"; another code as it is.
QString ChtSituationWord(QStringView code);
// Whether the code is one of those situations.
bool IsChtSituation(QStringView code);
// How a contracted service is billed (IDTIPOCOBRCONT): "Por hora",
// "Valor fixo", "Pacote"; another code as it is.
QString BillingTypeWord(QStringView code);

} // namespace aph

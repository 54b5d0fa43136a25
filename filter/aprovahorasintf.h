#pragma once

#include "host/data/dataset.h"
#include "host/framework/netconnection.h"
#include "host/ui/dbgrid.h"
#include "host/ui/editors.h"

#include <functional>

namespace aph {

// What the approval screen offers the filter dialog: its connection, the
// datasets the dialog fills or empties, the totals it blanks, the services
// grid, and its reaction to a change of the current service.
struct TAprovaHorasRef
{
    TNetConnection* netAprovCsa = nullptr;
    TClientDataSet* cdsServPrest = nullptr;
    TClientDataSet* cdsFunc = nullptr;
    TClientDataSet* cdsCHT = nullptr;
    TClientDataSet* cdsCSA = nullptr;
    TClientDataSet* cdsAuxCSA = nullptr;
    TDataSource* dtsServPrest = nullptr;
    TLabel* lblTotHoraFat = nullptr;
    TLabel* lblTotHoraComis = nullptr;
    TNumberEdit* nedVrFaturar = nullptr;
    TDBGrid* dbgPadrao = nullptr;
    std::function<void(TDataSet*)> cdsServPrestAfterScroll;
};

// How the dialog reaches the screen: the approval unit installs this when
// it starts, so that the dialog always finds the screen of the moment
// (null while there is none).
extern std::function<const TAprovaHorasRef*()> AprovaHorasAtual;

} // namespace aph

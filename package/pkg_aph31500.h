#pragma once

#include "host/framework/moduleexport.h"

namespace aph {

// One unit of the module's table: started when the module is initialized,
// stopped (in reverse order) when it is finalized.
struct TUnitEntry
{
    const char* Name;
    void (*Initialization)();
    void (*Finalization)();
};

struct TPackageInfoTable
{
    int UnitCount;
    const TUnitEntry* Units;
};

} // namespace aph

extern "C" {
// The unit table: the required packages' units first, then the module's own.
APH_MODULE_EXPORT const aph::TPackageInfoTable* GetPackageInfoTable();
// Runs the initialization of every unit, in table order.
APH_MODULE_EXPORT void Initialize();
// Runs the finalization of every unit, in reverse order.
APH_MODULE_EXPORT void Finalize();
}

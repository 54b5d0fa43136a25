#pragma once

// What a loadable module exports to its host. Module code is built with
// hidden visibility; only what carries this macro is seen from outside.
#define APH_MODULE_EXPORT __attribute__((visibility("default")))

#include <cstddef>

namespace aph {

// A description of an exported record type, member by member, so that the
// host can read an exported record without the module's headers.
struct TTypeMember
{
    const char* Name;
    const char* Type; // "Boolean", "QString", "TDateTime" or a record type name
    std::size_t Offset;
    std::size_t Size;
};

struct TTypeDescriptor
{
    const char* Name;
    std::size_t Size;
    const TTypeMember* Members;
    std::size_t MemberCount;
};

} // namespace aph

#pragma once

#include <QString>

// Tests write text as it stands on screen, in UTF-8 source, as u"..."_s.
namespace aph::test {
using namespace Qt::StringLiterals;
} // namespace aph::test

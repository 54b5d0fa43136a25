#pragma once

#include <QString>

namespace aph::test {

// Text written in the tests as it is written on screen: UTF-8.
inline QString S(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace aph::test

#include "host/qt/input.h"

#include "host/data/scopeguard.h"
#include "host/framework/desktop.h"

#include <QtGlobal>

#include <exception>

namespace aph {

namespace {

std::function<void()>& AfterInput()
{
    static std::function<void()> hook;
    return hook;
}

} // namespace

bool UserInput(const std::function<void()>& input)
{
    bool ok = true;
    try {
        Perform([&] {
            TScopeFail refused([&] { ok = false; });
            input();
        });
    } catch (const std::exception& e) {
        // Without an error display nothing may cross the event loop.
        qWarning("%s", e.what());
    } catch (...) {
        qWarning("erro inesperado");
    }
    Application()->ProcessReleases();
    if (AfterInput())
        AfterInput()();
    return ok;
}

void SetAfterInputHook(std::function<void()> hook)
{
    AfterInput() = std::move(hook);
}

} // namespace aph

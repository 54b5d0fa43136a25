#pragma once

#include <functional>

namespace aph {

// Runs one piece of real user input the way the event loop does: what
// escapes goes to the application's error display, forms released on the
// way are deleted afterwards, and whoever waits on a modal form is told.
// Returns false when the input raised (the error was shown).
bool UserInput(const std::function<void()>& input);

// Called after every piece of input (the desktop checks its modal loops).
void SetAfterInputHook(std::function<void()> hook);

} // namespace aph

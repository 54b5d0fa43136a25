#pragma once

#include <exception>
#include <utility>

namespace aph {

// Runs an action when the scope ends, however it ends: the bookkeeping that
// an operation undoes on its way out (a handler reattached, a display
// resumed) stays beside the step that did it.
template <class F> class TScopeExit
{
public:
    explicit TScopeExit(F action) : m_action(std::move(action)) {}
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    ~TScopeExit()
    {
        if (m_armed)
            m_action();
    }

    // The action is no longer needed: the scope completed it another way.
    void Release() { m_armed = false; }

private:
    F m_action;
    bool m_armed = true;
};

// Runs an action only when the scope is left by an exception: an undo that a
// completed operation must not do (a half-made edit cancelled).
template <class F> class TScopeFail
{
public:
    explicit TScopeFail(F action) : m_action(std::move(action)) {}
    TScopeFail(const TScopeFail&) = delete;
    TScopeFail& operator=(const TScopeFail&) = delete;
    ~TScopeFail()
    {
        if (std::uncaught_exceptions() > m_uncaught)
            m_action();
    }

private:
    F m_action;
    int m_uncaught = std::uncaught_exceptions();
};

// Sets a variable for the scope and gives it back its value afterwards: an
// event handler detached while a load must not trigger it, a flag raised
// while a step runs.
template <class T> class TRestore
{
public:
    TRestore(T& target, T value) : m_target(target), m_saved(std::move(target))
    {
        m_target = std::move(value);
    }
    TRestore(const TRestore&) = delete;
    TRestore& operator=(const TRestore&) = delete;
    ~TRestore() { m_target = std::move(m_saved); }

private:
    T& m_target;
    T m_saved;
};

// An event handler detached for the scope: the handler in place before is
// reattached on the way out.
template <class T> class TDetachHandler : public TRestore<T>
{
public:
    explicit TDetachHandler(T& handler) : TRestore<T>(handler, T()) {}
};

// Display of a dataset's controls suspended for the scope (nests as
// DisableControls does); a null dataset suspends nothing.
template <class D> class TControlsDisabled
{
public:
    explicit TControlsDisabled(D* dataSet) : m_dataSet(dataSet)
    {
        if (m_dataSet)
            m_dataSet->DisableControls();
    }
    TControlsDisabled(const TControlsDisabled&) = delete;
    TControlsDisabled& operator=(const TControlsDisabled&) = delete;
    ~TControlsDisabled()
    {
        if (m_dataSet)
            m_dataSet->EnableControls();
    }

private:
    D* m_dataSet;
};

} // namespace aph

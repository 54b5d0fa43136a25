#pragma once

#include <exception>
#include <utility>

namespace aph {

// Runs an action when the scope ends, however it ends: the bookkeeping that
// an operation undoes on its way out (a handler reattached, a display
// resumed) stays beside the step that did it.
//
// An action that fails on a normal exit raises its exception, as the same
// step written after the work would. One that fails while an exception
// already unwinds the scope is dropped: the first failure is the one the
// user must see, and a second exception would end the program.
template <class F> class TScopeExit
{
public:
    explicit TScopeExit(F action) : m_action(std::move(action)) {}
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    ~TScopeExit() noexcept(false)
    {
        if (!m_armed)
            return;
        if (std::uncaught_exceptions() == m_uncaught) {
            m_action();
            return;
        }
        try {
            m_action();
        } catch (...) {
            // The failure that unwinds the scope goes on.
        }
    }

    // The action is no longer needed: the scope completed it another way.
    void Release() { m_armed = false; }

private:
    F m_action;
    int m_uncaught = std::uncaught_exceptions();
    bool m_armed = true;
};

// Runs an action only when the scope is left by an exception: an undo that a
// completed operation must not do (a half-made edit cancelled). An undo that
// fails in turn is dropped: the failure that unwinds the scope goes on.
template <class F> class TScopeFail
{
public:
    explicit TScopeFail(F action) : m_action(std::move(action)) {}
    TScopeFail(const TScopeFail&) = delete;
    TScopeFail& operator=(const TScopeFail&) = delete;
    ~TScopeFail()
    {
        if (std::uncaught_exceptions() <= m_uncaught)
            return;
        try {
            m_action();
        } catch (...) {
            // The failure that unwinds the scope goes on.
        }
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
// DisableControls does); a null dataset suspends nothing. Resuming runs the
// display's handlers, so it fails as a TScopeExit action does.
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

private:
    struct TEnable
    {
        D* DataSet;
        void operator()() const
        {
            if (DataSet)
                DataSet->EnableControls();
        }
    };
    D* m_dataSet;
    TScopeExit<TEnable> m_enable{TEnable{m_dataSet}};
};

} // namespace aph

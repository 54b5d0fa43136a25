#pragma once

#include "shell/hostoptions.h"
#include "shell/moduleloader.h"

#include <QMainWindow>

class QMdiArea;

namespace aph {

class TQtDesktop;

// The host's main window: a menu whose entry "Apuração de CHT" loads the
// module on first use and calls its entry, and the area where the screens
// open as child windows.
class TMainWindow : public QMainWindow
{
public:
    TMainWindow(const THostOptions& options, TQtDesktop& desktop);
    ~TMainWindow() override;

    QMdiArea* MdiArea() const { return m_mdi; }
    // Runs the module's entry as the menu entry does; false when it failed
    // (the error was shown).
    bool OpenApproval();
    // Closes the screens (each may refuse), then stops and unloads the
    // module. False when a screen stayed open.
    bool ShutDown();
    // Milliseconds the last OpenApproval took, from the click to the screen
    // filled after its filter.
    qint64 LastOpenMs() const { return m_lastOpenMs; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TQtDesktop& m_desktop;
    TModuleLoader m_module;
    QMdiArea* m_mdi;
    qint64 m_lastOpenMs = 0;
    bool m_shutDown = false;
};

} // namespace aph

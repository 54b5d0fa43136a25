#pragma once

#include "shell/hostoptions.h"
#include "shell/moduleloader.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;

namespace aph {

class TFormView;
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

    // How long a status line stays before it fades.
    void SetStatusFadeMs(int ms);
    // How long an idle connection waits before it checks that its server
    // still answers (a round trip at most that often); the check runs four
    // times as often, so a loss shows within a quarter more.
    void SetKeepAliveMs(int ms);
    // A line in the status bar, as the screens' status lines (it fades).
    void ShowStatus(const QString& text);
    // Shows the window as the host starts: filling the screen, with the
    // warning about its configuration (if any) in the status bar rather
    // than on standard error only.
    void ShowAtStart(const THostOptions& options);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The active screen's menus join the main bar.
    void MergeMenus(QMdiSubWindow* sub);

    TQtDesktop& m_desktop;
    TModuleLoader m_module;
    QMdiArea* m_mdi;
    QMenu* m_windowsMenu = nullptr;
    QPointer<TFormView> m_mergedView;
    QList<QPointer<QAction>> m_merged;
    QLabel* m_status = nullptr;
    QTimer* m_statusFade = nullptr;
    QTimer* m_keepAlive = nullptr;
    int m_keepAliveIdleMs = 0;
    qint64 m_lastOpenMs = 0;
    bool m_shutDown = false;
};

} // namespace aph

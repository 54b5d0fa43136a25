#include "shell/mainwindow.h"

#include "host/framework/netconnection.h"
#include "host/qt/formview.h"
#include "host/qt/input.h"
#include "host/qt/qtdesktop.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The server part of the status bar, as the calls of the screens find it.
QString ServerStatusText(const TConnectionStatus& status)
{
    switch (status.State) {
    case TConnectionStatus::TState::Connected:
        return u"Servidor: %1 (conectado)"_s.arg(status.Address);
    case TConnectionStatus::TState::Lost:
        return u"Servidor: %1 — sem conexão"_s.arg(status.Address);
    case TConnectionStatus::TState::Reconnected:
        return u"Servidor: %1 (reconectado)"_s.arg(status.Address);
    case TConnectionStatus::TState::Refused:
        return u"Servidor: %1 — recusado: %2"_s.arg(status.Address, status.Message);
    }
    return {};
}

// A status line stays this long, then gives its place to the next one.
constexpr int kStatusFadeMs = 20000;
// An idle connection makes one round trip a minute at most to check its
// server (see KeepConnectionsAlive); the timer looks four times as often,
// so a server lost just after a call shows within 75 s.
constexpr int kKeepAliveMs = 60000;
constexpr int kKeepAliveChecks = 4;

} // namespace

TMainWindow::TMainWindow(const THostOptions& options, TQtDesktop& desktop)
    : m_desktop(desktop),
      m_module(options.ModuleFile.isEmpty()
                   ? TModuleLoader::DefaultFile(QCoreApplication::applicationDirPath())
                   : options.ModuleFile),
      m_mdi(new QMdiArea(this))
{
    setObjectName(u"mainWindow"_s);
    m_mdi->setObjectName(u"mdiArea"_s);
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);

    // "Mó&dulos": the screens' "&Manutenção" keeps its M.
    QMenu* modules = menuBar()->addMenu(u"Mó&dulos"_s);
    QAction* approval = modules->addAction(u"&Apuração de CHT"_s);
    approval->setObjectName(u"actionApuracaoCHT"_s);
    connect(approval, &QAction::triggered, this, [this] { OpenApproval(); });
    modules->addSeparator();
    QAction* quit = modules->addAction(u"&Sair"_s);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);
    m_windowsMenu = menuBar()->addMenu(u"&Janela"_s);
    m_windowsMenu->addAction(u"&Cascata"_s, m_mdi, &QMdiArea::cascadeSubWindows);
    m_windowsMenu->addAction(u"&Lado a lado"_s, m_mdi, &QMdiArea::tileSubWindows);
    connect(m_mdi, &QMdiArea::subWindowActivated, this,
            [this](QMdiSubWindow* sub) { MergeMenus(sub); });

    const THostEnvironment& env = options.Environment;
    statusBar()->addWidget(
        new QLabel(u"Operador: %1   Filial: %2"_s.arg(env.Operador, env.FiliProc)));
    auto* server =
        new QLabel(u"Servidor: %1"_s.arg(TServerAddress{env.WebURL, env.WebPort}.Text()));
    server->setObjectName(u"lblServidor"_s);
    statusBar()->addWidget(server);
    SetConnectionStatusHandler([server](const TConnectionStatus& status) {
        server->setText(ServerStatusText(status));
        const bool bad = status.State == TConnectionStatus::TState::Lost ||
                         status.State == TConnectionStatus::TState::Refused;
        server->setStyleSheet(bad ? u"color: #b00020; font-weight: bold"_s : QString());
    });
    // What the last long operation did (the CHTs a generation made).
    m_status = new QLabel(this);
    m_status->setObjectName(u"lblStatus"_s);
    // It takes the room the other parts leave, cut short rather than
    // drawn over its neighbours.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->setMinimumWidth(1);
    statusBar()->addWidget(m_status, 1);
    m_statusFade = new QTimer(this);
    m_statusFade->setSingleShot(true);
    m_statusFade->setInterval(kStatusFadeMs);
    connect(m_statusFade, &QTimer::timeout, m_status, &QLabel::clear);
    m_desktop.OnStatus = [this](const QString& text) {
        ShowStatus(text);
    };
    // What the screen shows (the pending days of the CHT on screen).
    auto* screenStatus = new QLabel(this);
    screenStatus->setObjectName(u"lblStatusTela"_s);
    statusBar()->addWidget(screenStatus);
    m_desktop.OnScreenStatus = [screenStatus](const QString& text) {
        screenStatus->setText(text);
    };
    auto* busy = new QWidget(this);
    auto* busyLabel = new QLabel(u"Aguarde…"_s, busy);
    auto* bar = new QProgressBar(busy);
    bar->setRange(0, 0); // an indicator without an end
    bar->setMaximumWidth(120);
    auto* row = new QHBoxLayout(busy);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(busyLabel);
    row->addWidget(bar);
    statusBar()->addPermanentWidget(busy);
    // The server's state follows the server even while nobody calls it.
    m_keepAlive = new QTimer(this);
    connect(m_keepAlive, &QTimer::timeout, this,
            [this] { KeepConnectionsAlive(m_keepAliveIdleMs); });
    SetKeepAliveMs(kKeepAliveMs);
    m_desktop.SetMdiArea(m_mdi);
    m_desktop.SetBusyIndicator(busy);
    // The screens open filling the work area and grow with it.
    m_desktop.SetMaximisedScreens(true);
    resize(1010, 720);
}

void TMainWindow::SetStatusFadeMs(int ms)
{
    m_statusFade->setInterval(ms);
}

void TMainWindow::SetKeepAliveMs(int ms)
{
    m_keepAliveIdleMs = ms;
    m_keepAlive->start(std::max(1, ms / kKeepAliveChecks));
}

void TMainWindow::ShowAtStart(const THostOptions& options)
{
    showMaximized();
    if (!options.Warning.isEmpty())
        ShowStatus(options.Warning);
}

void TMainWindow::ShowStatus(const QString& text)
{
    // An old line would speak of a later state: it fades after a while.
    m_status->setText(text);
    m_status->setToolTip(text);
    if (text.isEmpty())
        m_statusFade->stop();
    else
        m_statusFade->start();
}

void TMainWindow::MergeMenus(QMdiSubWindow* sub)
{
    auto* view = sub ? dynamic_cast<TFormView*>(sub->widget()) : nullptr;
    // No window active (a dialog has the focus): the menus stay while the
    // screen is on view.
    if (!sub && m_mergedView && m_mergedView->isVisible())
        return;
    if (view && view == m_mergedView)
        return;
    for (const QPointer<QAction>& action : std::as_const(m_merged))
        if (action)
            menuBar()->removeAction(action);
    m_merged.clear();
    if (m_mergedView)
        m_mergedView->SetMenuBarShown(true);
    m_mergedView = nullptr;
    if (!view || !view->MenuBar() || !view->Form())
        return;
    // The screen's menus go between the host's own, as one bar: each Alt
    // letter opens one menu, and Left and Right walk through all of them.
    const QList<QAction*> actions = view->MenuBar()->actions();
    menuBar()->insertActions(m_windowsMenu->menuAction(), actions);
    for (QAction* action : actions)
        m_merged << action;
    m_mergedView = view;
    view->SetMenuBarShown(false);
}

TMainWindow::~TMainWindow()
{
    ShutDown();
    // The work area outlives this part of the window: its last signals
    // find no menus to merge.
    disconnect(m_mdi, nullptr, this, nullptr);
    SetConnectionStatusHandler(nullptr);
    m_desktop.OnStatus = nullptr;
    m_desktop.OnScreenStatus = nullptr;
}

bool TMainWindow::OpenApproval()
{
    QElapsedTimer timer;
    timer.start();
    TModuleLoader* module = &m_module;
    const bool ok = UserInput([module] { module->IniProc(); });
    m_lastOpenMs = timer.elapsed();
    return ok;
}

bool TMainWindow::ShutDown()
{
    if (m_shutDown)
        return true;
    // Each screen decides on its own closing (it may ask about unsaved
    // changes and stay).
    for (QMdiSubWindow* sub : m_mdi->subWindowList()) {
        if (!sub->isVisible())
            continue;
        sub->close();
        if (sub->isVisible())
            return false;
    }
    m_shutDown = true;
    UserInput([this] { m_module.Unload(); });
    return true;
}

void TMainWindow::closeEvent(QCloseEvent* event)
{
    if (ShutDown())
        event->accept();
    else
        event->ignore();
}

} // namespace aph

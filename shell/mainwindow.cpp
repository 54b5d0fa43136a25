#include "shell/mainwindow.h"

#include "host/framework/netconnection.h"
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
    }
    return {};
}

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

    QMenu* modules = menuBar()->addMenu(u"&Módulos"_s);
    QAction* approval = modules->addAction(u"&Apuração de CHT"_s);
    approval->setObjectName(u"actionApuracaoCHT"_s);
    connect(approval, &QAction::triggered, this, [this] { OpenApproval(); });
    modules->addSeparator();
    QAction* quit = modules->addAction(u"&Sair"_s);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);
    QMenu* windows = menuBar()->addMenu(u"&Janela"_s);
    windows->addAction(u"&Cascata"_s, m_mdi, &QMdiArea::cascadeSubWindows);
    windows->addAction(u"&Lado a lado"_s, m_mdi, &QMdiArea::tileSubWindows);

    const THostEnvironment& env = options.Environment;
    statusBar()->addWidget(
        new QLabel(u"Operador: %1   Filial: %2"_s.arg(env.Operador, env.FiliProc)));
    auto* server =
        new QLabel(u"Servidor: %1"_s.arg(TServerAddress{env.WebURL, env.WebPort}.Text()));
    server->setObjectName(u"lblServidor"_s);
    statusBar()->addWidget(server);
    SetConnectionStatusHandler([server](const TConnectionStatus& status) {
        server->setText(ServerStatusText(status));
        server->setStyleSheet(status.State == TConnectionStatus::TState::Lost
                                  ? u"color: #b00020; font-weight: bold"_s
                                  : QString());
    });
    // What the last long operation did (the CHTs a generation made).
    auto* status = new QLabel(this);
    status->setObjectName(u"lblStatus"_s);
    statusBar()->addWidget(status, 1);
    m_desktop.OnStatus = [status](const QString& text) {
        status->setText(text);
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
    m_desktop.SetMdiArea(m_mdi);
    m_desktop.SetBusyIndicator(busy);
    resize(1010, 720);
}

TMainWindow::~TMainWindow()
{
    ShutDown();
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

#include "shell/mainwindow.h"

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

namespace aph {

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

TMainWindow::TMainWindow(const THostOptions& options, TQtDesktop& desktop)
    : m_desktop(desktop),
      m_module(options.ModuleFile.isEmpty()
                   ? TModuleLoader::DefaultFile(QCoreApplication::applicationDirPath())
                   : options.ModuleFile),
      m_mdi(new QMdiArea(this))
{
    setWindowTitle(S("Aprovação de Horas"));
    setObjectName(S("mainWindow"));
    m_mdi->setObjectName(S("mdiArea"));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);

    QMenu* modules = menuBar()->addMenu(S("&Módulos"));
    QAction* approval = modules->addAction(S("&Apuração de CHT"));
    approval->setObjectName(S("actionApuracaoCHT"));
    connect(approval, &QAction::triggered, this, [this] { OpenApproval(); });
    modules->addSeparator();
    QAction* quit = modules->addAction(S("&Sair"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);
    QMenu* windows = menuBar()->addMenu(S("&Janela"));
    windows->addAction(S("&Cascata"), m_mdi, &QMdiArea::cascadeSubWindows);
    windows->addAction(S("&Lado a lado"), m_mdi, &QMdiArea::tileSubWindows);

    const THostEnvironment& env = options.Environment;
    statusBar()->addWidget(new QLabel(S("Operador: %1   Filial: %2   Servidor: %3:%4")
                                          .arg(env.Operador, env.FiliProc, env.WebURL)
                                          .arg(env.WebPort)));
    auto* busy = new QWidget(this);
    auto* busyLabel = new QLabel(S("Aguarde…"), busy);
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

// aph-host: the desktop host application. Reads its environment, opens the
// shared database, and shows the main window from which the module's
// screens open.
#include "host/data/exceptions.h"
#include "host/data/formatsettings.h"
#include "host/framework/basescreens.h"
#include "host/framework/dbquery.h"
#include "host/qt/formview.h"
#include "host/qt/qtdesktop.h"
#include "shell/hostoptions.h"
#include "shell/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

void Say(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

// A fatal start-up error: on the screen when there is one to look at, and
// always on standard error.
int Fail(const QString& text, bool interactive)
{
    Say(text);
    if (interactive)
        QMessageBox::critical(nullptr, QString::fromUtf8("Aprovação de Horas"), text);
    return 1;
}

bool Save(QWidget* widget, const QString& file)
{
    // Labels whose text just changed (the status bar's) take their width
    // first, as the next pass of the event loop would give them.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (widget->grab().save(file))
        return true;
    Say(QString::fromUtf8("Não foi possível salvar a imagem em %1.").arg(file));
    return false;
}

// The options from the command line and the INI file; an exit status when
// the run ends here (help, or options refused).
std::optional<int> ReadOptions(const QStringList& arguments, THostOptions& options)
{
    try {
        options = ParseHostOptions(arguments);
    } catch (const Exception& e) {
        Say(e.Message());
        Say(HostUsage());
        return 2;
    }
    if (options.Help) {
        std::fprintf(stdout, "%s", HostUsage().toUtf8().constData());
        return 0;
    }
    return std::nullopt;
}

// A run without anybody at the screen: the filter is confirmed as it opens,
// with its defaults, after its picture is taken if one was asked for.
void ConfirmDialogsAsTheyOpen(TQtDesktop& desktop, const THostOptions& options, bool& dialogTaken,
                              int& status)
{
    desktop.OnModalShown = [&](TForm& form, QWidget* frame) {
        if (!options.DialogScreenshot.isEmpty() && !dialogTaken) {
            dialogTaken = true;
            if (!Save(frame, options.DialogScreenshot))
                status = 1;
        }
        auto* filter = dynamic_cast<TfrmFiltroPadrao*>(&form);
        TFormView* view = desktop.ViewOf(&form);
        auto* confirm = filter && view
                            ? qobject_cast<QAbstractButton*>(view->WidgetOf(filter->sbtConfirma))
                            : nullptr;
        if (confirm)
            confirm->click();
        else
            form.Close();
    };
}

// Whatever happens, a scripted run ends.
void StartWatchdog(QObject* parent)
{
    auto* watchdog = new QTimer(parent);
    watchdog->setSingleShot(true);
    QObject::connect(watchdog, &QTimer::timeout, [] {
        Say(QString::fromUtf8("Tempo esgotado esperando a tela abrir."));
        std::fflush(stderr);
        _exit(3);
    });
    watchdog->start(120000);
}

// Opens the approval screen once the event loop runs; a scripted run then
// reports the time, takes the picture and closes the window.
void OpenOnStart(TMainWindow& window, const TQtDesktop& desktop, const THostOptions& options,
                 bool scripted, int& status)
{
    QTimer::singleShot(0, &window, [&window, &desktop, &options, scripted, &status] {
        const bool ok = window.OpenApproval();
        if (!scripted)
            return;
        Say(QString::fromUtf8("Apuração de CHT aberta em %1 ms.").arg(window.LastOpenMs()));
        // The screen fills the work area for the picture.
        if (QMdiSubWindow* sub = window.MdiArea()->activeSubWindow())
            sub->move(0, 0);
        if (!Save(&window, options.Screenshot) || !ok || !desktop.Messages().isEmpty())
            status = 1;
        window.close();
    });
}

// The desktop and its main window, from their start to their end.
int RunDesktop(QApplication& app, const THostOptions& options)
{
    const bool scripted = !options.Screenshot.isEmpty();
    int status = 0;
    TQtDesktop desktop;
    desktop.SetApplicationTitle(u"Aprovação de Horas"_s);
    desktop.SetNonInteractive(scripted);
    TMainWindow window(options, desktop);
    // Read by the modal hook while the event loop runs, so it lives as long
    // as the window.
    bool dialogTaken = false;
    if (scripted) {
        ConfirmDialogsAsTheyOpen(desktop, options, dialogTaken, status);
        StartWatchdog(&app);
    }
    // The window takes the whole screen; a warning about the INI file is
    // shown in it, not only on standard error.
    window.ShowAtStart(options);
    if (options.Open)
        OpenOnStart(window, desktop, options, scripted, status);
    const int loop = app.exec();
    if (status == 0)
        status = loop;
    window.ShutDown();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"aph-host"_s);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    InstallQtTranslations();

    THostOptions options;
    if (const std::optional<int> exit = ReadOptions(app.arguments().mid(1), options))
        return *exit;
    SetHostEnvironment(options.Environment);
    // The screens compare day names and read dates as a Brazilian desktop
    // shows them, whatever locale the process was started in.
    SetHostFormatSettings(TFormatSettings::ForLocale(options.Locale));
    if (!options.Warning.isEmpty())
        std::fprintf(stderr, "%s\n", qUtf8Printable(options.Warning));
    try {
        // Without a database of its own, the host reads the screens'
        // lookups through the application server.
        if (options.Environment.Database.isEmpty())
            dtmDBGeral()->OpenServer();
        else
            dtmDBGeral()->Open(options.Environment.Database);
    } catch (const Exception& e) {
        return Fail(QString::fromUtf8("Não foi possível abrir o banco de 'database' (%1): %2")
                        .arg(options.Environment.Database, e.Message()),
                    options.Screenshot.isEmpty());
    }
    const int status = RunDesktop(app, options);
    dtmDBGeral()->Close();
    return status;
}

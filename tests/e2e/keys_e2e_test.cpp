// The clerk's eyes and keys at the host's own main window, under a real X
// server: every menu behind its own Alt letter, every command behind a key
// that the menus, the tooltips and F1 all tell, the focused grid standing
// out, and the screen filling the window.
#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/qt/input.h"
#include "shell/mainwindow.h"
#include "tests/e2e/screenfixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

constexpr int kColourSlack = 24; // how far a pixel may be from the frame's colour

// The letter after a caption's single "&".
QChar Mnemonic(const QString& text)
{
    const qsizetype at = text.indexOf(QRegularExpression(u"&[^&]"_s));
    return at < 0 ? QChar() : text[at + 1].toUpper();
}

class KeysAtTheHost : public ScreenAtTheDesktop
{
protected:
    void AddDays() override
    {
        AddCht(u"T0001"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"P"_s);
        for (int day : {1, 4, 5})
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, day), 8.0,
                   u"T0001"_s);
    }
    void SetUp() override
    {
        ScreenAtTheDesktop::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        window.hide();
        host = std::make_unique<TMainWindow>(THostOptions{}, desktop);
        host->resize(1200, 760);
        host->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
        host->activateWindow();
        QApplication::setActiveWindow(host.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(host.get()));
    }
    void TearDown() override
    {
        desktop.OnMessageShown = nullptr;
        host.reset();
        ScreenAtTheDesktop::TearDown();
    }
    void OpenTheCht()
    {
        desktop.OnModalShown = [](TForm& form, QWidget* frame) {
            auto& d = static_cast<TfrmFiltroCsa&>(form);
            QApplication::setActiveWindow(frame);
            d.depDtInicial->SetDate(Day(2030, 3, 1));
            d.depDtFinal->SetDate(Day(2030, 3, 31));
            d.chbComCHTGerada->SetChecked(true);
            d.chbCHT_Pendente->SetChecked(true);
            UserInput([&d] { d.sbtConfirma->Click(); });
        };
        IniProc();
        desktop.OnModalShown = nullptr;
        ASSERT_NE(frmAprovaHoras, nullptr);
        f = frmAprovaHoras;
        QApplication::setActiveWindow(host.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(host.get()));
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "a key with the focus nowhere";
        QTest::keyClick(focus, key, modifiers);
    }
    // The screen as it is, kept when APH_E2E_SHOTS names a folder.
    void Shot(const char* name, QWidget* over = nullptr)
    {
        QCoreApplication::processEvents();
        host->repaint();
        QRect area = host->frameGeometry();
        if (over) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(over->window()));
            over->window()->repaint();
            area = area.united(over->window()->frameGeometry());
        }
        const QImage image = QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(area);
        if (const QString shots = qEnvironmentVariable("APH_E2E_SHOTS"); !shots.isEmpty())
            image.save(QDir(shots).filePath(QString::fromUtf8(name)));
    }
    // Pixels of the focus frame's colour in a grid's picture.
    int FramePixels(TDBGrid* grid)
    {
        auto* view = dynamic_cast<TGridView*>(Widget(f, grid));
        const QColor frame = view->palette().color(QPalette::Highlight).darker(170);
        const QImage image = view->viewport()->grab().toImage();
        int n = 0;
        const auto near = [&frame](QColor c) {
            return std::abs(c.red() - frame.red()) + std::abs(c.green() - frame.green()) +
                       std::abs(c.blue() - frame.blue()) <
                   kColourSlack;
        };
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += near(image.pixelColor(x, y));
        return n;
    }

    std::unique_ptr<TMainWindow> host;
    TfrmAprovaHoras* f = nullptr;
};

} // namespace

TEST_F(KeysAtTheHost, EveryMenuHasItsOwnLetterAndEveryCommandAKeyThatF1Lists)
{
    OpenTheCht();
    // One bar: the host's menus and the screen's, each letter once.
    QStringList titles;
    QSet<QChar> letters;
    for (QAction* top : host->menuBar()->actions()) {
        if (!top->menu() || !top->isVisible())
            continue;
        titles << top->text();
        const QChar letter = Mnemonic(top->text());
        EXPECT_FALSE(letter.isNull()) << top->text().toStdString();
        EXPECT_FALSE(letters.contains(letter)) << "Alt+" << QString(letter).toStdString();
        letters << letter;
    }
    EXPECT_EQ(titles, (QStringList{u"Mó&dulos"_s, u"&Manutenção"_s, u"&Janela"_s}));

    // Alt+M opens the screen's menu.
    Key(Qt::Key_M, Qt::AltModifier);
    auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->title(), u"&Manutenção"_s);
    Shot("teclas-manutencao.png", open);
    QTest::keyClick(open, Qt::Key_Escape);
    QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                      : host->menuBar(),
                    Qt::Key_Escape);

    // Every toolbar button tells its key, and its menu entry the same one.
    QHash<QString, QString> keyOf; // what F1 must list: key, then what it does
    for (QToolButton* button : Widget(f, f->panMenu)->findChildren<QToolButton*>()) {
        if (!button->isVisible())
            continue;
        const QRegularExpressionMatch m =
            QRegularExpression(u"^(.*) \\((.+)\\)$"_s).match(button->toolTip());
        ASSERT_TRUE(m.hasMatch()) << "no key in " << button->toolTip().toStdString();
        keyOf.insert(m.captured(2), m.captured(1));
    }
    for (QAction* entry : host->menuBar()->actions()[1]->menu()->actions()) {
        const QStringList parts = entry->text().split(u'\t');
        if (entry->isSeparator() || parts.size() < 2)
            continue;
        const QString caption = QString(parts[0]).remove(u'&').remove(u"..."_s);
        if (keyOf.contains(parts[1])) {
            EXPECT_EQ(keyOf[parts[1]], caption) << "one key, one command";
        }
        keyOf.insert(parts[1], caption);
    }
    EXPECT_GE(keyOf.size(), 10);

    // F1 lists them all, as the menus and the toolbar have them.
    QString help;
    desktop.OnMessageShown = [&help](QMessageBox& box) {
        help = box.text();
        box.buttons().first()->click();
    };
    Key(Qt::Key_F1);
    for (auto it = keyOf.cbegin(); it != keyOf.cend(); ++it)
        EXPECT_TRUE(help.contains(it.key() + u'\t' + it.value()))
            << QString(it.key() + u'\t' + it.value()).toStdString() << "\n"
            << help.toStdString();
    EXPECT_TRUE(help.contains(u"Alt+M\tmenu Manutenção"_s)) << help.toStdString();
}

TEST_F(KeysAtTheHost, TheScreenFillsTheWindowAndTheFocusIsFramed)
{
    OpenTheCht();
    auto* sub = qobject_cast<QMdiSubWindow*>(desktop.WindowOf(f));
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->isMaximized());
    const int before = f->Width();
    host->resize(host->width() + 100, host->height() + 40);
    QCoreApplication::processEvents();
    EXPECT_EQ(f->Width(), before + 100) << "the screen grows with the window";

    // Only the grid with the focus frames its current row.
    ClickCell(f->dbgFuncionario, RowOf(f->dbgFuncionario, "CDFUNC", "TF1"), 1);
    ClickCell(f->dbgCHT, RowOf(f->dbgCHT, "NRSEQUCHT", "T0001"), 2);
    ClickCell(f->dbgCSA, 0, 1);
    ASSERT_EQ(f->ActiveControl(), f->dbgCSA);
    const QList<TDBGrid*> grids{f->dbgPadrao, f->dbgFuncionario, f->dbgCHT, f->dbgCSA};
    // The days' grid, then the next grid Ctrl+Tab reaches.
    for (int step = 0; step < 2; ++step) {
        for (int presses = 0; step > 0 && presses < 10; ++presses) {
            Key(Qt::Key_Tab, Qt::ControlModifier);
            if (grids.contains(f->ActiveControl()) && f->ActiveControl() != f->dbgCSA)
                break;
        }
        QCoreApplication::processEvents();
        ASSERT_TRUE(grids.contains(f->ActiveControl()));
        if (step == 0)
            Shot("foco-grade-dias.png");
        for (TDBGrid* grid : grids)
            EXPECT_EQ(FramePixels(grid) > 0, grid == f->ActiveControl())
                << grid->Name().toStdString();
    }
}

// In the filter dialog, Tab goes from control to control and each one
// shows the style's focus mark (the window counts as moved by keyboard).
TEST_F(KeysAtTheHost, TheFilterDialogShowsWhereTheFocusIs)
{
    OpenTheCht();
    QStringList reached;
    bool marked = true;
    desktop.OnModalShown = [&](TForm&, QWidget* frame) {
        QApplication::setActiveWindow(frame);
        for (int i = 0; i < 6; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            reached << QString::fromLatin1(focus ? focus->metaObject()->className() : "-");
            marked = marked && frame->testAttribute(Qt::WA_KeyboardFocusChange);
            if (i == 3)
                Shot("filtro-foco.png", frame);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    };
    Key(Qt::Key_L, Qt::ControlModifier);
    desktop.OnModalShown = nullptr;
    EXPECT_EQ(reached.size(), 6);
    EXPECT_TRUE(marked) << "the style draws focus marks only after keyboard moves";
    EXPECT_GE(QSet<QString>(reached.begin(), reached.end()).size(), 2)
        << reached.join(u' ').toStdString();
}

// The status bar follows the server while the clerk only reads, and an old
// status line gives way.
TEST_F(KeysAtTheHost, TheStatusBarFollowsTheServerAndOldLinesFade)
{
    OpenTheCht();
    auto* server = host->findChild<QLabel*>(u"lblServidor"_s);
    auto* status = host->findChild<QLabel*>(u"lblStatus"_s);
    ASSERT_TRUE(server && status);
    EXPECT_TRUE(server->text().contains(u"(conectado)"_s)) << server->text().toStdString();

    // A long line and the screen's own note side by side: no part of the
    // bar is drawn over another, however long the line.
    auto* screen = host->findChild<QLabel*>(u"lblStatusTela"_s);
    ASSERT_NE(screen, nullptr);
    desktop.ShowStatus(u"Geradas 3 CHT(s) para 3 funcionário(s), com 41 CSA(s); "_s +
                       QString(u"Ctrl+Shift+V mostra as CHTs geradas. "_s).repeated(4));
    desktop.ShowScreenStatus(u"Nenhum dia pendente de aprovação nesta CHT"_s);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
    const QList<QLabel*> parts{server, status, screen};
    for (QLabel* a : parts)
        for (QLabel* b : parts)
            if (a != b && a->isVisible() && b->isVisible()) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                    << a->objectName().toStdString() << " over " << b->objectName().toStdString();
            }
    EXPECT_GE(screen->width(), screen->sizeHint().width()) << "the screen's note whole";

    host->SetStatusFadeMs(200);
    desktop.ShowStatus(u"Planilha gravada em /tmp/dias.csv"_s);
    EXPECT_EQ(status->text(), u"Planilha gravada em /tmp/dias.csv"_s);
    QTRY_VERIFY_WITH_TIMEOUT(status->text().isEmpty(), 5000);

    host->SetKeepAliveMs(100);
    m_client.reset();
    m_server.reset();
    QTRY_VERIFY_WITH_TIMEOUT(server->text().contains(u"sem conexão"_s), 15000);
    Shot("status-sem-conexao.png");
}

// The host's window as it starts: maximised, and what went wrong before
// any screen said in it: the INI file that others may read (it holds the
// token), a Login the server refused.
TEST_F(KeysAtTheHost, TheWindowOpensMaximisedAndSaysInItWhatWentWrong)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"aph-host.ini"_s);
    {
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(u"[host]\noperator=ANA\nbranch=0001\nhost=127.0.0.1\nport=%1\ntoken=errado\n"_s
                       .arg(m_server->Port())
                       .toUtf8());
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    }
    const THostOptions options = ParseHostOptions({u"--config"_s, ini});
    ASSERT_FALSE(options.Warning.isEmpty());
    host.reset(); // one window at a time holds the desktop's status
    host = std::make_unique<TMainWindow>(options, desktop);
    host->ShowAtStart(options);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    EXPECT_TRUE(host->isMaximized());
    auto* status = host->findChild<QLabel*>(u"lblStatus"_s);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(), options.Warning);
    EXPECT_TRUE(status->text().contains(u"chmod 600"_s)) << status->text().toStdString();

    // The INI's wrong token: the server refuses the Login, and the window
    // says so beside the server's address.
    SetHostEnvironment(options.Environment);
    TNetConnection net;
    net.SetHost(u"127.0.0.1"_s);
    net.SetPort(m_server->Port());
    EXPECT_THROW(net.SetConnected(true), Exception);
    auto* server = host->findChild<QLabel*>(u"lblServidor"_s);
    ASSERT_NE(server, nullptr);
    EXPECT_TRUE(server->text().contains(u"recusado: Login recusado"_s))
        << server->text().toStdString();
}

// The days' export asks in Portuguese, in the documents folder, for a file
// named after the employee and the month.
TEST_F(KeysAtTheHost, TheExportDialogIsInPortugueseAndNamesTheFile)
{
    if (!InstallQtTranslations())
        GTEST_SKIP() << "qt6-translations-l10n não está instalado (./test o instala)";
    OpenTheCht();
    ClickCell(f->dbgFuncionario, RowOf(f->dbgFuncionario, "CDFUNC", "TF1"), 1);
    ClickCell(f->dbgCHT, RowOf(f->dbgCHT, "NRSEQUCHT", "T0001"), 2);
    ClickCell(f->dbgCSA, 0, 1);
    QString proposed, sizeTitle;
    desktop.OnDialogShown = [&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        ASSERT_NE(files, nullptr);
        proposed = QFileInfo(files->selectedFiles().value(0)).fileName();
        if (auto* list = files->findChild<QTreeView*>())
            sizeTitle = list->model()->headerData(1, Qt::Horizontal).toString();
        Shot("dialogo-arquivo.png", &dialog);
        dialog.reject();
    };
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        menu->setActiveAction(menu->findChild<QAction*>(u"exportCsv"_s));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    Key(Qt::Key_F10, Qt::ShiftModifier);
    desktop.OnDialogShown = nullptr;
    EXPECT_EQ(proposed, u"dias-TF1-2030-03.csv"_s);
    EXPECT_EQ(sizeTitle, u"Tamanho"_s) << "Qt's own texts in Portuguese";
}

// Any grid to CSV through its context menu: the real view, the real file
// dialog answered as a person would, the file read back (text that looks
// like a formula made plain text).
#include "tests/qt/gui_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct GridExport : GuiTest
{
    TForm form{u"frmLista"_s};
    TClientDataSet ds{u"cdsLista"_s};
    TDataSource dts{u"dtsLista"_s};
    TDBGrid* grid = nullptr;
    std::unique_ptr<TFormView> view;
    TGridView* gridView = nullptr;
    QTemporaryDir dir;
    int scrolls = 0;
    static constexpr int kRows = 300; // far more than the grid shows

    void SetUp() override
    {
        GuiTest::SetUp();
        ds.AddField(u"NOME"_s, TFieldType::ftString, 40);
        ds.AddField(u"VALOR"_s, TFieldType::ftFloat)->SetDisplayFormat(u"#,##0.00"_s);
        HoursField(ds.AddField(u"HORAS"_s, TFieldType::ftFloat));
        ds.AddField(u"OBS"_s, TFieldType::ftString, 40);
        dts.SetDataSet(&ds);
        form.SetClientSize(400, 200);
        form.SetVisible(true);
        grid = form.Add<TDBGrid>(u"dbgLista"_s);
        grid->SetAlign(TAlign::alClient);
        grid->SetDataSource(&dts);
        grid->AddColumn(u"NOME"_s, u"Nome; apelido"_s, 120);
        grid->AddColumn(u"VALOR"_s, u"Valor"_s, 70);
        grid->AddColumn(u"HORAS"_s, u"Horas"_s, 50);
        grid->AddColumn(u"OBS"_s, u"Obs."_s, 100);
        ds.CreateDataSet();
        for (int i = 0; i < kRows; ++i) {
            ds.Append();
            ds.FieldByName(u"NOME"_s)->SetAsString(i == 0 ? u"Silva; Souza"_s
                                                          : u"Nome %1"_s.arg(i));
            ds.FieldByName(u"VALOR"_s)->SetAsFloat(1234.5 + i);
            ds.FieldByName(u"HORAS"_s)->SetAsFloat(i % 2 ? 7.5 : 8);
            if (i == 0)
                ds.FieldByName(u"OBS"_s)->SetAsString(u"diz \"oi\""_s);
            if (i == 1)
                ds.FieldByName(u"OBS"_s)->SetAsString(u"linha 1\nlinha 2"_s);
            if (i == 3)
                ds.FieldByName(u"OBS"_s)->SetAsString(u"=HYPERLINK(\"http://x\")"_s);
            if (i == 4)
                ds.FieldByName(u"OBS"_s)->SetAsString(u"@SOMA(A1)"_s);
            ds.Post();
        }
        ds.SetRecNo(3);
        ds.AfterScroll = [this](TDataSet*) {
            ++scrolls;
        };
        view = std::make_unique<TFormView>(form);
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
        gridView = dynamic_cast<TGridView*>(view->WidgetOf(grid));
        ASSERT_NE(gridView, nullptr);
        Perform([this] { grid->SetFocus(); });
        desktop->SetNonInteractive(false);
    }
    void TearDown() override
    {
        ds.AfterScroll = nullptr;
        view.reset();
        GuiTest::TearDown();
    }

    // Chooses "Exportar para CSV..." in the grid's menu once it is open,
    // and answers the file dialog with this path.
    void ChooseExportTo(const QString& path, QString* menuText = nullptr)
    {
        WhenModal([menuText] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr) << "the context menu is open";
            auto* action = menu->findChild<QAction*>(u"exportCsv"_s);
            ASSERT_NE(action, nullptr);
            if (menuText)
                *menuText = action->text();
            menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        desktop->OnDialogShown = [path](QDialog& dialog) {
            auto* files = qobject_cast<QFileDialog*>(&dialog);
            ASSERT_NE(files, nullptr);
            files->selectFile(path);
            dialog.accept(); // as the Save button does
        };
    }
};

} // namespace

TEST_F(GridExport, ShiftF10ExportsEveryRowAsTheGridShowsIt)
{
    const QString path = dir.filePath(u"lista.csv"_s);
    QString menuText;
    ChooseExportTo(path, &menuText);
    QTest::keyClick(gridView, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(menuText, u"Exportar para CSV..."_s);
    EXPECT_TRUE(desktop->Messages().isEmpty()) << desktop->Messages().join(u'\n').toStdString();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the file was written";
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "UTF-8 with a byte-order mark";
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(u"\r\n"_s);
    ASSERT_EQ(lines.size(), kRows + 2) << "titles, every row, and the last line's end";
    EXPECT_TRUE(lines.last().isEmpty());
    EXPECT_EQ(lines[0], u"\"Nome; apelido\";Valor;Horas;Obs."_s);
    EXPECT_EQ(lines[1], u"\"Silva; Souza\";1.234,50;08:00;\"diz \"\"oi\"\"\""_s);
    EXPECT_EQ(lines[2], u"Nome 1;1.235,50;07:30;\"linha 1\nlinha 2\""_s);
    EXPECT_EQ(lines[kRows], u"Nome %1;1.533,50;07:30;"_s.arg(kRows - 1)) << "the last row too";
    // What a spreadsheet would run as a formula is text.
    EXPECT_EQ(lines[4], u"Nome 3;1.237,50;07:30;\"'=HYPERLINK(\"\"http://x\"\")\""_s);
    EXPECT_EQ(lines[5], u"Nome 4;1.238,50;08:00;'@SOMA(A1)"_s);
    // Each cell as the grid paints it.
    for (int row : {2, 150, kRows - 1}) {
        QStringList cells;
        for (int column = 0; column < grid->ColumnCount(); ++column)
            cells << grid->CellText(row, column);
        EXPECT_EQ(lines[row + 1], cells.join(u';')) << row;
    }
    EXPECT_EQ(ds.RecNo(), 3) << "the export leaves the current row where it was";
    EXPECT_EQ(scrolls, 0);
}

TEST_F(GridExport, TheMenuKeyOpensItTooAndAFileThatCannotBeWrittenIsNamed)
{
    const QString path = dir.filePath(u"falta/lista.csv"_s);
    // The failure is shown in a message box that names the file.
    QString shown;
    desktop->OnMessageShown = [&shown](QMessageBox& box) {
        shown = box.text();
        box.buttons().first()->click();
    };
    ChooseExportTo(path);
    QTest::keyClick(gridView, Qt::Key_Menu);
    EXPECT_TRUE(shown.startsWith(u"Não foi possível gravar o arquivo"_s)) << shown.toStdString();
    EXPECT_TRUE(shown.contains(path)) << shown.toStdString();
    EXPECT_FALSE(QFile::exists(path));

    // Giving up in the file dialog writes nothing and says nothing.
    shown.clear();
    WhenModal([] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        menu->setActiveAction(menu->findChild<QAction*>(u"exportCsv"_s));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    desktop->OnDialogShown = [](QDialog& dialog) {
        dialog.reject();
    };
    QTest::keyClick(gridView, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

// The export's file dialog as a clerk meets it: in the documents folder at
// first, then where the last file of the kind went; the name says what the
// rows are; the status bar says where the file was written.
TEST_F(GridExport, TheDialogOpensWhereFilesOfItsKindLastWentAndProposesWhatTheyAre)
{
    const QDir home = QDir::home();
    ASSERT_TRUE(home.mkpath(u"Documents"_s) && home.mkpath(u"planilhas"_s) &&
                home.mkpath(u"outra"_s));
    QSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                  u"/aph/pastas.ini"_s,
              QSettings::IniFormat)
        .clear();
    grid->OnGetExportName = [] {
        return u"dias-F0007-2025-02.csv"_s;
    };
    QStringList statuses;
    desktop->OnStatus = [&statuses](const QString& text) {
        statuses << text;
    };
    const struct
    {
        const char* chosen;    // where the file goes, under home
        const char* startedIn; // where the dialog opened, under home
    } steps[] = {
        {"planilhas/dias.csv", "Documents"},
        {"outra/dias.csv", "planilhas"},
        {"outra/dias2.csv", "outra"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.chosen);
        QString startedIn, proposed;
        const QString target = home.filePath(QString::fromUtf8(step.chosen));
        ChooseExportTo(target);
        auto answer = desktop->OnDialogShown;
        desktop->OnDialogShown = [&, answer](QDialog& dialog) {
            auto* files = qobject_cast<QFileDialog*>(&dialog);
            startedIn = files->directory().absolutePath();
            proposed = files->selectedFiles().value(0);
            answer(dialog);
        };
        QTest::keyClick(gridView, Qt::Key_F10, Qt::ShiftModifier);
        EXPECT_EQ(startedIn, home.filePath(QString::fromUtf8(step.startedIn)));
        EXPECT_EQ(QFileInfo(proposed).fileName(), u"dias-F0007-2025-02.csv"_s);
        EXPECT_TRUE(QFile::exists(target));
        ASSERT_FALSE(statuses.isEmpty());
        EXPECT_TRUE(statuses.last().contains(QDir::toNativeSeparators(target)))
            << statuses.last().toStdString();
    }
    // Another kind of file keeps its own folder: the documents still.
    QString startedIn;
    desktop->OnDialogShown = [&startedIn](QDialog& dialog) {
        startedIn = qobject_cast<QFileDialog*>(&dialog)->directory().absolutePath();
        dialog.reject();
    };
    QString path = u"CHT-00022-cliente.pdf"_s;
    EXPECT_FALSE(desktop->SaveFileName(u"Demonstrativo"_s, u"PDF (*.pdf)"_s, path));
    EXPECT_EQ(startedIn, home.filePath(u"Documents"_s));
    desktop->OnStatus = nullptr;
}

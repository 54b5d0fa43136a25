// The pickers from the keyboard: the search box keeps the focus while the
// keys that move through a list move the list, Enter takes the row the
// list shows as current, and in the list of ticks Space ticks it.
#include "host/data/selection.h"
#include "host/framework/pickers.h"
#include "host/qt/pickerdialogs.h"
#include "tests/qt/gui_fixture.h"

#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct PickerKeys : GuiTest
{
    TClientDataSet ds{u"qryOcorrencia"_s};
    TDataSource dts{u"dtsOcorrencia"_s};

    void SetUp() override
    {
        GuiTest::SetUp();
        desktop->SetNonInteractive(false);
        ds.AddField(u"CDOCORR"_s, TFieldType::ftString, 6)->SetVisible(false);
        ds.AddField(u"DSOCORR"_s, TFieldType::ftString, 40)->SetDisplayLabel(u"Ocorrência"_s);
        ds.CreateDataSet();
        for (const char* name : {"Deslocamento não faturável", "Treinamento interno",
                                 "Reunião com o cliente", "Falta justificada"}) {
            ds.Append();
            ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"%1"_s.arg(ds.RecordCount()));
            ds.FieldByName(u"DSOCORR"_s)->SetAsString(QString::fromUtf8(name));
            ds.Post();
        }
        ds.First();
        dts.SetDataSet(&ds);
    }
};

// One key at the search box: a key with no text, or text typed.
struct Stroke
{
    Qt::Key key;
    const char* text;
};

// Plays the strokes at the search box of the dialog that opens, which
// keeps the focus all along.
void PlayAtSearch(const QList<Stroke>& strokes, bool& searchKeptFocus)
{
    WhenModal([strokes, &searchKeptFocus] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        auto* search = dialog->findChild<QLineEdit*>(u"search"_s);
        ASSERT_NE(search, nullptr);
        QApplication::setActiveWindow(dialog);
        searchKeptFocus = search->hasFocus();
        for (const Stroke& s : strokes) {
            if (s.text)
                QTest::keyClicks(search, QString::fromUtf8(s.text));
            else
                QTest::keyClick(search, s.key);
            if (dialog->isVisible())
                searchKeptFocus = searchKeptFocus && search->hasFocus();
        }
        if (dialog->isVisible()) // Enter did not close it: say so and leave
            QTest::keyClick(search, Qt::Key_Escape);
    });
}

} // namespace

TEST_F(PickerKeys, TheRowPickerTakesTheRowTheArrowsReached)
{
    const struct
    {
        QList<Stroke> strokes;
        int recNo; // 0: nothing taken
    } cases[] = {
        {{{Qt::Key_Return, nullptr}}, 1},
        {{{Qt::Key_Down, nullptr}, {Qt::Key_Return, nullptr}}, 2},
        {{{Qt::Key_Down, nullptr},
          {Qt::Key_Down, nullptr},
          {Qt::Key_Up, nullptr},
          {Qt::Key_Enter, nullptr}},
         2},
        {{{Qt::Key_PageDown, nullptr}, {Qt::Key_Down, nullptr}, {Qt::Key_Return, nullptr}}, 4},
        {{{Qt::Key_PageDown, nullptr}, {Qt::Key_PageUp, nullptr}, {Qt::Key_Return, nullptr}}, 1},
        {{{Qt::Key_Up, nullptr}, {Qt::Key_Return, nullptr}}, 1},
        {{{Qt::Key_unknown, "re"}, {Qt::Key_Down, nullptr}, {Qt::Key_Return, nullptr}}, 3},
        {{{Qt::Key_Down, nullptr}, {Qt::Key_Escape, nullptr}}, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n++);
        ds.First();
        bool kept = false;
        PlayAtSearch(c.strokes, kept);
        const bool taken = Pesquisar(&dts, u"Ocorrência"_s, false, true);
        EXPECT_TRUE(kept) << "the search box keeps the focus";
        EXPECT_EQ(taken, c.recNo != 0);
        if (c.recNo != 0) {
            EXPECT_EQ(ds.RecNo(), c.recNo);
        }
    }
}

TEST_F(PickerKeys, TheListPickerTicksWithSpaceAndEnterTakesTheCurrentRowWhenNoneIsTicked)
{
    const struct
    {
        QList<Stroke> strokes;
        QStringList keys; // empty: nothing taken
    } cases[] = {
        {{{Qt::Key_Return, nullptr}}, {u"1"_s}},
        {{{Qt::Key_Down, nullptr}, {Qt::Key_Return, nullptr}}, {u"2"_s}},
        {{{Qt::Key_Down, nullptr},
          {Qt::Key_Space, nullptr},
          {Qt::Key_Down, nullptr},
          {Qt::Key_Down, nullptr},
          {Qt::Key_Space, nullptr},
          {Qt::Key_Return, nullptr}},
         {u"2"_s, u"4"_s}},
        // Space with no search text ticks; pressed again it clears.
        {{{Qt::Key_Space, nullptr}, {Qt::Key_Space, nullptr}, {Qt::Key_Return, nullptr}}, {u"1"_s}},
        // While typing, Space is part of the text: "com o" finds one row.
        {{{Qt::Key_unknown, "com o"}, {Qt::Key_Return, nullptr}}, {u"3"_s}},
        {{{Qt::Key_Down, nullptr}, {Qt::Key_Space, nullptr}, {Qt::Key_Escape, nullptr}}, {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n++);
        QString selection = u"T"_s;
        bool kept = false;
        PlayAtSearch(c.strokes, kept);
        const bool taken =
            PesquisaLista(&dts, u"CDOCORR"_s, u"Ocorrência|Não há ocorrência"_s, false, selection);
        EXPECT_TRUE(kept) << "the search box keeps the focus";
        EXPECT_EQ(taken, !c.keys.isEmpty());
        if (taken) {
            EXPECT_EQ(DecodeSelection(selection).Keys, c.keys);
        }
    }
}

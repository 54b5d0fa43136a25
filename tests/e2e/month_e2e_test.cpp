// One employee's month from the keyboard alone, counted from the moment
// the filter opens: the period chosen, the employee picked from the
// filter's list, two days that need an occurrence, the rest approved at
// once. Every key goes where the Qt focus is, as a person's does; a chord
// (Ctrl+Shift+P) is one key.
#include "approval/cli_aph31500.h"
#include "approval/pendencias.h"
#include "approval/previacht.h"
#include "filter/cli_aph31501.h"
#include "tests/e2e/screenfixture.h"

#include <QApplication>
#include <QDialog>
#include <QKeySequence>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

constexpr int kMonthKeys = 30;        // what the route may take at most
constexpr int kWorkDays = 15;         // TF1's days in the month
constexpr int kOtherDays = 5;         // TF2's, on the same service, left alone
const int kOccurrenceDays[] = {3, 8}; // the working days with commission hours

// Last month: the one whose days the route works on.
QDate LastMonth()
{
    const QDate today = OleToDate(Today());
    return QDate(today.year(), today.month(), 1).addMonths(-1);
}

class AMonthFromTheFilter : public ScreenAtTheDesktop
{
protected:
    void AddDays() override
    {
        m_db->Exec(u"DELETE FROM CSA"_s);
        m_db->Exec(u"DELETE FROM CHT"_s);
        int tf1 = 0, tf2 = 0;
        for (QDate d = LastMonth(); d.month() == LastMonth().month(); d = d.addDays(1)) {
            if (d.dayOfWeek() > 5)
                continue;
            const double day = DateToOle(d);
            if (tf1 < kWorkDays) {
                ++tf1;
                const bool occurrence =
                    std::find(std::begin(kOccurrenceDays), std::end(kOccurrenceDays), tf1) !=
                    std::end(kOccurrenceDays);
                AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, day, 8, {}, {},
                       occurrence ? QVariant(6.0) : QVariant());
                if (occurrence)
                    occurrenceDates << d;
            }
            if (tf2++ < kOtherDays)
                AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, day, 8);
        }
    }
    static void Activate(QWidget* w)
    {
        QApplication::setActiveWindow(w);
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
    }
    // One key where the focus is, counted.
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "a key with the focus nowhere";
        ++keys;
        route << QKeySequence(static_cast<int>(modifiers) | key).toString();
        QTest::keyClick(focus, key, modifiers);
    }
    void Type(const QString& text)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "typing with the focus nowhere";
        keys += static_cast<int>(text.size());
        route << u'"' + text + u'"';
        QTest::keyClicks(focus, text);
    }

    QList<QDate> occurrenceDates;
    QString question;
    QString previewed; // the billing preview's counts
    int keys = 0;
    QStringList route;
    QStringList picked; // the occurrences taken, as the picker showed them
};

} // namespace

TEST_F(AMonthFromTheFilter, ThirtyKeysOrFewerFromTheFilterToTheLastDayApproved)
{
    ASSERT_EQ(occurrenceDates.size(), 2);
    // The filter: Tab to the employees, Down to "Lista", Tab to its picker,
    // Space opens it; Alt+D to "De", the month typed as digits ("102025"
    // for October 2025), Enter.
    const QString month = LastMonth().toString(u"MMyyyy"_s);
    // The Pendências list: Enter goes to its first line.
    desktop.OnModalShown = [this, month](TForm& form, QWidget* frame) {
        Activate(frame);
        auto* filter = dynamic_cast<TfrmFiltroCsa*>(&form);
        if (!filter) {
            // Pendências, or the billing preview: Enter.
            ASSERT_TRUE(dynamic_cast<TfrmPendencias*>(&form) ||
                        dynamic_cast<TfrmPreviaCHT*>(&form));
            if (auto* preview = dynamic_cast<TfrmPreviaCHT*>(&form))
                previewed = preview->lblResumo->Caption();
            Key(Qt::Key_Return);
            return;
        }
        Key(Qt::Key_Tab);
        Key(Qt::Key_Down);
        Key(Qt::Key_Tab);
        ASSERT_EQ(filter->ActiveControl(), filter->btnPesqFunc);
        Key(Qt::Key_Space);
        Activate(frame); // the picker gone, the dialog is active again
        Key(Qt::Key_D, Qt::AltModifier);
        ASSERT_EQ(filter->ActiveControl(), filter->depDtInicial);
        Type(month);
        Key(Qt::Key_Return);
    };
    // The pickers: the employee's found by typing its code, Enter takes
    // it; the occurrence's second row, Down and Enter.
    desktop.OnDialogShown = [this](QDialog& dialog) {
        Activate(&dialog);
        auto* table = dialog.findChild<QTableWidget*>(u"table"_s);
        ASSERT_NE(table, nullptr);
        if (dialog.windowTitle() == u"Funcionário"_s) {
            Type(u"tf1"_s);
            Key(Qt::Key_Return);
            return;
        }
        ASSERT_GT(table->rowCount(), 1);
        picked << table->item(1, table->columnCount() - 1)->text();
        Key(Qt::Key_Down);
        Key(Qt::Key_Return);
    };
    desktop.OnMessageShown = [this](QMessageBox& box) {
        question = box.text();
        Activate(&box);
        Key(Qt::Key_Return);
    };
    IniProc();
    TfrmAprovaHoras* f = frmAprovaHoras;
    ASSERT_NE(f, nullptr);
    Activate(&window);
    ASSERT_FALSE(Filtro.Funcionario.Todos) << "one employee chosen";
    // The period is the whole month of the employee's days as stored.
    const QVariantList days =
        m_db->Rows(u"SELECT MIN(DTSERVPREST), MAX(DTSERVPREST) FROM CSA WHERE CDFUNC = 'TF1'"_s)
            .value(0);
    ASSERT_EQ(days.size(), 2);
    const QDate firstDay = OleToDate(days[0].toDouble());
    const QDate lastDay = OleToDate(days[1].toDouble());
    EXPECT_EQ(Filtro.DtInicial, DateToOle(QDate(firstDay.year(), firstDay.month(), 1)));
    EXPECT_EQ(Filtro.DtFinal,
              DateToOle(QDate(lastDay.year(), lastDay.month(), lastDay.daysInMonth())));
    ASSERT_EQ(f->cdsFunc.RecordCount(), 1);
    ASSERT_EQ(f->cdsAuxCSA.RecordCount(), kWorkDays);

    // Each occurrence day: Pendências and Enter go to its occurrence cell,
    // Ctrl+Enter opens the picker, Down saves the day.
    for (const QDate& day : std::as_const(occurrenceDates)) {
        SCOPED_TRACE(day.toString().toStdString());
        Key(Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        Activate(&window);
        ASSERT_EQ(OleToDate(f->cdsAuxCSA.FieldByName(u"DTSERVPREST"_s)->AsDateTime()), day);
        ASSERT_EQ(f->dbgCSA->SelectedIndex(), f->dbgCSA->ColumnIndex(u"DSOCORR"_s));
        Key(Qt::Key_Return, Qt::ControlModifier);
        Activate(&window);
        Key(Qt::Key_Down);
        ASSERT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    }
    // The rest at once: Ctrl+Shift+A, and Enter says Yes.
    Key(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(question.startsWith(u"Aprovar %1 dias pendentes"_s.arg(kWorkDays - 2)))
        << question.toStdString();

    // What the database holds: TF1's month approved, with the occurrence
    // the picker showed second; TF2's days untouched.
    const QList<QVariantList> stored =
        m_db->Rows(u"SELECT C.QTHRAPROFATU, O.DSOCORR FROM CSA C LEFT JOIN OCORRENCIA O ON "
                   "O.CDGRPOCOR = C.CDGRPOCOR AND O.CDOCORR = C.CDOCORR WHERE C.CDFUNC = 'TF1' "
                   "ORDER BY C.DTSERVPREST"_s);
    ASSERT_EQ(stored.size(), kWorkDays);
    QStringList occurrences;
    for (const QVariantList& row : stored) {
        EXPECT_EQ(row[0].toDouble(), 8.0);
        if (!row[1].isNull())
            occurrences << row[1].toString();
    }
    EXPECT_EQ(occurrences, picked);
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM CSA WHERE CDFUNC = 'TF2' AND "
                           "QTHRAPROFATU IS NULL"_s)
                  .toInt(),
              kOtherDays);
    EXPECT_TRUE(desktop.Messages().isEmpty()) << desktop.Messages().join(u'\n').toStdString();
    std::printf("Um mês a partir do filtro: %d teclas: %s\n", keys,
                route.join(u' ').toUtf8().constData());
    EXPECT_LE(keys, kMonthKeys) << route.join(u' ').toStdString();

    // Billing the one employee the filter chose: Ctrl+G, Enter on the
    // preview (every day approved), Enter for Yes. TF2 stays unbilled.
    Activate(&window);
    Key(Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(previewed.contains(u"1 funcionário"_s)) << previewed.toStdString();
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM CSA WHERE CDFUNC = 'TF1' AND "
                           "NRSEQUCHT IS NOT NULL"_s)
                  .toInt(),
              kWorkDays);
    EXPECT_EQ(
        m_db->Scalar(u"SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NOT NULL AND CDFUNC <> 'TF1'"_s)
            .toInt(),
        0);
}

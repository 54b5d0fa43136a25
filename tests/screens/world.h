#pragma once

#include "tests/screens/screen_fixture.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

namespace aph::test {

// March 2030 for the drill-down and editing tests: client TC1's proposal
// TP1/01 with service 001 (DES, by the hour, 90 to bill) and 002 (SUP, a
// package); employee TF1 has CHT T0001 (pending) with days on the 1st and
// the 4th, days without CHT on the 11th to the 14th; TF2 has one day
// without CHT; TF1 also worked on the package service.
class MarchScreen : public ScreenTest
{
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        AddTestWorld();
        AddCht(u"T0001"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"P"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 1), 8, u"T0001"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 4), 7.5, u"T0001"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 11), 8);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 12), 7.5);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 13), 7.49999);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 14), 5);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 5), 4);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 6), 3);
    }

    // Opens the screen with the filter on March 2030 and the chosen kinds
    // of CSA (every CHT situation when CSAs in a CHT are asked for).
    void OpenMarch(bool semCht = true, bool comCht = true)
    {
        OnFilter([=](TfrmFiltroCsa& d) {
            d.depDtInicial->SetDate(Day(2030, 3, 1));
            d.depDtFinal->SetDate(Day(2030, 3, 31));
            d.chbComCHTGerada->SetChecked(comCht);
            for (TCheckBox* box :
                 {d.chbCHT_Pendente, d.chbCHT_Aprovado, d.chbCHT_Faturado, d.chbCHT_Nao_Faturar})
                box->SetChecked(comCht);
            d.chbSemCHTGerada->SetChecked(semCht);
            UserClick(d.sbtConfirma);
        });
        IniProc();
        ASSERT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
        f = frmAprovaHoras;
    }

    // Moves a list to the row with this value, as a click on it would.
    void GoTo(TDBGrid* grid, const char* field, const char* value)
    {
        TClientDataSet* ds = grid->DataSet();
        int row = -1;
        for (int i = 0; i < ds->RecordCount() && row < 0; ++i) {
            TClientDataSet::ActiveRecordScope scope(*ds, i);
            if (ds->FieldByName(QString::fromUtf8(field))->AsString() == QString::fromUtf8(value))
                row = i;
        }
        ASSERT_GE(row, 0) << field << "=" << value;
        Input([&] { grid->ClickCell(row, 0); });
    }
    static void Input(const std::function<void()>& input)
    {
        Perform(input);
        Application()->ProcessReleases();
    }

    // The service 001 of TP1, its employee TF1, and a CHT row.
    void OpenTf1(const char* cht = "")
    {
        GoTo(f->dbgPadrao, "NRSERVCONT", "001");
        GoTo(f->dbgFuncionario, "CDFUNC", "TF1");
        GoTo(f->dbgCHT, "NRSEQUCHT", cht);
    }

    // March open on TF1's days without CHT, the cursor on a day's billed
    // hours.
    void OpenTf1At(int day)
    {
        OpenMarch();
        OpenTf1();
        UserFocus(f->dbgCSA);
        At(day, "QTHRAPROFATU");
    }

    // The cursor on a day and column of the days grid, as a click puts it.
    void At(int day, const char* column)
    {
        TClientDataSet& ds = f->cdsAuxCSA;
        for (int i = 0; i < ds.RecordCount(); ++i) {
            TClientDataSet::ActiveRecordScope scope(ds, i);
            if (OleToDate(ds.FieldByName(u"DTSERVPREST"_s)->AsDateTime()).day() == day) {
                Input([&] {
                    f->dbgCSA->ClickCell(i, f->dbgCSA->ColumnIndex(QString::fromUtf8(column)));
                });
                return;
            }
        }
        FAIL() << "no day " << day;
    }

    QStringList Days()
    {
        QStringList days;
        TClientDataSet& ds = f->cdsAuxCSA;
        for (int i = 0; i < ds.RecordCount(); ++i) {
            TClientDataSet::ActiveRecordScope scope(ds, i);
            days << ds.FieldByName(u"DTSERVPREST"_s)->DisplayText().left(5) +
                        (ds.FieldByName(u"QTHRTRAB"_s)->IsNull() ? u"-"_s : QString());
        }
        return days;
    }

    TfrmAprovaHoras* f = nullptr;
};

} // namespace aph::test

#pragma once

#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/data/formatsettings.h"
#include "host/framework/dbquery.h"
#include "host/framework/environment.h"
#include "host/qt/formview.h"
#include "host/qt/gridview.h"
#include "host/qt/qtdesktop.h"
#include "tests/support/serverfixture.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QTest>

namespace aph::test {

// The desktop as the host sets it up, against a real server: the test
// world and the days a test adds, the host's environment, a main window
// with its MDI area, and the approval and filter units initialised.
class ScreenAtTheDesktop : public ServerTest
{
protected:
    // The CSAs (and CHTs) of the test, beside the test world.
    virtual void AddDays() = 0;

    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        AddTestWorld();
        AddDays();
        SetFormatSettings(TFormatSettings::ForLocale(QStringLiteral("pt_BR.UTF-8")));
        SetHostEnvironment({QStringLiteral("ANA"), QStringLiteral("0001"),
                            QStringLiteral("127.0.0.1"), m_server->Port(), m_token, m_db->Spec()});
        dtmDBGeral()->Open(m_db->Spec());
        window.resize(1100, 720);
        window.setCentralWidget(mdi);
        window.show();
        desktop.SetMdiArea(mdi);
        Cli_aph31500_Initialization();
        Cli_aph31501_Initialization();
    }
    void TearDown() override
    {
        Cli_aph31501_Finalization();
        Cli_aph31500_Finalization();
        dtmDBGeral()->Close();
        ServerTest::TearDown();
    }

    QWidget* Widget(TForm* form, TControl* control)
    {
        TFormView* view = desktop.ViewOf(form);
        return view ? view->WidgetOf(control) : nullptr;
    }

    // The view of a grid of the approval screen.
    TGridView* Grid(TDBGrid* grid)
    {
        return dynamic_cast<TGridView*>(Widget(frmAprovaHoras, grid));
    }
    // A click on a cell of a grid on screen.
    void ClickCell(TDBGrid* grid, int row, int column)
    {
        TGridView* view = Grid(grid);
        ASSERT_NE(view, nullptr) << grid->Name().toStdString();
        const QRect cell = view->visualRect(view->model()->index(row, column));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    }
    // The row of a grid whose field holds the value; -1 when none does.
    int RowOf(TDBGrid* grid, const char* field, const char* value)
    {
        TClientDataSet* ds = grid->DataSet();
        for (int i = 0; i < ds->RecordCount(); ++i) {
            TClientDataSet::ActiveRecordScope scope(*ds, i);
            if (ds->FieldByName(QString::fromUtf8(field))->AsString() == QString::fromUtf8(value))
                return i;
        }
        return -1;
    }

    QMainWindow window;
    QMdiArea* mdi = new QMdiArea;
    TQtDesktop desktop;
};

} // namespace aph::test

#pragma once

#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/data/formatsettings.h"
#include "host/framework/dbquery.h"
#include "host/framework/environment.h"
#include "host/qt/formview.h"
#include "host/qt/qtdesktop.h"
#include "tests/support/serverfixture.h"

#include <QMainWindow>
#include <QMdiArea>

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

    QMainWindow window;
    QMdiArea* mdi = new QMdiArea;
    TQtDesktop desktop;
};

} // namespace aph::test

#include "fixtures.h"
#include "host/data/exceptions.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace aph;
using namespace aph::test;

namespace {

// A control that records what its data source tells it.
class RecordingLink : public TDataLink
{
public:
    QStringList events;
    QString pendingText; // text typed but not yet stored, like a cell editor
    TField* target = nullptr;

protected:
    void ActiveChanged() override { events << S("active"); }
    void EditingChanged() override { events << S("editing"); }
    void DataSetChanged() override { events << S("changed"); }
    void DataSetScrolled() override { events << S("scrolled"); }
    void RecordChanged(TField* f) override
    {
        events << (f ? S("field:") + f->FieldName() : S("record"));
    }
    void UpdateData() override
    {
        events << S("update");
        if (target && !pendingText.isNull()) {
            const QString text = pendingText;
            pendingText = QString();
            target->SetText(text);
        }
    }
    void FocusControl(TField* f) override { events << S("focus:") + f->FieldName(); }
};

struct Bound : ::testing::Test
{
    TClientDataSet ds{S("cdsAuxCSA")};
    TDataSource dts{S("dtsPadrao")};
    RecordingLink grid;
    QList<TDataSetState> reported;

    void SetUp() override
    {
        DefineDayFields(ds);
        dts.SetDataSet(&ds);
        grid.SetDataSource(&dts);
        dts.OnStateChange = [this](TObject* sender) {
            EXPECT_EQ(sender, &dts);
            reported << dts.State();
        };
    }
};

} // namespace

TEST_F(Bound, EachStateChangeIsReportedOnce)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    ds.Edit();
    ds.Cancel();
    ds.Edit();
    ds.Post();
    ds.Close();
    EXPECT_EQ(reported, (QList<TDataSetState>{TDataSetState::dsBrowse, TDataSetState::dsEdit,
                                              TDataSetState::dsBrowse, TDataSetState::dsEdit,
                                              TDataSetState::dsBrowse, TDataSetState::dsInactive}));
}

TEST_F(Bound, DetachedHandlerHearsNothingUntilAttachedAgain)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    reported.clear();
    auto handler = dts.OnStateChange;
    dts.OnStateChange = nullptr;
    ds.Edit();
    ds.Cancel();
    EXPECT_TRUE(reported.isEmpty());
    dts.OnStateChange = handler;
    ds.Edit();
    EXPECT_EQ(reported, QList<TDataSetState>{TDataSetState::dsEdit});
}

TEST_F(Bound, NestedSuspensionReportsOneChangeAtTheLastResume)
{
    // Closed at the first suspension, browsing at the end: one report.
    ds.DisableControls();
    ds.DisableControls();
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    ds.Edit();
    ds.Post();
    ds.EnableControls();
    EXPECT_TRUE(reported.isEmpty()) << "still suspended";
    EXPECT_TRUE(grid.events.isEmpty()) << "controls hear nothing while suspended";
    ds.EnableControls();
    EXPECT_EQ(reported, QList<TDataSetState>{TDataSetState::dsBrowse});
    EXPECT_TRUE(grid.events.contains(S("active")));
    EXPECT_EQ(grid.events.last(), S("changed"));
}

TEST_F(Bound, SuspensionEndingInTheSameStateReportsNothing)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    reported.clear();
    grid.events.clear();
    ds.DisableControls();
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}, {kMar1 + 1, H(4), nullptr}}));
    ds.Edit();
    ds.Cancel();
    ds.EnableControls();
    EXPECT_TRUE(reported.isEmpty());
    EXPECT_EQ(grid.events, QStringList{S("changed")}) << "one refresh at the end";
    ds.EnableControls(); // a resume without a suspension has no effect
    EXPECT_EQ(grid.events.size(), 1);
}

TEST_F(Bound, DatasetEventsStillFireWhileSuspended)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}, {kMar1 + 1, H(4), nullptr}}));
    int scrolls = 0;
    ds.AfterScroll = [&](TDataSet*) {
        ++scrolls;
    };
    ds.DisableControls();
    ds.Next();
    ds.EnableControls();
    EXPECT_EQ(scrolls, 1);
}

TEST_F(Bound, PendingEditorTextIsStoredBeforeThePost)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    TField* approved = ds.FieldByName(S("QTHRAPROFATU"));
    double seenInBeforePost = -1;
    ds.BeforePost = [&](TDataSet*) {
        seenInBeforePost = approved->AsFloat();
    };
    approved->OnSetText = [](TField* f, const QString& text) {
        f->SetAsFloat(text.left(2).toInt() + text.mid(3, 2).toInt() / 60.0);
    };
    ds.Edit();
    grid.target = approved;
    grid.pendingText = S("07:30");
    ds.Post();
    EXPECT_EQ(seenInBeforePost, 7.5);
    EXPECT_EQ(approved->AsFloat(), 7.5);
}

TEST_F(Bound, FieldChangesAndFocusRequestsReachTheControls)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    grid.events.clear();
    ds.Edit();
    ds.FieldByName(S("CDOCORR"))->SetAsString(S("01"));
    ds.FieldByName(S("DSOCORR"))->FocusControl();
    EXPECT_TRUE(grid.events.contains(S("editing")));
    EXPECT_TRUE(grid.events.contains(S("field:CDOCORR")));
    EXPECT_EQ(grid.events.last(), S("focus:DSOCORR"));
}

TEST_F(Bound, DisabledSourceReportsInactiveAndForwardsNothing)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    reported.clear();
    dts.SetEnabled(false);
    EXPECT_EQ(reported, QList<TDataSetState>{TDataSetState::dsInactive});
    grid.events.clear();
    ds.Edit();
    EXPECT_TRUE(grid.events.isEmpty());
    dts.SetEnabled(true);
    EXPECT_EQ(dts.State(), TDataSetState::dsEdit);
}

TEST(DataSource, OutlivingItsDataSetIsSafe)
{
    TDataSource dts;
    {
        TClientDataSet ds;
        DefineDayFields(ds);
        ds.CreateDataSet();
        dts.SetDataSet(&ds);
        EXPECT_EQ(dts.State(), TDataSetState::dsBrowse);
    }
    EXPECT_EQ(dts.DataSet(), nullptr);
    EXPECT_EQ(dts.State(), TDataSetState::dsInactive);
}

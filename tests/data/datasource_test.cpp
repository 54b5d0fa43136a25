#include "fixtures.h"
#include "host/data/exceptions.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

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
    void ActiveChanged() override { events << u"active"_s; }
    void EditingChanged() override { events << u"editing"_s; }
    void DataSetChanged() override { events << u"changed"_s; }
    void DataSetScrolled() override { events << u"scrolled"_s; }
    void RecordChanged(TField* f) override
    {
        events << (f ? u"field:"_s + f->FieldName() : u"record"_s);
    }
    void UpdateData() override
    {
        events << u"update"_s;
        if (target && !pendingText.isNull()) {
            const QString text = pendingText;
            pendingText = QString();
            target->SetText(text);
        }
    }
    void FocusControl(TField* f) override { events << u"focus:"_s + f->FieldName(); }
};

struct Bound : ::testing::Test
{
    TClientDataSet ds{u"cdsAuxCSA"_s};
    TDataSource dts{u"dtsPadrao"_s};
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
    EXPECT_TRUE(grid.events.contains(u"active"_s));
    EXPECT_EQ(grid.events.last(), u"changed"_s);
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
    EXPECT_EQ(grid.events, QStringList{u"changed"_s}) << "one refresh at the end";
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
    TField* approved = ds.FieldByName(u"QTHRAPROFATU"_s);
    double seenInBeforePost = -1;
    ds.BeforePost = [&](TDataSet*) {
        seenInBeforePost = approved->AsFloat();
    };
    approved->OnSetText = [](TField* f, const QString& text) {
        f->SetAsFloat(text.left(2).toInt() + text.mid(3, 2).toInt() / 60.0);
    };
    ds.Edit();
    grid.target = approved;
    grid.pendingText = u"07:30"_s;
    ds.Post();
    EXPECT_EQ(seenInBeforePost, 7.5);
    EXPECT_EQ(approved->AsFloat(), 7.5);
}

TEST_F(Bound, FieldChangesAndFocusRequestsReachTheControls)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    grid.events.clear();
    ds.Edit();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"01"_s);
    ds.FieldByName(u"DSOCORR"_s)->FocusControl();
    EXPECT_TRUE(grid.events.contains(u"editing"_s));
    EXPECT_TRUE(grid.events.contains(u"field:CDOCORR"_s));
    EXPECT_EQ(grid.events.last(), u"focus:DSOCORR"_s);
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

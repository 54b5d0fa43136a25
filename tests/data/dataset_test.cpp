#include "fixtures.h"
#include "host/data/exceptions.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct DayDataSet : ::testing::Test
{
    TClientDataSet ds{u"cdsDias"_s};
    void SetUp() override { DefineDayFields(ds); }
    double Date() const { return ds.FieldByName(u"DTSERVPREST"_s)->AsDateTime(); }
};

} // namespace

TEST_F(DayDataSet, LoadLeavesFirstRowCurrentAndReportsOneScroll)
{
    int scrolls = 0;
    double seen = -1;
    ds.AfterScroll = [&](TDataSet* d) {
        ++scrolls;
        seen = d->FieldByName(u"DTSERVPREST"_s)->AsDateTime();
    };
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}, {kMar1 + 1, H(7), nullptr}}));
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(seen, kMar1);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
}

TEST_F(DayDataSet, LoadOfNoRowsIsNoChangeOfRow)
{
    int scrolls = 0;
    ds.AfterScroll = [&](TDataSet*) {
        ++scrolls;
    };
    ds.SetData(DayPacket({}));
    EXPECT_EQ(scrolls, 0);
    EXPECT_TRUE(ds.Active());
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.Eof());
    EXPECT_TRUE(ds.Bof());
    // A field of an empty dataset reads as empty.
    EXPECT_EQ(ds.FieldByName(u"CDOCORR"_s)->AsString(), QString());
    EXPECT_TRUE(ds.FieldByName(u"QTHRTRAB"_s)->IsNull());
}

TEST_F(DayDataSet, WalkWithNextEndsOnEofAfterEveryRow)
{
    ds.SetData(DayPacket(
        {{kMar1, H(1), nullptr}, {kMar1 + 1, H(2), nullptr}, {kMar1 + 2, H(3), nullptr}}));
    double sum = 0;
    int rows = 0;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        sum += ds.FieldByName(u"QTHRTRAB"_s)->AsFloat();
        ++rows;
    }
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(sum, 6);
    EXPECT_EQ(ds.RecNo(), 3);
    ds.Prior();
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_FALSE(ds.Eof());
    ds.MoveBy(-5);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_TRUE(ds.Bof());
    ds.Last();
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 3);
}

TEST_F(DayDataSet, RefusedPostStaysInEditWithTheUsersValues)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    ds.BeforePost = [](TDataSet* d) {
        if (d->FieldByName(u"QTHRAPROFATU"_s)->AsFloat() > d->FieldByName(u"QTHRTRAB"_s)->AsFloat())
            throw EAbort();
    };
    int afterPost = 0;
    ds.AfterPost = [&](TDataSet*) {
        ++afterPost;
    };
    ds.Edit();
    ds.FieldByName(u"QTHRAPROFATU"_s)->SetAsFloat(9);
    EXPECT_THROW(ds.Post(), EAbort);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
    EXPECT_EQ(ds.FieldByName(u"QTHRAPROFATU"_s)->AsFloat(), 9);
    EXPECT_EQ(afterPost, 0);
    EXPECT_EQ(ds.ChangeCount(), 0);
    ds.FieldByName(u"QTHRAPROFATU"_s)->SetAsFloat(7.5);
    ds.Post();
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(afterPost, 1);
    EXPECT_EQ(ds.FieldByName(u"QTHRAPROFATU"_s)->AsFloat(), 7.5);
}

TEST_F(DayDataSet, CancelBringsBackTheStoredValues)
{
    ds.SetData(DayPacket({{kMar1, H(8), "01"}}));
    ds.Edit();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"02"_s);
    ds.Cancel();
    EXPECT_EQ(ds.FieldByName(u"CDOCORR"_s)->AsString(), u"01"_s);
    EXPECT_EQ(ds.ChangeCount(), 0);
}

TEST_F(DayDataSet, BeforeEditAbortKeepsBrowsing)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    int afterEdit = 0;
    ds.BeforeEdit = [](TDataSet*) {
        Abort();
    };
    ds.AfterEdit = [&](TDataSet*) {
        ++afterEdit;
    };
    EXPECT_THROW(ds.Edit(), EAbort);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(afterEdit, 0);
    EXPECT_THROW(ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"01"_s), EDatabaseError);
}

TEST_F(DayDataSet, IndexKeepsDateOrderAfterInsertsAndKeyChanges)
{
    ds.SetIndexFieldNames(u"DTSERVPREST"_s);
    ds.SetData(DayPacket({{kMar1 + 3, H(4), nullptr}, {kMar1, H(1), nullptr}}));
    EXPECT_EQ(Date(), kMar1);
    // Insert the 2nd and 3rd while standing on the 4th, as gap filling does.
    ds.Last();
    for (double day : {kMar1 + 1, kMar1 + 2}) {
        const TBookmark back = ds.GetBookmark();
        ds.Insert();
        ds.FieldByName(u"DTSERVPREST"_s)->SetAsDateTime(day);
        ds.Post();
        EXPECT_EQ(Date(), day) << "the posted row stays current";
        ds.GotoBookmark(back);
    }
    std::vector<double> dates;
    for (ds.First(); !ds.Eof(); ds.Next())
        dates.push_back(Date());
    EXPECT_EQ(dates, (std::vector<double>{kMar1, kMar1 + 1, kMar1 + 2, kMar1 + 3}));
    // A post that changes the key moves the row to its place.
    ds.First();
    ds.Edit();
    ds.FieldByName(u"DTSERVPREST"_s)->SetAsDateTime(kMar1 + 10);
    ds.Post();
    EXPECT_EQ(ds.RecNo(), 4);
    ds.First();
    EXPECT_EQ(Date(), kMar1 + 1);
}

TEST_F(DayDataSet, IndexSortsNullsFirstAndKeepsLoadOrderOfEqualKeys)
{
    ds.SetIndexFieldNames(u"QTHRTRAB"_s);
    ds.SetData(DayPacket({{kMar1, H(5), "a"},
                          {kMar1 + 1, Value(), "b"},
                          {kMar1 + 2, H(5), "c"},
                          {kMar1 + 3, H(2), "d"}}));
    QString order;
    for (ds.First(); !ds.Eof(); ds.Next())
        order += ds.FieldByName(u"CDOCORR"_s)->AsString();
    EXPECT_EQ(order, u"bdac"_s);
}

TEST_F(DayDataSet, BookmarkSurvivesInsertsAndDeletesOfOtherRows)
{
    ds.SetData(DayPacket({{kMar1, H(1), "a"}, {kMar1 + 1, H(2), "b"}, {kMar1 + 2, H(3), "c"}}));
    ds.Next();
    TBookmark mark = ds.GetBookmark();
    ds.First();
    ds.Insert();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"z"_s);
    ds.Post();
    ds.Last();
    ds.Delete();
    ds.GotoBookmark(mark);
    EXPECT_EQ(ds.FieldByName(u"CDOCORR"_s)->AsString(), u"b"_s);
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_TRUE(ds.BookmarkValid(mark));
    ds.Delete();
    EXPECT_FALSE(ds.BookmarkValid(mark));
    EXPECT_THROW(ds.GotoBookmark(mark), EDatabaseError);
    ds.FreeBookmark(mark);
    EXPECT_TRUE(mark.IsNull());
}

TEST_F(DayDataSet, NullIsNotZero)
{
    ds.SetData(DayPacket({{kMar1, Value(), nullptr}, {kMar1 + 1, H(0), nullptr}}));
    TField* hours = ds.FieldByName(u"QTHRTRAB"_s);
    EXPECT_TRUE(hours->IsNull());
    EXPECT_EQ(hours->AsFloat(), 0.0);
    EXPECT_EQ(hours->AsString(), QString());
    ds.Next();
    EXPECT_FALSE(hours->IsNull());
    EXPECT_EQ(hours->AsString(), u"0"_s);
    ds.Edit();
    hours->Clear();
    ds.Post();
    EXPECT_TRUE(hours->IsNull());
    EXPECT_FALSE(ds.Locate(u"QTHRTRAB"_s, 0.0));
}

TEST_F(DayDataSet, DeltaHoldsOriginalAndLatestValuesOfEachChangedRow)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}, {kMar1 + 1, H(6), nullptr}}));
    TField* approved = ds.FieldByName(u"QTHRAPROFATU"_s);
    ds.Edit();
    approved->SetAsFloat(7);
    ds.Post();
    ds.Edit();
    approved->SetAsFloat(7.5);
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"01"_s);
    ds.Post();
    EXPECT_EQ(ds.ChangeCount(), 1);
    TDelta delta = ds.Delta();
    ASSERT_EQ(delta.Records.size(), 1u);
    const TDeltaRecord& rec = delta.Records[0];
    EXPECT_EQ(rec.Op, TDeltaRecord::Kind::Modify);
    EXPECT_TRUE(rec.Original[2].IsNull()) << "original approval was empty";
    EXPECT_EQ(rec.Original[1].ToNumber(), 8);
    ASSERT_EQ(rec.New.size(), 2u);
    EXPECT_EQ(rec.New[0].first, 2);
    EXPECT_EQ(rec.New[0].second.ToNumber(), 7.5);
    EXPECT_EQ(rec.New[1].first, 3);
    EXPECT_EQ(rec.New[1].second.ToString(), u"01"_s);

    ds.Next();
    ds.Edit();
    approved->SetAsFloat(6);
    ds.Post();
    EXPECT_EQ(ds.ChangeCount(), 2);
    EXPECT_EQ(ds.Delta().Records.size(), 2u);

    ds.MergeChangeLog();
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_TRUE(ds.Delta().Records.empty());
    EXPECT_EQ(approved->AsFloat(), 6) << "merged values are the base data";
    // After the merge, the merged values are the originals of the next change.
    ds.Edit();
    approved->SetAsFloat(5);
    ds.Post();
    delta = ds.Delta();
    ASSERT_EQ(delta.Records.size(), 1u);
    EXPECT_EQ(delta.Records[0].Original[2].ToNumber(), 6);
}

TEST_F(DayDataSet, PostWithoutChangeOrBackToOriginalLeavesNothingPending)
{
    ds.SetData(DayPacket({{kMar1, H(8), "01"}}));
    ds.Edit();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"01"_s);
    ds.Post();
    EXPECT_EQ(ds.ChangeCount(), 0);
    ds.Edit();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"02"_s);
    ds.Post();
    ds.Edit();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"01"_s);
    ds.Post();
    EXPECT_EQ(ds.ChangeCount(), 0);
}

TEST_F(DayDataSet, LoggingOffRecordsNothing)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    ds.SetLogChanges(false);
    ds.Edit();
    ds.FieldByName(u"QTHRAPROFATU"_s)->SetAsFloat(1);
    ds.Post();
    EXPECT_EQ(ds.ChangeCount(), 0);
}

TEST_F(DayDataSet, RevertRecordAndCancelUpdatesRestoreTheBase)
{
    ds.SetData(DayPacket({{kMar1, H(8), "01"}, {kMar1 + 1, H(6), "02"}}));
    ds.Edit();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"09"_s);
    ds.Post();
    EXPECT_TRUE(ds.RevertRecord());
    EXPECT_EQ(ds.FieldByName(u"CDOCORR"_s)->AsString(), u"01"_s);
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_FALSE(ds.RevertRecord());

    ds.Edit();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"09"_s);
    ds.Post();
    ds.Last();
    ds.Delete();
    ds.Append();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"77"_s);
    ds.Post();
    EXPECT_EQ(ds.ChangeCount(), 3);
    ds.CancelUpdates();
    EXPECT_EQ(ds.ChangeCount(), 0);
    QString codes;
    for (ds.First(); !ds.Eof(); ds.Next())
        codes += ds.FieldByName(u"CDOCORR"_s)->AsString() + u' ';
    EXPECT_EQ(codes, u"01 02 "_s);
}

TEST_F(DayDataSet, InsertThenCancelRemovesTheRowAndDeleteOfInsertedLogsNothing)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    int scrolls = 0;
    ds.AfterScroll = [&](TDataSet*) {
        ++scrolls;
    };
    ds.Insert();
    EXPECT_EQ(ds.State(), TDataSetState::dsInsert);
    EXPECT_EQ(ds.RecordCount(), 2);
    ds.Cancel();
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(scrolls, 2) << "insert and its cancel each change the row";
    ds.Append();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"03"_s);
    ds.Post();
    EXPECT_EQ(ds.ChangeCount(), 1);
    EXPECT_EQ(ds.Delta().Records[0].Op, TDeltaRecord::Kind::Insert);
    ds.Delete();
    EXPECT_EQ(ds.ChangeCount(), 0);
}

TEST_F(DayDataSet, ANewRowItsHandlerRefusesGoesAwayAgain)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}}));
    ds.OnNewRecord = [](TDataSet*) {
        throw std::runtime_error("recusado");
    };
    int inserts = 0;
    ds.AfterInsert = [&](TDataSet*) {
        ++inserts;
    };
    EXPECT_THROW(ds.Append(), std::runtime_error);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(Date(), kMar1);
    EXPECT_EQ(inserts, 0);
    EXPECT_EQ(ds.ChangeCount(), 0);
    ds.OnNewRecord = nullptr;
    ds.Append();
    EXPECT_EQ(ds.RecordCount(), 2) << "the next insert works as ever";
}

TEST_F(DayDataSet, NavigationPostsAModifiedRowAndCancelsAnUntouchedInsert)
{
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}, {kMar1 + 1, H(6), nullptr}}));
    ds.Edit();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"05"_s);
    ds.Next();
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds.ChangeCount(), 1);
    ds.Insert();
    ds.First();
    EXPECT_EQ(ds.RecordCount(), 2);
}

TEST_F(DayDataSet, LocateFindsByValueCaseInsensitivelyAndDatesByText)
{
    SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR.UTF-8"_s));
    ds.SetData(DayPacket({{kMar1, H(8), "ab"}, {kMar1 + 1, H(6), "Cd"}}));
    int scrolls = 0;
    ds.AfterScroll = [&](TDataSet*) {
        ++scrolls;
    };
    EXPECT_FALSE(ds.Locate(u"CDOCORR"_s, u"cd"_s));
    EXPECT_EQ(scrolls, 0);
    EXPECT_TRUE(
        ds.Locate(u"CDOCORR"_s, u"cd"_s, static_cast<int>(TLocateOption::loCaseInsensitive)));
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(scrolls, 1);
    EXPECT_TRUE(ds.Locate(u"DTSERVPREST"_s, u"01/03/2024"_s,
                          static_cast<int>(TLocateOption::loCaseInsensitive)));
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_FALSE(ds.Locate(u"DTSERVPREST"_s, u"no date"_s));
    EXPECT_TRUE(ds.Locate(u"QTHRTRAB"_s, 6.0));
    EXPECT_THROW(ds.Locate(u"NOFIELD"_s, 1), EDatabaseError);
}

TEST_F(DayDataSet, MalformedOrForeignPacketLeavesTheDataSetAsItWas)
{
    ds.SetData(DayPacket({{kMar1, H(8), "01"}}));
    ds.Edit();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"02"_s);
    ds.Post();

    TDataPacket tooLong = DayPacket({{kMar1, H(8), "123"}});
    EXPECT_THROW(ds.SetData(tooLong), EDatabaseError);
    TDataPacket ragged = DayPacket({{kMar1, H(8), "01"}});
    ragged.Rows.push_back(std::make_shared<const TRowValues>(TRowValues{Value::FromNumber(1)}));
    EXPECT_THROW(ds.SetData(ragged), EDatabaseError);
    TDataPacket missing = DayPacket({});
    missing.Fields.removeLast();
    EXPECT_THROW(ds.SetData(missing), EDatabaseError);
    TDataPacket wrongType = DayPacket({});
    wrongType.Fields[1].DataType = TFieldType::ftString;
    wrongType.Fields[1].Size = 5;
    EXPECT_THROW(ds.SetData(wrongType), EDatabaseError);

    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.FieldByName(u"CDOCORR"_s)->AsString(), u"02"_s);
    EXPECT_EQ(ds.ChangeCount(), 1);
}

TEST_F(DayDataSet, PacketFieldsBindByNameInAnyOrder)
{
    TDataPacket p;
    p.Fields = {
        {u"DSOCORR"_s, TFieldType::ftString, 40}, {u"EXTRA"_s, TFieldType::ftString, 3},
        {u"CDOCORR"_s, TFieldType::ftString, 2},  {u"QTHRAPROFATU"_s, TFieldType::ftFloat, 0},
        {u"qthrtrab"_s, TFieldType::ftFloat, 0},  {u"DTSERVPREST"_s, TFieldType::ftDateTime, 0}};
    p.Rows.push_back(std::make_shared<const TRowValues>(
        TRowValues{Value::FromString(u"Atestado"), Value::FromString(u"x"),
                   Value::FromString(u"07"), Value(), H(8), Value::FromNumber(kMar1)}));
    ds.SetData(p);
    EXPECT_EQ(ds.FieldByName(u"DSOCORR"_s)->AsString(), u"Atestado"_s);
    EXPECT_EQ(ds.FieldByName(u"QTHRTRAB"_s)->AsFloat(), 8);
    EXPECT_EQ(ds.FindField(u"EXTRA"_s), nullptr);
    EXPECT_EQ(ds.Data().Fields, ds.FieldDefs());
}

TEST(ClientDataSet, WithoutPersistentFieldsThePacketDefinesThem)
{
    TClientDataSet ds;
    ds.SetData(DayPacket({{kMar1, H(8), "01"}}));
    EXPECT_EQ(ds.FieldCount(), 5);
    EXPECT_EQ(ds.FieldByName(u"cdocorr"_s)->AsString(), u"01"_s);
}

TEST_F(DayDataSet, CopyIsIndependentOfItsSource)
{
    ds.SetData(DayPacket({{kMar1 + 1, H(8), "01"}, {kMar1, H(6), "02"}}));
    TClientDataSet copy(u"cdsCopia"_s);
    DefineDayFields(copy);
    copy.SetIndexFieldNames(u"DTSERVPREST"_s);
    int scrolls = 0;
    copy.AfterScroll = [&](TDataSet*) {
        ++scrolls;
    };
    copy.CopyDataFrom(ds);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(copy.FieldByName(u"CDOCORR"_s)->AsString(), u"02"_s) << "copy ordered by its index";
    copy.Edit();
    copy.FieldByName(u"CDOCORR"_s)->SetAsString(u"99"_s);
    copy.Post();
    EXPECT_EQ(ds.FieldByName(u"CDOCORR"_s)->AsString(), u"01"_s);
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_EQ(copy.ChangeCount(), 1);
}

TEST_F(DayDataSet, CreateEmptyAndClose)
{
    ds.CreateDataSet();
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), 0);
    ds.Insert();
    ds.FieldByName(u"DSOCORR"_s)->SetAsString(u"CSA´s sem CHT Gerada"_s);
    ds.Post();
    EXPECT_EQ(ds.RecordCount(), 1);
    ds.Close();
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_THROW(ds.First(), EDatabaseError);
    TClientDataSet noFields;
    EXPECT_THROW(noFields.CreateDataSet(), EDatabaseError);
}

TEST_F(DayDataSet, EditOfAnEmptyDataSetInserts)
{
    ds.CreateDataSet();
    ds.Edit();
    EXPECT_EQ(ds.State(), TDataSetState::dsInsert);
}

TEST_F(DayDataSet, ActiveRecordScopeReadsAnotherRowWithoutMoving)
{
    ds.SetData(DayPacket({{kMar1, H(1), "a"}, {kMar1 + 1, H(2), "b"}}));
    int scrolls = 0;
    ds.AfterScroll = [&](TDataSet*) {
        ++scrolls;
    };
    ds.Edit();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"x"_s);
    {
        TClientDataSet::ActiveRecordScope scope(ds, 1);
        EXPECT_EQ(ds.FieldByName(u"CDOCORR"_s)->AsString(), u"b"_s);
        TClientDataSet::ActiveRecordScope inner(ds, 0);
        EXPECT_EQ(ds.FieldByName(u"CDOCORR"_s)->AsString(), u"x"_s)
            << "the row in edit shows its buffer";
    }
    EXPECT_EQ(ds.FieldByName(u"CDOCORR"_s)->AsString(), u"x"_s);
    EXPECT_EQ(scrolls, 0);
}

TEST_F(DayDataSet, ReadOnlyDataSetRefusesChanges)
{
    ds.SetData(DayPacket({{kMar1, H(1), "a"}}));
    ds.SetReadOnly(true);
    EXPECT_THROW(ds.Edit(), EDatabaseError);
    EXPECT_THROW(ds.Insert(), EDatabaseError);
    EXPECT_THROW(ds.Delete(), EDatabaseError);
}

#include <gtest/gtest.h>

#include "ZORValueTable.h"
#include "support/Raises.h"

namespace {

using V = std::vector<std::wstring>;
using Rows = std::vector<V>;

// Arrays are not copyable, so the literal helper is an array itself.
struct Strings : CStringArray {
    explicit Strings(const V& values) {
        for (const std::wstring& v : values)
            Add(v.c_str());
    }
};

CZORValueRecord Record(const V& values) {
    CZORValueRecord rec;
    Strings ar(values);
    rec.SetLableValueAr(ar);
    return rec;
}

V Values(const CStringArray& ar) {
    V out;
    for (INT_PTR i = 0; i < ar.GetSize(); ++i)
        out.emplace_back(ar[i].GetString());
    return out;
}

V Values(CZORValueRecord& rec) {
    return Values(rec.m_LableValueAr);
}

Rows AllRows(CZORValueTable& t) {
    Rows rows;
    for (int i = 0; i < t.GetTableLogicSize(); ++i) {
        CStringArray ar;
        t.GetValueRecord(i, ar);
        rows.push_back(Values(ar));
    }
    return rows;
}

// Rows of any shape, empty ones included (AddValueRecord would skip those).
CZORValueTable Table(const Rows& rows) {
    CZORValueTable t;
    for (const V& r : rows) {
        CZORValueRecord rec = Record(r);
        t.m_RecordAr.Add(rec);
    }
    return t;
}

} // namespace

TEST(CZORValueTable, AddingAndSettingRows) {
    CZORValueTable t;
    CZORValueRecord empty;
    CStringArray noValues;
    t.AddValueRecord(empty);
    t.AddValueRecord(noValues);
    EXPECT_EQ(0, t.GetTableLogicSize());

    // On an empty table, setting appends whatever the index, even an empty record.
    t.SetValueRecord(5, empty);
    EXPECT_EQ((Rows{{}}), AllRows(t));

    CZORValueTable u;
    Strings ab({L"a", L"b"});
    u.SetValueRecord(-3, ab);
    EXPECT_EQ((Rows{{L"a", L"b"}}), AllRows(u));
    CZORValueRecord c = Record({L"c"});
    u.SetValueRecord(0, c);
    u.SetValueRecord(1, c); // at the end: ignored
    EXPECT_EQ((Rows{{L"c"}}), AllRows(u));
    u.SetValueRecord(0, noValues); // an empty array makes an empty row
    EXPECT_EQ((Rows{{}}), AllRows(u));
    EXPECT_TRUE(RaisesInvalidArg([&] { u.SetValueRecord(-1, c); }));
    EXPECT_EQ((Rows{{}}), AllRows(u));

    // The table keeps copies.
    CZORValueRecord d = Record({L"d"});
    u.AddValueRecord(d);
    d.RemoveAll();
    EXPECT_EQ((Rows{{}, {L"d"}}), AllRows(u));
}

TEST(CZORValueTable, InsertingRows) {
    CZORValueTable t = Table({{L"a"}, {L"b"}});
    CZORValueRecord rec = Record({L"new"});
    t.InsertValueRecord(0, rec);
    EXPECT_EQ((Rows{{L"new"}, {L"a"}, {L"b"}}), AllRows(t));
    t.InsertValueRecord(3, rec); // the end of a non-empty table is not an insert position
    t.InsertValueRecord(-1, rec);
    EXPECT_EQ(3, t.GetTableLogicSize());
    CZORValueRecord empty;
    t.InsertValueRecord(1, empty); // inside the table even an empty record goes in
    EXPECT_EQ((Rows{{L"new"}, {}, {L"a"}, {L"b"}}), AllRows(t));

    CZORValueTable e;
    e.InsertValueRecord(7, empty); // an empty table adds as AddValueRecord: nothing
    EXPECT_EQ(0, e.GetTableLogicSize());
    Strings x({L"x"});
    e.InsertValueRecord(7, x);
    EXPECT_EQ((Rows{{L"x"}}), AllRows(e));
}

TEST(CZORValueTable, HeaderRecords) {
    CZORValueTable t;
    Strings labels({L"ID", L"Name"});
    t.SetLableRecord(labels);
    CStringArray none;
    t.SetLableRecord(none);
    CZORValueRecord emptyRec;
    t.SetLableRecord(emptyRec);
    EXPECT_EQ(2, t.GetFieldCount());

    Strings two({L"ii"});
    t.SetLableIIRecord(two);
    CZORValueRecord three = Record({L"iii", L"3"});
    t.SetLableIIIRecord(three);
    t.SetLableIIIRecord(none);
    CZORValueRecord got;
    t.GetLableIIIRecord(got);
    EXPECT_EQ((V{L"iii", L"3"}), Values(got));
    Strings out({L"stale"});
    t.GetLableIIRecord(out);
    EXPECT_EQ((V{L"ii"}), Values(out));

    Strings x({L"x1", L"x2"});
    t.SetLineXRecord(x);
    t.SetLineXRecord(none); // line X is always replaced, so an empty input empties it
    t.GetLineXRecord(out);
    EXPECT_TRUE(out.IsEmpty());
    CZORValueRecord lx = Record({L"lx"});
    t.SetLineXRecord(lx);
    t.GetLineXRecord(out);
    EXPECT_EQ((V{L"lx"}), Values(out));

    CZORValueRecord labelRec = Record({L"stale"});
    CZORValueTable blank;
    blank.GetLableRecord(labelRec);
    EXPECT_EQ(0, labelRec.GetLableLogicSize());

    CZORValueRecord row = Record({L"r"});
    t.AddValueRecord(row);
    t.RemoveAll(0);
    EXPECT_EQ(0, t.GetTableLogicSize());
    EXPECT_EQ(2, t.GetFieldCount());
    t.RemoveAll(1);
    EXPECT_EQ(0, t.GetFieldCount());
    t.GetLineXRecord(out);
    EXPECT_TRUE(out.IsEmpty());
    t.GetLableIIRecord(out);
    EXPECT_TRUE(out.IsEmpty());
}

TEST(CZORValueTable, ReadingRows) {
    CZORValueTable t = Table({{L"abc", L"1"}, {}, {L"ABC", L"2"}});
    CZORValueRecord rec = Record({L"untouched"});
    t.GetValueRecord(3, rec);
    t.GetValueRecord(-1, rec);
    EXPECT_EQ((V{L"untouched"}), Values(rec));
    Strings ar({L"stale"});
    t.GetValueRecord(9, ar); // always emptied, even for a bad index
    EXPECT_TRUE(ar.IsEmpty());
    t.GetValueRecord(2, ar);
    EXPECT_EQ((V{L"ABC", L"2"}), Values(ar));

    // Lookup by name is exact; HasThisRecordByName trims and ignores case.
    t.GetValueRecord(CString(L"ABC"), rec);
    EXPECT_EQ((V{L"ABC", L"2"}), Values(rec));
    CZORValueRecord miss = Record({L"keep"});
    t.GetValueRecord(CString(L"  abc "), miss);
    t.GetValueRecord(CString(L"Abc"), miss);
    EXPECT_EQ((V{L"keep"}), Values(miss));
    EXPECT_EQ(1, t.HasThisRecordByName(L" abc"));
    EXPECT_EQ(1, t.HasThisRecordByName(L"  aBc \t"));
    EXPECT_EQ(0, t.HasThisRecordByName(L"ab c"));
    EXPECT_EQ(0, t.HasThisRecordByName(L"")); // the empty row has no name

    CZORValueTable cols = Table({{L"a", L"1"}, {L"b"}, {L"c", L"3"}});
    Strings col({L"before"});
    cols.GetReverseValueRecord(1, col);
    EXPECT_EQ((V{L"before", L"1", L"", L"3"}), Values(col));
    CStringArray none;
    cols.GetReverseValueRecord(2, none); // row 0 decides which columns exist
    cols.GetReverseValueRecord(-1, none);
    EXPECT_TRUE(none.IsEmpty());
    CZORValueTable emptyTable;
    emptyTable.GetReverseValueRecord(0, none);
    EXPECT_TRUE(none.IsEmpty());
}

TEST(CZORValueTable, SettingByName) {
    CZORValueTable t = Table({{L"k", L"1"}, {L"k", L"2"}});
    CZORValueRecord rec = Record({L"k", L"new"});
    t.SetValueRecord(CString(L"k"), rec); // the first match only
    EXPECT_EQ((Rows{{L"k", L"new"}, {L"k", L"2"}}), AllRows(t));
    CZORValueRecord empty;
    t.SetValueRecord(CString(L"K"), empty); // no match: appended, even when empty
    EXPECT_EQ((Rows{{L"k", L"new"}, {L"k", L"2"}, {}}), AllRows(t));
}

TEST(CZORValueTable, RemovingRows) {
    CZORValueTable t = Table({{L"a", L"x"}, {L"b", L"y"}, {L"c", L"x"}});
    t.RemoveRecordByIndex(3);
    t.RemoveRecordByIndex(-1);
    EXPECT_EQ(3, t.GetTableLogicSize());
    t.RemoveRecordByLable(L"X", 1); // exact comparison: nothing matches
    EXPECT_EQ(3, t.GetTableLogicSize());
    t.RemoveRecordByLable(L"x", 1);
    EXPECT_EQ((Rows{{L"b", L"y"}}), AllRows(t));

    CZORValueTable withShort = Table({{L"a", L"x"}, {L"short"}, {L"c", L"x"}});
    EXPECT_TRUE(RaisesInvalidArg([&] { withShort.RemoveRecordByLable(L"x", 1); }));
    EXPECT_EQ(3, withShort.GetTableLogicSize()); // nothing removed
    EXPECT_TRUE(RaisesInvalidArg([&] { withShort.RemoveRecordByLable(L"x", -1); }));

    withShort.RemoveRecordByIndex(1);
    EXPECT_EQ((Rows{{L"a", L"x"}, {L"c", L"x"}}), AllRows(withShort));
}

TEST(CZORValueTable, RenamingColumnValues) {
    CZORValueTable t = Table({{L"a", L"k"}, {L"k"}, {L"b", L"j"}, {}});
    t.RenameRecordTextVlue(0, L"n", L"k");
    EXPECT_EQ((Rows{{L"n", L"k"}, {L"n"}, {L"b", L"j"}, {}}), AllRows(t));

    t.RenameRecordTextVlue(1, L"z", L"j");
    EXPECT_EQ((Rows{{L"n", L"k"}, {L"n"}, {L"b", L"z"}, {}}), AllRows(t));

    // Without a key every non-empty row changes; a short row stops the walk with the rows
    // before it already changed.
    CZORValueTable u = Table({{L"a", L"1"}, {L"b"}, {L"c", L"3"}, {}});
    EXPECT_TRUE(RaisesInvalidArg([&] { u.RenameRecordTextVlue(1, L"q"); }));
    EXPECT_EQ((Rows{{L"a", L"q"}, {L"b"}, {L"c", L"3"}, {}}), AllRows(u));
    u.RenameRecordTextVlue(0, L"first");
    EXPECT_EQ((Rows{{L"first", L"q"}, {L"first"}, {L"first", L"3"}, {}}), AllRows(u));
    EXPECT_TRUE(RaisesInvalidArg([&] { u.RenameRecordTextVlue(-1, L"q", L"3"); }));
}

TEST(CZORValueTable, CopyAndAssignment) {
    CZORValueTable t = Table({{L"a", L"1"}, {}, {L"b"}});
    Strings labels({L"L"});
    Strings lx({L"X"});
    t.SetLableRecord(labels);
    t.SetLineXRecord(lx);

    CZORValueTable copy(t);
    EXPECT_EQ(AllRows(t), AllRows(copy));
    EXPECT_EQ(1, copy.GetFieldCount());

    CZORValueTable other = Table({{L"z"}});
    other = t;
    CStringArray out;
    other.GetLineXRecord(out);
    EXPECT_EQ((V{L"X"}), Values(out));
    EXPECT_EQ(AllRows(t), AllRows(other));

    CZORValueTable& self = t;
    t = self;
    EXPECT_EQ(3, t.GetTableLogicSize());

    // Copies are independent.
    copy.RemoveAll(1);
    EXPECT_EQ(3, t.GetTableLogicSize());
    EXPECT_EQ(1, t.GetFieldCount());
}

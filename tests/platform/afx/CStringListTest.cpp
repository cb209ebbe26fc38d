#include <gtest/gtest.h>

#include <string>

#include "platform/afx/afx.h"
#include "support/Raises.h"

namespace {

// The list walked forwards, then backwards, so that a broken back link shows up as well as
// a broken forward one: "a;b;c|c;b;a".
std::wstring Walk(const CStringList& list) {
    std::wstring s;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        s += std::wstring(list.GetNext(pos)) + L";";
    s += L"|";
    for (POSITION pos = list.GetTailPosition(); pos;)
        s += std::wstring(list.GetPrev(pos)) + L";";
    return s;
}

} // namespace

TEST(CStringList, AddInsertAndWalk) {
    CStringList list(4);
    EXPECT_EQ(nullptr, list.GetHeadPosition());
    POSITION posM = list.AddTail(L"m");
    POSITION posA = list.AddHead(L"a");
    list.AddTail(CString(L"z"));
    EXPECT_EQ(L"a;m;z;|z;m;a;", Walk(list));
    EXPECT_EQ(posA, list.GetHeadPosition());
    EXPECT_STREQ(L"z", list.GetTail());

    list.InsertBefore(posM, L"l");
    list.InsertAfter(posM, L"n");
    list.InsertBefore(posA, L"0"); // before the head: new head
    list.InsertBefore(nullptr, L"<");
    list.InsertAfter(nullptr, L">");
    POSITION posEnd = list.InsertAfter(list.GetTailPosition(), L"end");
    EXPECT_EQ(L"<;0;a;l;m;n;z;>;end;|end;>;z;n;m;l;a;0;<;", Walk(list));
    EXPECT_EQ(posEnd, list.GetTailPosition());
    EXPECT_EQ(9, list.GetCount());

    list.GetHead() = L"["; // references reach the stored element
    list.SetAt(posM, L"M");
    list.GetAt(posEnd) += L"!";
    POSITION pos = posM;
    EXPECT_STREQ(L"M", list.GetNext(pos));
    EXPECT_STREQ(L"n", list.GetAt(pos));
    pos = posM;
    list.GetPrev(pos);
    EXPECT_STREQ(L"l", list.GetAt(pos));
    EXPECT_EQ(L"[;0;a;l;M;n;z;>;end!;|end!;>;z;n;M;l;a;0;[;", Walk(list));
}

TEST(CStringList, RemoveFromHeadMiddleAndTail) {
    CStringList list;
    for (LPCWSTR s : {L"a", L"b", L"c", L"d", L"e"})
        list.AddTail(s);
    list.RemoveAt(list.FindIndex(2));
    EXPECT_EQ(L"a;b;d;e;|e;d;b;a;", Walk(list));
    list.RemoveAt(list.GetHeadPosition());
    list.RemoveAt(list.GetTailPosition());
    EXPECT_EQ(L"b;d;|d;b;", Walk(list));
    EXPECT_STREQ(L"b", list.RemoveHead());
    EXPECT_STREQ(L"d", list.RemoveTail());
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(nullptr, list.GetTailPosition());
    list.AddTail(L"again"); // the emptied list is usable as new
    EXPECT_EQ(L"again;|again;", Walk(list));
}

TEST(CStringList, FindAndFindIndex) {
    CStringList list;
    for (LPCWSTR s : {L"x", L"y", L"x", L"X", L"x"})
        list.AddTail(s);
    POSITION p0 = list.Find(L"x");
    EXPECT_EQ(list.GetHeadPosition(), p0);
    POSITION p2 = list.Find(L"x", p0);
    EXPECT_EQ(list.FindIndex(2), p2);
    POSITION p4 = list.Find(L"x", p2);
    EXPECT_EQ(list.GetTailPosition(), p4);
    EXPECT_EQ(nullptr, list.Find(L"x", p4));
    EXPECT_EQ(list.FindIndex(3), list.Find(L"X")); // exact comparison
    EXPECT_EQ(nullptr, list.Find(L""));
    EXPECT_EQ(nullptr, list.FindIndex(5));
    EXPECT_EQ(nullptr, list.FindIndex(-1));
}

TEST(CStringList, AddWholeLists) {
    CStringList list, other;
    list.AddTail(L"a");
    list.AddTail(L"b");
    other.AddTail(L"1");
    other.AddTail(L"2");
    list.AddTail(&list); // doubles the list, stopping at its old end
    EXPECT_EQ(L"a;b;a;b;|b;a;b;a;", Walk(list));
    list.AddHead(&other);
    list.AddTail(&other);
    EXPECT_EQ(L"1;2;a;b;a;b;1;2;|2;1;b;a;b;a;2;1;", Walk(list));
    other.AddHead(&other);
    EXPECT_EQ(L"1;2;1;2;|2;1;2;1;", Walk(other));
    EXPECT_EQ(8, list.GetCount());
}

TEST(CStringList, EmptyListAndNullPositionsRaiseInvalidArgument) {
    CStringList list;
    const CStringList& c = list;
    POSITION pos = nullptr;
    EXPECT_TRUE(RaisesInvalidArg([&] { list.GetHead(); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { c.GetTail(); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { list.RemoveHead(); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { list.RemoveTail(); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { list.GetNext(pos); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { list.RemoveAt(nullptr); }));
    EXPECT_EQ(0, list.GetCount());
}

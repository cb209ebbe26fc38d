#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/afx/afx.h"
#include "support/Raises.h"

namespace {

// Counts live instances, so growing and shrinking can be checked for constructing and
// destroying exactly the elements concerned. A destroyed instance overwrites its value
// (volatile, so the optimiser keeps the store): a copy taken through a reference left
// dangling by a reallocation reads -1, and the sanitizer build reports the read.
struct Counted {
    static int s_nLive;
    int value = 0;
    Counted() { ++s_nLive; }
    Counted(int v) : value(v) { ++s_nLive; }
    Counted(const Counted& other) : value(other.value) { ++s_nLive; }
    Counted& operator=(const Counted&) = default;
    ~Counted() {
        --s_nLive;
        *static_cast<volatile int*>(&value) = -1;
    }
};
int Counted::s_nLive = 0;

std::wstring Join(const CArray<int, int>& a) {
    std::wstring s;
    for (INT_PTR i = 0; i < a.GetSize(); ++i)
        s += (i ? L"," : L"") + std::to_wstring(a[i]);
    return s;
}

} // namespace

TEST(CArray, GrowingAndShrinkingConstructAndDestroyElements) {
    {
        CArray<Counted> a;
        a.SetSize(5);
        EXPECT_EQ(5, Counted::s_nLive);
        EXPECT_EQ(0, a[4].value);
        a[0].value = 1;
        a[1].value = 2;
        a.SetSize(2);
        EXPECT_EQ(2, Counted::s_nLive);
        EXPECT_EQ(2, a[1].value);
        a.SetAtGrow(4, Counted(9));
        EXPECT_EQ(5, Counted::s_nLive);
        EXPECT_EQ(0, a[3].value);
        a.RemoveAt(1, 3);
        EXPECT_EQ(2, Counted::s_nLive);
        EXPECT_EQ(9, a[1].value);
        a.RemoveAll();
        EXPECT_EQ(0, Counted::s_nLive);
        a.SetSize(3);
    }
    EXPECT_EQ(0, Counted::s_nLive);
}

TEST(CArray, SetAtGrowAddInsertAndRemove) {
    CArray<int, int> a;
    a.SetAtGrow(0, 10); // index == size appends
    a.SetAtGrow(3, 40); // past the end pads with default elements
    EXPECT_EQ(L"10,0,0,40", Join(a));
    EXPECT_EQ(4, a.Add(50));
    a.SetAtGrow(1, 20);
    a.SetAt(2, 30);
    a.InsertAt(1, 7, 2);
    a.InsertAt(0, 1);
    EXPECT_EQ(L"1,10,7,7,20,30,40,50", Join(a));
    a.InsertAt(10, 5, 2); // past the end: grows to 10 first
    EXPECT_EQ(L"1,10,7,7,20,30,40,50,0,0,5,5", Join(a));
    a.RemoveAt(1, 3);
    a.RemoveAt(0);
    a.RemoveAt(2, 0);
    EXPECT_EQ(L"20,30,40,50,0,0,5,5", Join(a));
    a.RemoveAt(4, 4); // a range ending exactly at the end
    EXPECT_EQ(L"20,30,40,50", Join(a));
    EXPECT_EQ(3, a.GetUpperBound());
}

TEST(CArray, BadIndexesRaiseInvalidArgument) {
    CArray<int, int> a;
    a.SetSize(3);
    const CArray<int, int>& c = a;
    EXPECT_TRUE(RaisesInvalidArg([&] { a.GetAt(3); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { c.GetAt(-1); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { a[3] = 1; }));
    EXPECT_TRUE(RaisesInvalidArg([&] { (void)c[-1]; }));
    EXPECT_TRUE(RaisesInvalidArg([&] { a.SetAt(3, 1); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { a.RemoveAt(-1); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { a.RemoveAt(2, 2); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { a.SetAtGrow(-1, 1); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { a.SetSize(-1); }));
    EXPECT_EQ(3, a.GetSize()); // nothing changed on the way
}

TEST(CArray, CopyAppendAndInsertArrays) {
    CArray<int, int> a, b;
    a.Add(1);
    a.Add(2);
    b.Add(8);
    b.Add(9);
    EXPECT_EQ(2, a.Append(b));
    EXPECT_EQ(4, a.Append(a)); // appending itself doubles it
    EXPECT_EQ(L"1,2,8,9,1,2,8,9", Join(a));
    a.Copy(a);
    EXPECT_EQ(8, a.GetSize());
    a.Copy(b);
    b.SetAt(0, 7); // the copy is independent
    EXPECT_EQ(L"8,9", Join(a));
    a.InsertAt(1, &b);
    EXPECT_EQ(L"8,7,9,9", Join(a));
    a.InsertAt(6, &b); // past the end: padded first
    EXPECT_EQ(L"8,7,9,9,0,0,7,9", Join(a));
    a.RemoveAt(2, 6);
    a.InsertAt(1, &a); // inserting itself
    EXPECT_EQ(L"8,8,7,7", Join(a));
}

TEST(CArray, OwnElementsAsArgumentsSurviveReallocation) {
    // The model copies before it grows; the array is handed references into itself.
    CArray<Counted, const Counted&> a;
    std::vector<int> model{1000};
    a.Add(Counted(1000));
    for (int i = 1; i < 200; ++i) {
        if (i < 100)
            a.Add(a[i / 2]);
        else
            a.SetAtGrow(i, a[i / 2]); // index == size: appends
        a[i].value += i;
        model.push_back(model[static_cast<size_t>(i / 2)] + i);
    }
    for (int i = 2; i < 30; ++i) {
        int v = model[static_cast<size_t>(i)];
        a.SetAtGrow(a.GetSize() + i, a[i]); // padding reallocates before the element is stored
        model.resize(model.size() + static_cast<size_t>(i));
        model.push_back(v);
        v = model[static_cast<size_t>(i * 7)];
        a.InsertAt(i, a[i * 7], i);
        model.insert(model.begin() + i, static_cast<size_t>(i), v);
    }
    int v = model[5];
    a.InsertAt(a.GetSize() * 2, a[5], 2);
    model.resize(model.size() * 2);
    model.insert(model.end(), 2, v);

    ASSERT_EQ(static_cast<INT_PTR>(model.size()), a.GetSize());
    for (INT_PTR i = 0; i < a.GetSize(); ++i)
        ASSERT_EQ(model[static_cast<size_t>(i)], a[i].value) << i;
}

TEST(CArray, AppendingOneByOneIsAmortisedConstant) {
    CArray<int, int> a;
    const int n = 1000000;
    for (int i = 0; i < n; ++i)
        a.SetAtGrow(a.GetSize(), i);
    ASSERT_EQ(n, a.GetSize());
    EXPECT_EQ(123456, a[123456]);
    EXPECT_EQ(n - 1, a[n - 1]);
}

TEST(CStringArray, IsAnArrayOfStrings) {
    CStringArray a;
    a.Add(L"one");
    a.SetAtGrow(2, CString(L"three"));
    EXPECT_STREQ(L"", a[1]);
    EXPECT_STREQ(L"three", a[2]);
    EXPECT_EQ(RUNTIME_CLASS(CStringArray), a.GetRuntimeClass());
}

// Adding a string that is given away takes its buffer over, also when the string is one of
// the array's own elements and the array has to grow.
TEST(CStringArray, AddTakesOverAStringGivenAway) {
    CStringArray a;
    CString s(L"moved");
    const wchar_t* pBuffer = s.GetString();
    EXPECT_EQ(0, a.Add(std::move(s)));
    EXPECT_EQ(pBuffer, a[0].GetString());
    EXPECT_STREQ(L"", s);
    for (int i = 1; i < 100; ++i) {
        a.Add(CString(L"x"));
        pBuffer = a[0].GetString();
        EXPECT_EQ(i + 1, a.Add(std::move(a[0])));
        EXPECT_STREQ(L"", a[0]);
        EXPECT_EQ(pBuffer, a[i + 1].GetString());
        EXPECT_STREQ(L"moved", a[i + 1]);
        a[0] = a[i + 1];
        a.RemoveAt(i + 1);
    }
    EXPECT_EQ(100, a.GetSize());
    EXPECT_STREQ(L"moved", a[0]);
}

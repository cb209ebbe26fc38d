#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"
#include "platform/com/VariantDetail.h"

namespace {

// A variant of type vt holding value in the member of value's size.
template <typename T> VARIANT V(VARTYPE vt, T value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    std::memcpy(&v.llVal, &value, sizeof value);
    return v;
}

VARIANT Dec(BYTE scale, BYTE sign, ULONG hi, ULONGLONG lo) {
    VARIANT v;
    v.decVal = DECIMAL{0, scale, sign, hi, lo};
    v.vt = VT_DECIMAL;
    return v;
}

VARIANT Str(const wchar_t* p) {
    return V(VT_BSTR, SysAllocString(p));
}

DATE DateOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    DATE date = 0;
    EXPECT_TRUE(ZqkDateFromParts(y, mo, d, h, mi, s, &date)) << y << "-" << mo << "-" << d;
    return date;
}

// The text of v; a failure must leave the destination as it was.
std::wstring Text(const VARIANT& v) {
    VARIANT out = V(VT_I4, LONG(-99));
    HRESULT hr = VariantChangeType(&out, &v, 0, VT_BSTR);
    if (FAILED(hr))
        return out.vt == VT_I4 && out.lVal == -99 ? L"failed: " + std::to_wstring(hr) : L"changed";
    std::wstring s(out.bstrVal, SysStringLen(out.bstrVal));
    VariantClear(&out);
    return s;
}

const std::wstring kMismatch = L"failed: " + std::to_wstring(DISP_E_TYPEMISMATCH);

} // namespace

TEST(VariantChangeType, EveryValueTypeBecomesText) {
    const struct {
        VARIANT v;
        const wchar_t* text;
    } cases[] = {
        {V(VT_I1, CHAR(-128)), L"-128"},
        {V(VT_I2, SHORT(-32768)), L"-32768"},
        {V(VT_I4, LONG(INT32_MIN)), L"-2147483648"},
        {V(VT_I8, LONGLONG(INT64_MIN)), L"-9223372036854775808"},
        {V(VT_UI1, BYTE(255)), L"255"},
        {V(VT_UI2, USHORT(65535)), L"65535"},
        {V(VT_UI4, ULONG(4294967295u)), L"4294967295"},
        {V(VT_UI8, ULONGLONG(UINT64_MAX)), L"18446744073709551615"},
        {V(VT_INT, -7), L"-7"},
        {V(VT_UINT, 4000000000u), L"4000000000"},
        {V(VT_R8, 0.1 + 0.2), L"0.3"},
        {V(VT_R8, 1e20), L"1E+20"},
        {V(VT_R8, -0.0), L"0"},
        {V(VT_R8, 1.0 / 3), L"0.333333333333333"},
        {V(VT_R8, 1234567890123456.0), L"1.23456789012346E+15"},
        {V(VT_R4, 0.1f), L"0.1"},
        {V(VT_R4, 1.0f / 3), L"0.3333333"},
        {V(VT_R4, 16777216.0f), L"1.677722E+07"},
        {V(VT_CY, LONGLONG(12345678)), L"1234.5678"},
        {V(VT_CY, LONGLONG(15000)), L"1.5"},
        {V(VT_CY, LONGLONG(-5)), L"-0.0005"},
        {V(VT_CY, LONGLONG(INT64_MIN)), L"-922337203685477.5808"},
        {Dec(2, DECIMAL_NEG, 0, 12345), L"-123.45"},
        {Dec(3, 0, 0, 1500), L"1.5"},
        {Dec(28, 0, 0, 1), L"0.0000000000000000000000000001"},
        {Dec(0, 0, 0xFFFFFFFF, UINT64_MAX), L"79228162514264337593543950335"},
        {Dec(4, DECIMAL_NEG, 0, 0), L"0"},
        {V(VT_BOOL, VARIANT_TRUE), L"-1"},
        {V(VT_BOOL, VARIANT_FALSE), L"0"},
        {V(VT_EMPTY, 0), L""},
        {V(VT_DATE, DateOf(2024, 1, 2, 3, 4, 5)), L"2024-01-02 03:04:05"},
        {V(VT_DATE, DateOf(2024, 2, 29)), L"2024-02-29"},
        {V(VT_DATE, 0.5), L"12:00:00"},
        {V(VT_DATE, 0.0), L"00:00:00"},
        {V(VT_DATE, -1.25), L"1899-12-29 06:00:00"},
        {V(VT_DATE, -657434.0), L"0100-01-01"},
        // Less than half a second before midnight is the next day, but not past the last one.
        {V(VT_DATE, DateOf(2000, 1, 1, 23, 59, 59) + 0.6 / 86400), L"2000-01-02"},
        {V(VT_DATE, 2958465.99999999), L"9999-12-31 23:59:59"},
        {V(VT_NULL, 0), kMismatch.c_str()},
        {V(VT_ERROR, DISP_E_PARAMNOTFOUND), kMismatch.c_str()}};
    for (const auto& c : cases)
        EXPECT_EQ(c.text, Text(c.v)) << "vt " << c.v.vt;

    VARIANT bytes = V(VT_ARRAY | VT_UI1, SafeArrayCreateVector(VT_UI1, 0, 3));
    EXPECT_EQ(kMismatch, Text(bytes));
    VariantClear(&bytes);
}

TEST(VariantChangeType, ReadsThroughReferencesAndConvertsInPlace) {
    LONG n = 7;
    EXPECT_EQ(L"7", Text(V(VT_BYREF | VT_I4, &n)));
    VARIANT inner = V(VT_R8, 2.25);
    EXPECT_EQ(L"2.25", Text(V(VT_BYREF | VT_VARIANT, &inner)));
    BSTR b = SysAllocString(L"kept");
    EXPECT_EQ(L"kept", Text(V(VT_BYREF | VT_BSTR, &b)));
    EXPECT_STREQ(L"kept", b);
    SysFreeString(b);

    // The string given up in place is freed (the sanitizer build checks).
    VARIANT v = V(VT_I4, LONG(5));
    ASSERT_EQ(S_OK, VariantChangeType(&v, &v, 0, VT_BSTR));
    ASSERT_EQ(VT_BSTR, v.vt);
    EXPECT_STREQ(L"5", v.bstrVal);
    ASSERT_EQ(S_OK, VariantChangeType(&v, &v, 0, VT_R8));
    EXPECT_EQ(VT_R8, v.vt);
    EXPECT_EQ(5.0, v.dblVal);
    // A reference converted in place becomes the text; what it pointed at stays.
    double d = 2.5;
    VARIANT ref = V(VT_BYREF | VT_R8, &d);
    ASSERT_EQ(S_OK, VariantChangeType(&ref, &ref, 0, VT_BSTR));
    ASSERT_EQ(VT_BSTR, ref.vt);
    EXPECT_STREQ(L"2.5", ref.bstrVal);
    EXPECT_EQ(2.5, d);
    VariantClear(&ref);

    // Text to text is a copy of its own, embedded NULs and all; a null string stays null; in
    // place, the old string is given up; a destination holding a string gives it up.
    BSTR text = SysAllocStringLen(L"a\0b c", 5);
    VARIANT src = V(VT_BSTR, text), dest = V(VT_BSTR, SysAllocString(L"old"));
    ASSERT_EQ(S_OK, VariantChangeType(&dest, &src, 0, VT_BSTR));
    ASSERT_EQ(VT_BSTR, dest.vt);
    EXPECT_NE(text, dest.bstrVal);
    ASSERT_EQ(5u, SysStringLen(dest.bstrVal));
    EXPECT_EQ(0, wmemcmp(L"a\0b c", dest.bstrVal, 5));
    ASSERT_EQ(S_OK, VariantChangeType(&src, &src, 0, VT_BSTR));
    ASSERT_EQ(VT_BSTR, src.vt);
    EXPECT_EQ(0, wmemcmp(L"a\0b c", src.bstrVal, 5));
    VariantClear(&src);
    VariantClear(&dest);
    VARIANT null = V(VT_BSTR, static_cast<BSTR>(nullptr));
    ASSERT_EQ(S_OK, VariantChangeType(&dest, &null, 0, VT_BSTR));
    EXPECT_EQ(VT_BSTR, dest.vt);
    EXPECT_EQ(nullptr, dest.bstrVal);
}

TEST(VariantChangeType, NumbersTextAndDatesConvert) {
    struct Case {
        VARIANT from;
        VARIANT want; // its type is the target
    } cases[] = {{V(VT_R8, 2.5), V(VT_I4, LONG(2))},
                 {V(VT_R8, 3.5), V(VT_I4, LONG(4))},
                 {V(VT_R8, -2.5), V(VT_I4, LONG(-2))},
                 {V(VT_R8, -0.5), V(VT_UI1, BYTE(0))},
                 {V(VT_CY, LONGLONG(25000)), V(VT_I4, LONG(2))},
                 {V(VT_CY, LONGLONG(35000)), V(VT_I2, SHORT(4))},
                 {Dec(2, DECIMAL_NEG, 0, 250), V(VT_I8, LONGLONG(-2))},
                 {V(VT_R8, -2147483648.0), V(VT_I4, LONG(INT32_MIN))},
                 {V(VT_I4, LONG(255)), V(VT_UI1, BYTE(255))},
                 {V(VT_BOOL, VARIANT_TRUE), V(VT_I4, LONG(-1))},
                 {V(VT_R8, 0.25), V(VT_BOOL, VARIANT_TRUE)},
                 {V(VT_R8, 1.23456), V(VT_CY, LONGLONG(12346))},
                 {V(VT_CY, LONGLONG(15000)), V(VT_R8, 1.5)},
                 {Str(L"  42 "), V(VT_I4, LONG(42))},
                 {Str(L"1.5"), V(VT_R8, 1.5)},
                 {Str(L"2.5"), V(VT_I4, LONG(2))},
                 {Str(L"-7"), V(VT_I2, SHORT(-7))},
                 {Str(L"1e3"), V(VT_I4, LONG(1000))},
                 {Str(L"0.1"), V(VT_CY, LONGLONG(1000))},
                 {Str(L"18446744073709551615"), V(VT_UI8, ULONGLONG(UINT64_MAX))},
                 {Str(L"true"), V(VT_BOOL, VARIANT_TRUE)},
                 {Str(L"False"), V(VT_BOOL, VARIANT_FALSE)},
                 {Str(L"2024-01-02 03:04:05"), V(VT_DATE, DateOf(2024, 1, 2, 3, 4, 5))},
                 {Str(L"2024-01-02"), V(VT_DATE, DateOf(2024, 1, 2))},
                 {Str(L"10:30"), V(VT_DATE, 10.5 / 24)}};
    for (auto& c : cases) {
        VARIANT out;
        VariantInit(&out);
        ASSERT_EQ(S_OK, VariantChangeType(&out, &c.from, 0, c.want.vt)) << c.want.vt;
        EXPECT_EQ(c.want.vt, out.vt);
        // Every member sits in the same eight bytes; what the type does not use stays zero.
        EXPECT_EQ(c.want.llVal, out.llVal) << "from vt " << c.from.vt << " to vt " << c.want.vt;
        VariantClear(&c.from);
    }
    VARIANT dec = V(VT_EMPTY, 0), want = Dec(0, DECIMAL_NEG, 0, 42), from = V(VT_I4, LONG(-42));
    ASSERT_EQ(S_OK, VariantChangeType(&dec, &from, 0, VT_DECIMAL));
    EXPECT_EQ(0, std::memcmp(&want.decVal, &dec.decVal, sizeof(DECIMAL)));
}

TEST(VariantChangeType, FailuresLeaveTheDestinationAlone) {
    struct Case {
        VARIANT from;
        VARTYPE vt;
        HRESULT hr;
    } cases[] = {{V(VT_I4, LONG(300)), VT_UI1, DISP_E_OVERFLOW},
                 {V(VT_R8, 255.5), VT_UI1, DISP_E_OVERFLOW},
                 {V(VT_I4, LONG(-1)), VT_UI4, DISP_E_OVERFLOW},
                 {V(VT_I4, LONG(-129)), VT_I1, DISP_E_OVERFLOW},
                 {V(VT_R8, 1e10), VT_I4, DISP_E_OVERFLOW},
                 {V(VT_R8, double(NAN)), VT_I4, DISP_E_OVERFLOW},
                 {V(VT_R8, double(NAN)), VT_DECIMAL, DISP_E_OVERFLOW},
                 {V(VT_R8, double(INFINITY)), VT_DECIMAL, DISP_E_OVERFLOW},
                 {V(VT_R8, 1e39), VT_R4, DISP_E_OVERFLOW},
                 {V(VT_R8, 1e20), VT_CY, DISP_E_OVERFLOW},
                 {V(VT_R8, 1e7), VT_DATE, DISP_E_OVERFLOW},
                 {Str(L"99999999999"), VT_I4, DISP_E_OVERFLOW},
                 {Str(L"abc"), VT_I4, DISP_E_TYPEMISMATCH},
                 {Str(L""), VT_I4, DISP_E_TYPEMISMATCH},
                 {Str(L"12abc"), VT_R8, DISP_E_TYPEMISMATCH},
                 {Str(L"1e"), VT_R8, DISP_E_TYPEMISMATCH},
                 // Only ASCII digits count, in an exponent too.
                 {Str(L"1e\u0135"), VT_R8, DISP_E_TYPEMISMATCH},
                 {Str(L"2023-02-29"), VT_DATE, DISP_E_TYPEMISMATCH},
                 {Str(L"2024-13-01"), VT_DATE, DISP_E_TYPEMISMATCH},
                 {Str(L"25:00"), VT_DATE, DISP_E_TYPEMISMATCH},
                 {Str(L"2024-01-02 03"), VT_DATE, DISP_E_TYPEMISMATCH},
                 {V(VT_NULL, 0), VT_I4, DISP_E_TYPEMISMATCH},
                 {V(VT_ERROR, DISP_E_PARAMNOTFOUND), VT_R8, DISP_E_TYPEMISMATCH}};
    for (auto& c : cases) {
        VARIANT dest = V(VT_I4, LONG(-99));
        EXPECT_EQ(c.hr, VariantChangeType(&dest, &c.from, 0, c.vt)) << "from vt " << c.from.vt;
        EXPECT_EQ(VT_I4, dest.vt);
        EXPECT_EQ(-99, dest.lVal);
        VariantClear(&c.from);
    }
    // Into text, a destination holding a string keeps it, also when it is the source.
    Case text[] = {{V(VT_NULL, 0), VT_BSTR, DISP_E_TYPEMISMATCH},
                   {V(VT_ERROR, DISP_E_PARAMNOTFOUND), VT_BSTR, DISP_E_TYPEMISMATCH},
                   {Dec(29, 0, 0, 1), VT_BSTR, E_INVALIDARG},
                   {V(VT_DATE, 1e7), VT_BSTR, DISP_E_OVERFLOW}};
    for (auto& c : text) {
        VARIANT dest = Str(L"keep");
        EXPECT_EQ(c.hr, VariantChangeType(&dest, &c.from, 0, c.vt)) << "from vt " << c.from.vt;
        ASSERT_EQ(VT_BSTR, dest.vt);
        EXPECT_STREQ(L"keep", dest.bstrVal);
        VariantClear(&dest);
        VARIANT self = c.from;
        EXPECT_EQ(c.hr, VariantChangeType(&self, &self, 0, c.vt));
        EXPECT_EQ(c.from.vt, self.vt);
    }
}

TEST(VariantChangeType, DatesAndTheirPartsRoundTrip) {
    EXPECT_EQ(0.0, DateOf(1899, 12, 30));
    EXPECT_EQ(36526.0, DateOf(2000, 1, 1));
    EXPECT_EQ(-657434.0, DateOf(100, 1, 1));
    EXPECT_EQ(2958465.0, DateOf(9999, 12, 31));
    // Before 1899-12-30 the time still counts forward from the start of the day.
    EXPECT_EQ(-1.25, DateOf(1899, 12, 29, 6, 0, 0));
    DATE d;
    EXPECT_FALSE(ZqkDateFromParts(99, 12, 31, 0, 0, 0, &d));
    EXPECT_FALSE(ZqkDateFromParts(10000, 1, 1, 0, 0, 0, &d));
    EXPECT_FALSE(ZqkDateFromParts(1900, 2, 29, 0, 0, 0, &d));
    EXPECT_FALSE(ZqkDateFromParts(2024, 4, 31, 0, 0, 0, &d));
    EXPECT_FALSE(ZqkDateFromParts(2024, 1, 1, 24, 0, 0, &d));
    int y, mo, dd, h, mi, s;
    EXPECT_FALSE(ZqkDateToParts(2958466.0, &y, &mo, &dd, &h, &mi, &s));
    EXPECT_FALSE(ZqkDateToParts(NAN, &y, &mo, &dd, &h, &mi, &s));

    for (int year = 100; year <= 9999; ++year) {
        bool bLeap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        const int days[][2] = {{1, 1}, {2, bLeap ? 29 : 28}, {12, 31}};
        for (const auto& md : days) {
            const int hour = year % 24, minute = year % 60, second = year * 7 % 60;
            ASSERT_TRUE(ZqkDateFromParts(year, md[0], md[1], hour, minute, second, &d)) << year;
            ASSERT_TRUE(ZqkDateToParts(d, &y, &mo, &dd, &h, &mi, &s));
            ASSERT_EQ((std::vector<int>{year, md[0], md[1], hour, minute, second}),
                      (std::vector<int>{y, mo, dd, h, mi, s}));
        }
    }
}

// Integers of every length in decimal, around every power of ten and at random, and the
// scaled forms (currency, decimals) whose digits come the same way.
TEST(VariantChangeType, IntegersOfEveryLength) {
    std::vector<long long> values = {0, INT64_MAX, INT64_MIN, INT64_MIN + 1};
    for (int nZeros = 0; nZeros <= 18; ++nZeros) {
        long long p = 1;
        for (int i = 0; i < nZeros; ++i)
            p *= 10;
        for (long long d : {-1LL, 0LL, 1LL, 9LL, 10LL, 11LL, 99LL})
            values.insert(values.end(), {p + d, -(p + d), p * 9 + d, -(p * 9 + d)});
    }
    uint64_t x = 88172645463325252ull;
    for (int i = 0; i < 20000; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        values.push_back(static_cast<long long>(x >> (i % 64)));
    }
    for (long long v : values) {
        ASSERT_EQ(std::to_wstring(v), Text(V(VT_I8, v))) << v;
        ASSERT_EQ(std::to_wstring(static_cast<unsigned long long>(v)),
                  Text(V(VT_UI8, static_cast<unsigned long long>(v))))
            << v;
    }
    EXPECT_EQ(L"-922337203685477.5808", Text(V(VT_CY, INT64_MIN)));
    EXPECT_EQ(L"100.01", Text(V(VT_CY, 1000100LL)));
    EXPECT_EQ(L"79228162514264337593543950335", Text(Dec(0, 0, 0xFFFFFFFF, ~0ull)));
    EXPECT_EQ(L"-0.00000000000000000000000001", Text(Dec(26, DECIMAL_NEG, 0, 1)));
}

// Doubles become the text printf's "%.15G" gives: amounts of whole hundredths of every size and
// sign (which take a short way), their neighbours one unit in the last place away, other
// decimals, and doubles of any bit pattern.
TEST(VariantChangeType, RealsReadAsPrintfWritesThem) {
    auto expectPrintf = [](double d) {
        char sz[64];
        std::snprintf(sz, sizeof sz, "%.15G", d);
        std::wstring expected(sz, sz + std::strlen(sz));
        EXPECT_EQ(expected, Text(V(VT_R8, d))) << sz;
    };
    std::mt19937_64 rnd(20261206);
    for (int i = 0; i < 100000 && !::testing::Test::HasFailure(); ++i) {
        long long nScale = 1;
        for (int k = static_cast<int>(rnd() % 16); k > 0; --k)
            nScale *= 10;
        long long n = static_cast<long long>(rnd() % static_cast<unsigned long long>(nScale));
        double d = static_cast<double>(rnd() % 2 ? -n : n) / (rnd() % 3 == 0 ? 10 : 100);
        expectPrintf(d);
        expectPrintf(std::nextafter(d, 1e300));
        expectPrintf(std::nextafter(d, -1e300));
        double dBits;
        unsigned long long nBits = rnd();
        std::memcpy(&dBits, &nBits, sizeof dBits);
        if (std::isfinite(dBits))
            expectPrintf(dBits);
        expectPrintf(static_cast<double>(rnd() % 1000000) / 1000);
    }
    for (double d :
         {0.01, -0.01, 0.1, 0.5, 1.0, 9.99, 10.0, 99.99, 100.0, 0.001, 1e12, 9999999999999.99,
          -9999999999999.99, 10000000000000.0, 12345678901234.5, 1e15, 1e-5, 5e-324})
        expectPrintf(d);
}

// Dates' seconds and amounts' hundredths are rounded without the library call; halves and the
// doubles next to them must round as llround rounds them.
TEST(VariantChangeType, RoundingWithoutTheLibraryMatchesLlround) {
    std::vector<double> values = {0.0,
                                  0.5,
                                  1.5,
                                  2.5,
                                  0.49999999999999994,
                                  86399.5,
                                  86399.49999999999,
                                  1e15 - 0.5,
                                  4503599627370495.5,
                                  123456.125,
                                  7.0 / 3.0};
    std::mt19937_64 random(20261206);
    std::uniform_real_distribution<double> any(-1e15, 1e15);
    for (int i = 0; i < 10000; ++i)
        values.push_back(any(random));
    for (int i = 0; i < 2000; ++i) // halves and their neighbours
        values.push_back(std::nextafter(static_cast<double>(i) + 0.5, i % 2 ? 0.0 : 1e16));
    size_t nValues = values.size();
    for (size_t i = 0; i < nValues; ++i)
        values.push_back(-values[i]);
    for (double x : values)
        ASSERT_EQ(std::llround(x), ZqkVariantDetail::RoundHalfAway(x)) << x;
}

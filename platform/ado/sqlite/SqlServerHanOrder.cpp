#include "platform/ado/sqlite/SqlServerHanOrder.h"

#include <unicode/ucol.h>

#include <wctype.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct CHanRange {
    unsigned nFirst;
    unsigned nLast;
};

// The ranked blocks, in the order their characters occupy the rank table.
constexpr CHanRange kHanRanges[] = {
    {0x3400, 0x4DBF}, // extension A
    {0x4E00, 0x9FFF}, // unified ideographs
    {0xF900, 0xFAFF}, // compatibility ideographs
};

// Position of c in the rank table, or -1 when c is in no ranked block.
int Slot(unsigned c) {
    int nBase = 0;
    for (const CHanRange& r : kHanRanges) {
        if (c >= r.nFirst && c <= r.nLast)
            return nBase + static_cast<int>(c - r.nFirst);
        nBase += static_cast<int>(r.nLast - r.nFirst + 1);
    }
    return -1;
}

constexpr int SlotCount() {
    int n = 0;
    for (const CHanRange& r : kHanRanges)
        n += static_cast<int>(r.nLast - r.nFirst + 1);
    return n;
}

const char* IcuLocale(SqlHanOrder order) {
    switch (order) {
    case SqlHanOrder::Stroke:
        return "zh-u-co-stroke";
    case SqlHanOrder::Bopomofo:
        return "zh-u-co-zhuyin";
    default:
        return "zh"; // pinyin is ICU's default for Chinese
    }
}

// Ranks every ranked character by ICU's sort key for the order; characters with the same
// key keep code-point order, so no two distinct characters compare equal. Empty when ICU
// cannot open the rules: the characters then keep code-point order.
std::vector<unsigned> BuildRanks(SqlHanOrder order) {
    UErrorCode err = U_ZERO_ERROR;
    UCollator* pColl = ucol_open(IcuLocale(order), &err);
    if (U_FAILURE(err) || pColl == nullptr)
        return {};
    struct CEntry {
        std::string key;
        unsigned c;
    };
    std::vector<CEntry> entries;
    entries.reserve(SlotCount());
    for (const CHanRange& r : kHanRanges)
        for (unsigned c = r.nFirst; c <= r.nLast; ++c) {
            UChar ch = static_cast<UChar>(c);
            uint8_t buf[64];
            int32_t n = ucol_getSortKey(pColl, &ch, 1, buf, sizeof buf);
            n = std::min<int32_t>(n, sizeof buf);
            entries.push_back({std::string(reinterpret_cast<const char*>(buf),
                                           static_cast<size_t>(n > 0 ? n : 0)),
                               c});
        }
    ucol_close(pColl);
    std::sort(entries.begin(), entries.end(), [](const CEntry& a, const CEntry& b) {
        return a.key != b.key ? a.key < b.key : a.c < b.c;
    });
    std::vector<unsigned> ranks(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        ranks[static_cast<size_t>(Slot(entries[i].c))] = static_cast<unsigned>(i);
    return ranks;
}

const std::vector<unsigned>& Ranks(SqlHanOrder order) {
    static std::array<std::once_flag, 4> s_once;
    static std::array<std::vector<unsigned>, 4> s_ranks;
    size_t i = static_cast<size_t>(order);
    std::call_once(s_once[i], [&] { s_ranks[i] = BuildRanks(order); });
    return s_ranks[i];
}

bool Contains(const std::wstring& s, const wchar_t* pszWord) {
    std::wstring lower(s);
    for (wchar_t& ch : lower)
        ch = static_cast<wchar_t>(towlower(static_cast<wint_t>(ch)));
    return lower.find(pszWord) != std::wstring::npos;
}

} // namespace

SqlHanOrder SqlHanOrderOfCollation(const std::wstring& strName) {
    if (wcsncasecmp(strName.c_str(), L"Chinese_", 8) != 0 || Contains(strName, L"_bin"))
        return SqlHanOrder::CodePoint;
    if (Contains(strName, L"bopomofo"))
        return SqlHanOrder::Bopomofo;
    if (Contains(strName, L"pinyin"))
        return SqlHanOrder::Pinyin;
    // Taiwan's and Hong Kong's collations sort by strokes even without the word in the name.
    if (Contains(strName, L"stroke") || Contains(strName, L"taiwan") ||
        Contains(strName, L"hong_kong") || Contains(strName, L"traditional"))
        return SqlHanOrder::Stroke;
    return SqlHanOrder::Pinyin;
}

unsigned SqlHanKey(SqlHanOrder order, unsigned c) {
    if (order == SqlHanOrder::CodePoint || c < kHanRanges[0].nFirst)
        return c;
    int nSlot = Slot(c);
    if (nSlot < 0)
        return c;
    const std::vector<unsigned>& ranks = Ranks(order);
    return ranks.empty() ? c : kSqlHanKeyBase + ranks[static_cast<size_t>(nSlot)];
}

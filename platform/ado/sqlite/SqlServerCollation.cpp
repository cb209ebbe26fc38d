#include "platform/ado/sqlite/SqlServerCollation.h"

#include <wctype.h>

#include <strings.h>

#include <cmath>
#include <vector>

#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/ado/sqlite/SqlTokens.h"
#include "platform/win/TextEncoding.h"

const char kSqlDateCollation[] = "zqk_datetime";

namespace {

// The base letters of U+00C0 to U+017F ('.' where a letter has none of its own here).
const char kLatinBase[] = "AAAAAA.CEEEEIIII.NOOOOO.OUUUUY.."
                          "aaaaaa.ceeeeiiii.nooooo.ouuuuy.y"
                          "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGg"
                          "GgGgHhHhIiIiIiIiIi..JjKk.LlLlLlL"
                          "lLlNnNnNn...OoOoOo..RrRrRrSsSsSs"
                          "SsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";

unsigned Base(unsigned c) {
    if (c >= 0xC0 && c <= 0x17F && kLatinBase[c - 0xC0] != '.')
        return static_cast<unsigned char>(kLatinBase[c - 0xC0]);
    return c;
}

unsigned Narrow(unsigned c) {
    return c >= 0xFF01 && c <= 0xFF5E ? c - 0xFF01 + 0x21 : c == 0x3000 ? 0x20 : c;
}

// Decodes UTF-8; malformed bytes stand for themselves.
void Decode(const unsigned char* p, int n, std::vector<unsigned>* pOut) {
    pOut->clear();
    pOut->reserve(static_cast<size_t>(n)); // never more characters than bytes
    for (int i = 0; i < n;) {
        unsigned c = p[i];
        int nMore = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (c >= 0xF8 || i + nMore >= n + (nMore ? 0 : 1)) {
            pOut->push_back(c);
            ++i;
            continue;
        }
        unsigned v = nMore ? c & (0x3F >> nMore) : c;
        bool bOk = true;
        for (int k = 1; k <= nMore; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
                bOk = false;
                break;
            }
            v = (v << 6) | (p[i + k] & 0x3F);
        }
        if (!bOk) {
            pOut->push_back(c);
            ++i;
            continue;
        }
        pOut->push_back(v);
        i += nMore + 1;
    }
}

int Sign(long long n) {
    return n < 0 ? -1 : n > 0 ? 1 : 0;
}

// Compares at one level of keys: the first difference decides, then the length.
template <typename Key>
int Level(const std::vector<unsigned>& a, size_t na, const std::vector<unsigned>& b, size_t nb,
          Key key) {
    size_t n = na < nb ? na : nb;
    for (size_t i = 0; i < n; ++i) {
        unsigned ka = key(a[i]), kb = key(b[i]);
        if (ka != kb)
            return ka < kb ? -1 : 1;
    }
    return Sign(static_cast<long long>(na) - static_cast<long long>(nb));
}

int Compare(void* pArg, int na, const void* a, int nb, const void* b) {
    return SqlCollationCompare(*static_cast<const CSqlCollation*>(pArg),
                               static_cast<const unsigned char*>(a), na,
                               static_cast<const unsigned char*>(b), nb);
}

void Destroy(void* p) {
    delete static_cast<CSqlCollation*>(p);
}

// Dates and times as times: '2024-01-05' is '2024-01-05 00:00:00', whatever form SQL Server
// reads. Texts that are no date come after every date, in byte order.
int CompareDates(void*, int na, const void* a, int nb, const void* b) {
    std::string sa(static_cast<const char*>(a), static_cast<size_t>(na));
    std::string sb(static_cast<const char*>(b), static_cast<size_t>(nb));
    if (sa == sb)
        return 0;
    double da = 0, db = 0;
    bool bA = SqlParseDate(sa, &da), bB = SqlParseDate(sb, &db);
    if (bA && bB) {
        // To the millisecond, as the stored text keeps them.
        long long ma = std::llround(da * 86400000.0), mb = std::llround(db * 86400000.0);
        return ma < mb ? -1 : ma > mb ? 1 : 0;
    }
    if (bA != bB)
        return bA ? -1 : 1;
    return sa < sb ? -1 : 1;
}

} // namespace

void SqlCollationNeeded(void* pCreate, sqlite3* pDb, int, const char* pszName) {
    SqlCreateCollation* pfnCreate = reinterpret_cast<SqlCreateCollation*>(pCreate);
    CSqlCollation c;
    if (SqlParseCollation(WinUtf8ToWide(pszName), &c))
        pfnCreate(pDb, pszName, SQLITE_UTF8, new CSqlCollation(c), &Compare, &Destroy);
    else if (strcasecmp(pszName, kSqlDateCollation) == 0)
        pfnCreate(pDb, pszName, SQLITE_UTF8, nullptr, &CompareDates, nullptr);
}

bool SqlParseCollation(const std::wstring& strName, CSqlCollation* pCollation) {
    std::vector<std::wstring> parts;
    size_t nStart = 0;
    for (size_t i = 0; i <= strName.size(); ++i)
        if (i == strName.size() || strName[i] == L'_') {
            parts.push_back(strName.substr(nStart, i - nStart));
            nStart = i + 1;
        }
    CSqlCollation c;
    bool bCase = false, bAccent = false;
    size_t nFlags = parts.size();
    while (nFlags > 1) {
        const std::wstring& p = parts[nFlags - 1];
        auto is = [&](const wchar_t* w) { return wcscasecmp(p.c_str(), w) == 0; };
        if (is(L"CI") || is(L"CS"))
            bCase = true, c.bCaseSensitive = is(L"CS");
        else if (is(L"AI") || is(L"AS"))
            bAccent = true, c.bAccentSensitive = is(L"AS");
        else if (is(L"BIN") || is(L"BIN2"))
            c.bBinary = true;
        else if (is(L"WS"))
            c.bWidthSensitive = true;
        else if (!(is(L"KS") || is(L"SC") || is(L"UTF8") || is(L"VSS")))
            break;
        --nFlags;
    }
    if (nFlags == parts.size() || nFlags == 0 || parts[0].empty())
        return false;
    if (!c.bBinary && !(bCase && bAccent))
        return false;
    if (!c.bBinary)
        c.eHanOrder = SqlHanOrderOfCollation(strName);
    *pCollation = c;
    return true;
}

int SqlCollationCompare(const CSqlCollation& coll, const unsigned char* a, int na,
                        const unsigned char* b, int nb) {
    // Trailing blanks do not count: SQL Server pads the shorter text for comparing.
    while (na > 0 && a[na - 1] == ' ')
        --na;
    while (nb > 0 && b[nb - 1] == ' ')
        --nb;
    // Most text is ASCII: compared there without decoding.
    bool bAscii = true;
    for (int i = 0; i < na && bAscii; ++i)
        bAscii = a[i] < 0x80;
    for (int i = 0; i < nb && bAscii; ++i)
        bAscii = b[i] < 0x80;
    if (bAscii) {
        int n = na < nb ? na : nb, nCase = 0;
        for (int i = 0; i < n; ++i) {
            unsigned ca = a[i], cb = b[i];
            if (ca == cb)
                continue;
            unsigned la = SqlLowerLetter(ca), lb = SqlLowerLetter(cb);
            if (la != lb && !coll.bBinary)
                return la < lb ? -1 : 1;
            if (coll.bBinary)
                return ca < cb ? -1 : 1;
            if (nCase == 0)
                nCase = ca == la ? -1 : 1; // lower case first
        }
        if (na != nb)
            return na < nb ? -1 : 1;
        return coll.bCaseSensitive ? nCase : 0;
    }
    thread_local std::vector<unsigned> ua, ub;
    Decode(a, na, &ua);
    Decode(b, nb, &ub);
    size_t la = ua.size(), lb = ub.size();
    if (coll.bBinary)
        return Level(ua, la, ub, lb, [](unsigned c) { return c; });
    bool bWide = coll.bWidthSensitive;
    SqlHanOrder eHan = coll.eHanOrder;
    int r = Level(ua, la, ub, lb, [bWide, eHan](unsigned c) {
        return SqlHanKey(eHan, Base(SqlLowerLetter(bWide ? c : Narrow(c))));
    });
    if (r != 0 || !coll.bAccentSensitive)
        return r;
    r = Level(ua, la, ub, lb,
              [bWide](unsigned c) { return SqlLowerLetter(bWide ? c : Narrow(c)); });
    if (r != 0 || !coll.bCaseSensitive)
        return r;
    // Lower case before upper case, as SQL Server orders them.
    return Level(ua, la, ub, lb, [](unsigned c) { return SqlLowerLetter(c) == c ? 0u : 1u; });
}

namespace {

// One LIKE step: does the text from i match the pattern from j.
class CLike {
public:
    CLike(const std::vector<unsigned>& t, const std::vector<unsigned>& p, unsigned chEscape)
        : m_t(t), m_p(p), m_chEscape(chEscape) {}

    bool Match(size_t i, size_t j) const {
        while (j < m_p.size()) {
            unsigned c = m_p[j];
            if (c == m_chEscape && m_chEscape) {
                if (j + 1 >= m_p.size() || i >= m_t.size() || !Same(m_t[i], m_p[j + 1]))
                    return false;
                ++i, j += 2;
            } else if (c == '%') {
                while (j < m_p.size() && m_p[j] == '%')
                    ++j;
                if (j == m_p.size())
                    return true;
                for (size_t k = i; k <= m_t.size(); ++k)
                    if (Match(k, j))
                        return true;
                return false;
            } else if (c == '_') {
                if (i >= m_t.size())
                    return false;
                ++i, ++j;
            } else if (c == '[') {
                size_t nEnd = 0;
                bool bIn = false;
                if (!Set(j, i < m_t.size() ? m_t[i] : 0, &bIn, &nEnd)) {
                    if (i >= m_t.size() || !Same(m_t[i], c)) // an unclosed [ is itself
                        return false;
                    ++i, ++j;
                    continue;
                }
                if (i >= m_t.size() || !bIn)
                    return false;
                ++i, j = nEnd;
            } else {
                if (i >= m_t.size() || !Same(m_t[i], c))
                    return false;
                ++i, ++j;
            }
        }
        return i == m_t.size();
    }

private:
    static bool Same(unsigned a, unsigned b) {
        return SqlLowerLetter(Narrow(a)) == SqlLowerLetter(Narrow(b));
    }

    // [abc], [a-f], [^x]; false when the bracket does not close.
    bool Set(size_t j, unsigned ch, bool* pbIn, size_t* pnEnd) const {
        size_t k = j + 1;
        bool bNot = k < m_p.size() && m_p[k] == '^';
        if (bNot)
            ++k;
        bool bIn = false;
        size_t nFirst = k;
        for (; k < m_p.size(); ++k) {
            if (m_p[k] == ']' && k > nFirst)
                break;
            if (k + 2 < m_p.size() && m_p[k + 1] == '-' && m_p[k + 2] != ']') {
                unsigned lo = SqlLowerLetter(Narrow(m_p[k])),
                         hi = SqlLowerLetter(Narrow(m_p[k + 2]));
                unsigned x = SqlLowerLetter(Narrow(ch));
                bIn = bIn || (x >= lo && x <= hi);
                k += 2;
            } else {
                bIn = bIn || Same(ch, m_p[k]);
            }
        }
        if (k >= m_p.size())
            return false;
        *pbIn = bNot ? !bIn : bIn;
        *pnEnd = k + 1;
        return true;
    }

    const std::vector<unsigned>& m_t;
    const std::vector<unsigned>& m_p;
    unsigned m_chEscape;
};

void Encode(unsigned c, std::string* pOut) {
    if (c < 0x80) {
        *pOut += static_cast<char>(c);
    } else if (c < 0x800) {
        *pOut += static_cast<char>(0xC0 | (c >> 6));
        *pOut += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *pOut += static_cast<char>(0xE0 | (c >> 12));
        *pOut += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *pOut += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *pOut += static_cast<char>(0xF0 | (c >> 18));
        *pOut += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *pOut += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *pOut += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

bool SqlLikeMatch(const unsigned char* pText, int nText, const unsigned char* pPattern,
                  int nPattern, unsigned chEscape) {
    thread_local std::vector<unsigned> t, p;
    Decode(pText, nText, &t);
    Decode(pPattern, nPattern, &p);
    return CLike(t, p, chEscape).Match(0, 0);
}

std::string SqlChangeCase(const unsigned char* p, int n, bool bUpper) {
    std::vector<unsigned> u;
    Decode(p, n, &u);
    std::string out;
    out.reserve(static_cast<size_t>(n));
    for (unsigned c : u)
        Encode(bUpper ? SqlUpperLetter(c) : SqlLowerLetter(c), &out);
    return out;
}

void SqlRegisterCollations(sqlite3* pDb) {
    sqlite3_collation_needed(pDb, reinterpret_cast<void*>(&sqlite3_create_collation_v2),
                             &SqlCollationNeeded);
    // SQLite's join filters (Bloom filters) hash a text by its length in some versions, 3.40
    // among them, so that a key with trailing blanks missed its row: 'S ' = 'S' found nothing.
    // Later versions hash every text alike, and the filters gain nothing for text keys there.
    const int kBloomFilter = 0x00080000; // SQLite's optimisation bit, stable since 3.38
    sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, pDb, kBloomFilter);
}

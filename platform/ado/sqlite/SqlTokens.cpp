#include "platform/ado/sqlite/SqlTokens.h"

#include <locale.h>
#include <wctype.h>

#include <cwctype>

namespace {

// What an ASCII character can be in SQL text, looked up once per character.
enum : unsigned char { kSpaceChar = 1, kWordStart = 2, kWordChar = 4, kDigitChar = 8, kAlnum = 16 };

struct CCharClasses {
    unsigned char m_classes[128] = {};
    CCharClasses() {
        for (int c = 0; c < 128; ++c) {
            bool bLetter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
            bool bDigit = c >= '0' && c <= '9';
            bool bStart = bLetter || c == '_' || c == '@' || c == '#';
            m_classes[c] = static_cast<unsigned char>(
                (c == ' ' || (c >= '\t' && c <= '\r') ? kSpaceChar : 0) |
                (bStart ? kWordStart : 0) | (bStart || bDigit || c == '$' ? kWordChar : 0) |
                (bDigit ? kDigitChar : 0) | (bLetter || bDigit ? kAlnum : 0));
        }
    }
};
const CCharClasses g_classes;

bool IsAscii(wchar_t c) {
    return c >= 0 && c < 0x80;
}

// Everything past ASCII starts and continues a word, except blanks.
bool IsWordStart(wchar_t c) {
    return c >= 0x80 || (IsAscii(c) && (g_classes.m_classes[c] & kWordStart));
}

bool IsWordChar(wchar_t c) {
    return c >= 0x80 || (IsAscii(c) && (g_classes.m_classes[c] & kWordChar));
}

bool IsSpace(wchar_t c) {
    return IsAscii(c) ? (g_classes.m_classes[c] & kSpaceChar) != 0
                      : c >= 0x80 && iswspace(static_cast<wint_t>(c)) != 0;
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool IsAlnum(wchar_t c) {
    return IsAscii(c) ? (g_classes.m_classes[c] & kAlnum) != 0
                      : iswalnum(static_cast<wint_t>(c)) != 0;
}

// Operators of two characters (<> != <= >= !< !> || += -= *= /= %= &= |= ^= ::); everything
// else is one.
bool IsTwoCharOp(wchar_t a, wchar_t b) {
    switch (a) {
    case L'<':
        return b == L'>' || b == L'=';
    case L'!':
        return b == L'=' || b == L'<' || b == L'>';
    case L'|':
        return b == L'|' || b == L'=';
    case L':':
        return b == L':';
    case L'>':
    case L'+':
    case L'-':
    case L'*':
    case L'/':
    case L'%':
    case L'&':
    case L'^':
        return b == L'=';
    default:
        return false;
    }
}

} // namespace

bool SqlTokenize(const std::wstring& strText, CSqlTokens* pTokens) {
    // One copy of the text for all the tokens' views, which the caller's text need not outlive.
    const CSqlText s = pTokens->KeepText(strText);
    size_t i = 0, n = s.size();
    // Words and the blanks between them; kept small enough for a short statement to come from
    // the allocator's cache of small blocks.
    pTokens->reserve(pTokens->size() + n / 2 + 2);
    auto push = [&](SqlTok nKind, size_t nStart, size_t nEnd) {
        pTokens->emplace_back(nKind, s.substr(nStart, nEnd - nStart), nStart);
        i = nEnd;
    };
    // The end of a literal or quoted name opened at nStart, or npos when it does not close.
    auto closing = [&](size_t nStart, wchar_t chClose) -> size_t {
        for (size_t j = nStart + 1; j < n; ++j) {
            if (s[j] != chClose)
                continue;
            if (j + 1 < n && s[j + 1] == chClose) {
                ++j; // a doubled closing quote stands for one
                continue;
            }
            return j + 1;
        }
        return std::wstring_view::npos;
    };
    while (i < n) {
        wchar_t c = s[i];
        if (IsSpace(c)) {
            size_t j = i;
            while (j < n && IsSpace(s[j]))
                ++j;
            push(SqlTok::kSpace, i, j);
        } else if (c == L'-' && i + 1 < n && s[i + 1] == L'-') {
            size_t j = s.find(L'\n', i);
            push(SqlTok::kComment, i, j == std::wstring_view::npos ? n : j);
        } else if (c == L'/' && i + 1 < n && s[i + 1] == L'*') {
            size_t j = s.find(L"*/", i + 2);
            if (j == std::wstring_view::npos)
                return false;
            push(SqlTok::kComment, i, j + 2);
        } else if (c == L'\'' || c == L'"' || c == L'`' || c == L'[') {
            size_t j = closing(i, c == L'[' ? L']' : c);
            if (j == std::wstring_view::npos)
                return false;
            push(c == L'\'' ? SqlTok::kString : SqlTok::kQuoted, i, j);
        } else if ((c == L'N' || c == L'n') && i + 1 < n && s[i + 1] == L'\'') {
            size_t j = closing(i + 1, L'\'');
            if (j == std::wstring_view::npos)
                return false;
            pTokens->push_back({SqlTok::kNString, s.substr(i + 1, j - i - 1), i});
            i = j;
        } else if (IsWordStart(c)) {
            size_t j = i;
            while (j < n && IsWordChar(s[j]))
                ++j;
            push(SqlTok::kWord, i, j);
        } else if (IsDigit(c) || (c == L'.' && i + 1 < n && IsDigit(s[i + 1]))) {
            size_t j = i;
            while (j < n &&
                   (IsAlnum(s[j]) || s[j] == L'.' ||
                    ((s[j] == L'+' || s[j] == L'-') && (s[j - 1] == L'e' || s[j - 1] == L'E') &&
                     !(j >= 2 && s[j - 2] == L'0' && (s[j - 1] == L'x' || s[j - 1] == L'X')))))
                ++j;
            push(SqlTok::kNumber, i, j);
        } else {
            push(SqlTok::kPunct, i, i + (i + 1 < n && IsTwoCharOp(c, s[i + 1]) ? 2 : 1));
        }
    }
    return true;
}

bool SqlWordIs(const wchar_t* p, const wchar_t* pszWord) {
    for (;; ++p, ++pszWord) {
        wchar_t a = *p, b = *pszWord;
        if (a != b) {
            if ((a | 0x20) != (b | 0x20) || (a | 0x20) < L'a' || (a | 0x20) > L'z')
                return false;
        } else if (a == 0) {
            return true;
        }
    }
}

bool SqlIsNamePart(const CSqlToken& t) {
    return t.nKind == SqlTok::kWord || t.nKind == SqlTok::kQuoted;
}

std::wstring SqlNameOf(const CSqlToken& t) {
    if (t.nKind != SqlTok::kQuoted)
        return std::wstring(t.strText);
    wchar_t chClose = t.strText[0] == L'[' ? L']' : t.strText[0];
    std::wstring s;
    for (size_t i = 1; i + 1 < t.strText.size(); ++i) {
        s += t.strText[i];
        if (t.strText[i] == chClose)
            ++i;
    }
    return s;
}

bool SqlNameIs(const CSqlToken& t, const wchar_t* pszName) {
    if (t.nKind != SqlTok::kQuoted)
        return SqlWordIs(t.strText, pszName);
    const wchar_t chClose = t.strText[0] == L'[' ? L']' : t.strText[0];
    const CSqlText inner = t.strText.substr(1, t.strText.size() - 2);
    if (inner.find(chClose) != CSqlText::npos)
        return SqlEqualNoCase(SqlNameOf(t), pszName); // a doubled quote inside: unquoted first
    return SqlWordIs(inner, pszName);
}

std::wstring SqlStringValue(const CSqlToken& t) {
    std::wstring s;
    for (size_t i = 1; i + 1 < t.strText.size(); ++i) {
        s += t.strText[i];
        if (t.strText[i] == L'\'')
            ++i;
    }
    return s;
}

std::wstring SqlQuoteName(const std::wstring& strName) {
    return SqlQuote(strName, L'"');
}

std::wstring SqlQuoteString(const std::wstring& strText) {
    return SqlQuote(strText, L'\'');
}

namespace {

locale_t CaseLocale() {
    static locale_t s_locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return s_locale;
}

} // namespace

unsigned SqlLowerLetter(unsigned c) {
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    locale_t l = CaseLocale();
    return l ? static_cast<unsigned>(towlower_l(static_cast<wint_t>(c), l)) : c;
}

unsigned SqlUpperLetter(unsigned c) {
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? c - 32 : c;
    locale_t l = CaseLocale();
    return l ? static_cast<unsigned>(towupper_l(static_cast<wint_t>(c), l)) : c;
}

std::wstring SqlLower(std::wstring s) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(SqlLowerLetter(static_cast<unsigned>(c)));
    return s;
}

bool SqlSameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x == y)
            continue;
        if (x < 0x80 && y < 0x80) {
            if ((x | 0x20) != (y | 0x20) || (x | 0x20) < L'a' || (x | 0x20) > L'z')
                return false;
        } else if (SqlLowerLetter(static_cast<unsigned>(x)) !=
                   SqlLowerLetter(static_cast<unsigned>(y))) {
            return false;
        }
    }
    return true;
}

bool SqlEqualNoCase(const std::wstring& a, const wchar_t* b) {
    return SqlWordIs(a.c_str(), b); // b is always one of SQL's ASCII names
}

bool CSqlCursor::SkipGroup() {
    int nDepth = 0;
    for (size_t i = m_nPos; i < m_nEnd; ++i) {
        if (SqlIsPunct(m_tokens[i], L"("))
            ++nDepth;
        else if (SqlIsPunct(m_tokens[i], L")") && --nDepth == 0) {
            Seek(i + 1);
            return true;
        }
    }
    return false;
}

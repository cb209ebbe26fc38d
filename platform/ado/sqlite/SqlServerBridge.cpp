#include "platform/ado/sqlite/SqlServerBridge.h"

#include <cwctype>
#include <vector>

namespace {

// The texts of what the bridge refuses.
const wchar_t kUnknownDatabaseFormat1[] = L"Database '";
const wchar_t kUnknownDatabaseFormat2[] =
    L"' does not exist. Make sure that the name is entered correctly.";
const wchar_t kTopNotTopLevel[] =
    L"TOP is supported only at the start of the outermost SELECT of a statement.";
const wchar_t kTopForm[] = L"TOP is supported only with a whole number of rows (TOP n or TOP (n)).";
const wchar_t kTopWithLimit[] = L"TOP cannot be combined with LIMIT.";
const wchar_t kUnclosed[] = L"The statement has an unclosed string, name or comment.";

enum TokenKind { kSpace, kComment, kString, kNString, kQuoted, kWord, kNumber, kPunct };

struct Token {
    TokenKind nKind;
    std::wstring strText;
};

bool IsWordStart(wchar_t c) {
    return c == L'_' || c == L'@' || c == L'#' || (c >= 0x80) || iswalpha(static_cast<wint_t>(c));
}

bool IsWordChar(wchar_t c) {
    return IsWordStart(c) || c == L'$' || iswdigit(static_cast<wint_t>(c));
}

// Splits the text; false for an unclosed literal, quoted name or block comment.
bool Tokenize(const std::wstring& s, std::vector<Token>* pTokens) {
    size_t i = 0, n = s.size();
    auto quoted = [&](size_t nStart, wchar_t chClose, TokenKind nKind) {
        size_t j = nStart + 1;
        for (;;) {
            if (j >= n)
                return false;
            if (s[j] == chClose) {
                if (j + 1 < n && s[j + 1] == chClose) {
                    j += 2;
                    continue;
                }
                ++j;
                break;
            }
            ++j;
        }
        pTokens->push_back({nKind, s.substr(i, j - i)});
        i = j;
        return true;
    };
    while (i < n) {
        wchar_t c = s[i];
        if (iswspace(static_cast<wint_t>(c))) {
            size_t j = i;
            while (j < n && iswspace(static_cast<wint_t>(s[j])))
                ++j;
            pTokens->push_back({kSpace, s.substr(i, j - i)});
            i = j;
        } else if (c == L'-' && i + 1 < n && s[i + 1] == L'-') {
            size_t j = s.find(L'\n', i);
            j = j == std::wstring::npos ? n : j;
            pTokens->push_back({kComment, s.substr(i, j - i)});
            i = j;
        } else if (c == L'/' && i + 1 < n && s[i + 1] == L'*') {
            size_t j = s.find(L"*/", i + 2);
            if (j == std::wstring::npos)
                return false;
            pTokens->push_back({kComment, s.substr(i, j + 2 - i)});
            i = j + 2;
        } else if (c == L'\'') {
            if (!quoted(i, L'\'', kString))
                return false;
        } else if ((c == L'N' || c == L'n') && i + 1 < n && s[i + 1] == L'\'') {
            size_t nStart = i;
            ++i;
            if (!quoted(i, L'\'', kNString))
                return false;
            pTokens->back().strText = s.substr(nStart + 1, i - nStart - 1); // without the N
        } else if (c == L'"') {
            if (!quoted(i, L'"', kQuoted))
                return false;
        } else if (c == L'`') {
            if (!quoted(i, L'`', kQuoted))
                return false;
        } else if (c == L'[') {
            size_t j = i + 1;
            while (j < n && !(s[j] == L']' && !(j + 1 < n && s[j + 1] == L']')))
                j += (s[j] == L']') ? 2 : 1;
            if (j >= n)
                return false;
            pTokens->push_back({kQuoted, s.substr(i, j + 1 - i)});
            i = j + 1;
        } else if (IsWordStart(c)) {
            size_t j = i;
            while (j < n && IsWordChar(s[j]))
                ++j;
            pTokens->push_back({kWord, s.substr(i, j - i)});
            i = j;
        } else if (iswdigit(static_cast<wint_t>(c)) ||
                   (c == L'.' && i + 1 < n && iswdigit(static_cast<wint_t>(s[i + 1])))) {
            size_t j = i;
            while (j < n &&
                   (iswalnum(static_cast<wint_t>(s[j])) || s[j] == L'.' ||
                    ((s[j] == L'+' || s[j] == L'-') && (s[j - 1] == L'e' || s[j - 1] == L'E'))))
                ++j;
            pTokens->push_back({kNumber, s.substr(i, j - i)});
            i = j;
        } else {
            pTokens->push_back({kPunct, std::wstring(1, c)});
            ++i;
        }
    }
    return true;
}

bool Is(const Token& t, const wchar_t* pszWord) {
    return t.nKind == kWord && wcscasecmp(t.strText.c_str(), pszWord) == 0;
}

bool IsPunct(const Token& t, wchar_t c) {
    return t.nKind == kPunct && t.strText.size() == 1 && t.strText[0] == c;
}

bool IsNamePart(const Token& t) {
    return t.nKind == kWord || t.nKind == kQuoted;
}

// A name part without its quotes.
std::wstring NameOf(const Token& t) {
    if (t.nKind != kQuoted)
        return t.strText;
    wchar_t chClose = t.strText[0] == L'[' ? L']' : t.strText[0];
    std::wstring s;
    for (size_t i = 1; i + 1 < t.strText.size(); ++i) {
        s += t.strText[i];
        if (t.strText[i] == chClose)
            ++i; // a doubled closing quote stands for one
    }
    return s;
}

bool IsCatalogName(const std::wstring& s) {
    return wcscasecmp(s.c_str(), L"sysobjects") == 0 || wcscasecmp(s.c_str(), L"syscolumns") == 0 ||
           wcscasecmp(s.c_str(), L"systypes") == 0;
}

std::wstring QuoteName(const std::wstring& s) {
    std::wstring q = L"\"";
    for (wchar_t c : s) {
        if (c == L'"')
            q += L'"';
        q += c;
    }
    return q + L"\"";
}

// varchar(max), nvarchar(max) or varbinary(max) starting at token i (and not followed by a
// dot, which would make its quoted form the first part of a name).
template <typename Next> bool IsMaxType(const std::vector<Token>& tokens, size_t i, Next next) {
    const Token& t = tokens[i];
    if (!(Is(t, L"varchar") || Is(t, L"nvarchar") || Is(t, L"varbinary")))
        return false;
    size_t n = tokens.size();
    size_t nOpen = next(i + 1), nMax = nOpen < n ? next(nOpen + 1) : n;
    size_t nClose = nMax < n ? next(nMax + 1) : n, nAfter = nClose < n ? next(nClose + 1) : n;
    return nClose < n && IsPunct(tokens[nOpen], L'(') && Is(tokens[nMax], L"max") &&
           IsPunct(tokens[nClose], L')') && !(nAfter < n && IsPunct(tokens[nAfter], L'.'));
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
    return s;
}

} // namespace

std::wstring SqlServerUnknownDatabaseText(const std::wstring& strDatabase) {
    return kUnknownDatabaseFormat1 + strDatabase + kUnknownDatabaseFormat2;
}

bool CSqlServerBridge::Translate(const std::wstring& strIn, std::wstring* pstrOut,
                                 std::wstring* pstrError, bool* pbUnknownDatabase) const {
    *pbUnknownDatabase = false;
    pstrOut->clear();
    std::vector<Token> tokens;
    if (!Tokenize(strIn, &tokens)) {
        *pstrError = kUnclosed;
        return false;
    }
    std::wstring& out = *pstrOut;
    size_t n = tokens.size();
    // The next token that is not blank or a comment, from i on.
    auto next = [&](size_t i) {
        while (i < n && (tokens[i].nKind == kSpace || tokens[i].nKind == kComment))
            ++i;
        return i;
    };

    int nDepth = 0;
    std::vector<bool> lenParens;    // per open parenthesis: opened by LEN(
    size_t nLastSignificantEnd = 0; // where the statement's last real token ends in out
    const Token* pPrev = nullptr;   // the previous real token of the statement
    bool bStatementStart = true;
    bool bTopLevelSelect = false;
    bool bHasLimit = false;
    bool bCompound = false; // UNION, EXCEPT or INTERSECT outside parentheses
    std::wstring strLimit;

    auto endStatement = [&]() -> bool {
        if (!strLimit.empty()) {
            if (bHasLimit) {
                *pstrError = kTopWithLimit;
                return false;
            }
            // LIMIT would cut the whole compound, TOP only its own SELECT.
            if (bCompound) {
                *pstrError = kTopNotTopLevel;
                return false;
            }
            out.insert(nLastSignificantEnd, L" LIMIT " + strLimit);
        }
        strLimit.clear();
        bHasLimit = false;
        bCompound = false;
        bStatementStart = true;
        bTopLevelSelect = false;
        pPrev = nullptr;
        return true;
    };
    auto emit = [&](const std::wstring& s) {
        // A rewrite may bring two literals or quoted names together ('a'N'b', dbo.T]); touching,
        // they would read as one with a doubled quote inside.
        if (!out.empty() && !s.empty() && out.back() == s[0] &&
            (s[0] == L'\'' || s[0] == L'"' || s[0] == L'`' || s[0] == L']'))
            out += L' ';
        out += s;
        nLastSignificantEnd = out.size();
    };

    for (size_t i = 0; i < n; ++i) {
        const Token& t = tokens[i];
        if (t.nKind == kSpace || t.nKind == kComment) {
            out += t.strText;
            continue;
        }
        if (IsPunct(t, L';') && nDepth == 0) {
            if (!endStatement())
                return false;
            emit(t.strText);
            pPrev = nullptr;
            continue;
        }
        if (bStatementStart) {
            bTopLevelSelect = Is(t, L"SELECT");
            bStatementStart = false;
        }
        if (t.nKind == kNString) {
            emit(t.strText);
        } else if (IsPunct(t, L'(')) {
            ++nDepth;
            lenParens.push_back(false);
            emit(L"(");
        } else if (IsPunct(t, L')')) {
            bool bLen = !lenParens.empty() && lenParens.back();
            if (!lenParens.empty())
                lenParens.pop_back();
            if (nDepth > 0)
                --nDepth;
            emit(bLen ? L"))" : L")");
        } else if (t.nKind == kWord && Is(t, L"LIMIT") && nDepth == 0) {
            bHasLimit = true;
            emit(t.strText);
        } else if (nDepth == 0 && (Is(t, L"UNION") || Is(t, L"EXCEPT") || Is(t, L"INTERSECT"))) {
            bCompound = true;
            emit(t.strText);
        } else if (pPrev && IsPunct(*pPrev, L'.')) {
            // A part of a qualified name (x.GETDATE(), T.LEN(...)) is the user's, not a builtin.
            emit(t.strText);
        } else if ((Is(t, L"GETDATE") && next(i + 1) < n && IsPunct(tokens[next(i + 1)], L'(') &&
                    next(next(i + 1) + 1) < n && IsPunct(tokens[next(next(i + 1) + 1)], L')')) ||
                   Is(t, L"CURRENT_TIMESTAMP")) {
            bool bDefault = pPrev && Is(*pPrev, L"DEFAULT");
            // Parenthesised as a column default, which SQLite requires for an expression.
            // SQLite's own CURRENT_TIMESTAMP is UTC; SQL Server's, like GETDATE(), is local.
            emit(bDefault ? L"(datetime('now','localtime'))" : L"datetime('now','localtime')");
            if (Is(t, L"GETDATE"))
                i = next(next(i + 1) + 1);
        } else if (IsMaxType(tokens, i, next)) {
            // SQLite's type names take numbers only in parentheses; quoted, the whole name is
            // kept as the declared type, which the catalogue reads as SQL Server's max size.
            emit(QuoteName(t.strText + L"(max)"));
            i = next(next(next(i + 1) + 1) + 1);
        } else if (Is(t, L"ISNULL") && next(i + 1) < n && IsPunct(tokens[next(i + 1)], L'(')) {
            emit(L"ifnull");
        } else if (Is(t, L"LEN") && next(i + 1) < n && IsPunct(tokens[next(i + 1)], L'(')) {
            // SQL Server's LEN leaves trailing blanks out.
            emit(L"length(rtrim(");
            ++nDepth;
            lenParens.push_back(true);
            i = next(i + 1);
        } else if (Is(t, L"TOP") && pPrev &&
                   (Is(*pPrev, L"SELECT") || Is(*pPrev, L"DISTINCT") || Is(*pPrev, L"ALL"))) {
            if (!bTopLevelSelect || nDepth != 0 || !strLimit.empty() || bCompound) {
                *pstrError = kTopNotTopLevel;
                return false;
            }
            size_t j = next(i + 1);
            bool bParen = j < n && IsPunct(tokens[j], L'(');
            if (bParen)
                j = next(j + 1);
            if (j >= n || tokens[j].nKind != kNumber ||
                tokens[j].strText.find_first_not_of(L"0123456789") != std::wstring::npos) {
                *pstrError = kTopForm;
                return false;
            }
            strLimit = tokens[j].strText;
            if (bParen) {
                j = next(j + 1);
                if (j >= n || !IsPunct(tokens[j], L')')) {
                    *pstrError = kTopForm;
                    return false;
                }
            }
            size_t k = next(j + 1);
            if (k < n && (Is(tokens[k], L"PERCENT") || Is(tokens[k], L"WITH"))) {
                *pstrError = kTopForm;
                return false;
            }
            i = j; // TOP n is dropped here and comes back as LIMIT n at the end
            continue;
        } else if (IsNamePart(t) && !(pPrev && IsPunct(*pPrev, L'.'))) {
            // Qualified names: db.dbo.obj, db..obj and dbo.obj.
            size_t d1 = next(i + 1);
            size_t p2 = d1 < n && IsPunct(tokens[d1], L'.') ? next(d1 + 1) : n;
            bool bHandled = false;
            if (p2 < n) {
                size_t nObj = n, nEnd = n;
                bool bThreePart = false;
                if (IsPunct(tokens[p2], L'.')) { // db..obj
                    nObj = next(p2 + 1);
                    bThreePart = true;
                } else if (IsNamePart(tokens[p2]) &&
                           wcscasecmp(NameOf(tokens[p2]).c_str(), L"dbo") == 0) {
                    size_t d2 = next(p2 + 1);
                    if (d2 < n && IsPunct(tokens[d2], L'.')) { // db.dbo.obj
                        nObj = next(d2 + 1);
                        bThreePart = true;
                    }
                }
                if (bThreePart && nObj < n && IsNamePart(tokens[nObj])) {
                    nEnd = next(nObj + 1);
                    if (nEnd < n && IsPunct(tokens[nEnd], L'.')) {
                        bThreePart = false; // four parts: not ours to change
                    }
                } else {
                    bThreePart = false;
                }
                if (bThreePart) {
                    std::wstring strDatabase = NameOf(t);
                    CSqlDatabaseRef ref = m_fnResolve(strDatabase);
                    if (ref.nKind == CSqlDatabaseRef::kUnknown) {
                        *pstrError = SqlServerUnknownDatabaseText(strDatabase);
                        *pbUnknownDatabase = true;
                        return false;
                    }
                    const Token& obj = tokens[nObj];
                    std::wstring strObject = NameOf(obj);
                    if (IsCatalogName(strObject)) {
                        std::wstring strPrefix;
                        if (ref.nKind == CSqlDatabaseRef::kAttached) {
                            if (!m_fnCatalog(ref.strSchema, &strPrefix)) {
                                *pstrError = SqlServerUnknownDatabaseText(strDatabase);
                                *pbUnknownDatabase = true;
                                return false;
                            }
                            emit(QuoteName(strPrefix + Lower(strObject)));
                        } else {
                            emit(Lower(strObject));
                        }
                    } else {
                        emit((ref.nKind == CSqlDatabaseRef::kMain ? std::wstring(L"main")
                                                                  : QuoteName(ref.strSchema)) +
                             L"." + obj.strText);
                    }
                    i = nObj;
                    bHandled = true;
                } else if (wcscasecmp(NameOf(t).c_str(), L"dbo") == 0 && IsNamePart(tokens[p2])) {
                    size_t d2 = next(p2 + 1);
                    if (!(d2 < n && IsPunct(tokens[d2], L'.'))) { // dbo.obj
                        // A bare word is bracketed: it names an object, never a builtin
                        // (dbo.LEN stays a name) nor a keyword (dbo.ISNULL).
                        const Token& obj = tokens[p2];
                        if (IsCatalogName(NameOf(obj)))
                            emit(Lower(NameOf(obj)));
                        else
                            emit(obj.nKind == kWord ? L"[" + obj.strText + L"]" : obj.strText);
                        i = p2;
                        bHandled = true;
                    }
                }
            }
            if (!bHandled)
                emit(t.strText);
        } else {
            emit(t.strText);
        }
        pPrev = &tokens[i];
    }
    return endStatement();
}

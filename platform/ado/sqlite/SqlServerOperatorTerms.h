// The units the operator rewrite reads an expression level in, and what a term of them is
// known to be before it runs. Shared by the operator rewrite's files only.
#pragma once

#include <cwchar>
#include <string>
#include <vector>

#include "platform/ado/sqlite/SqlTokens.h"

// What a term is known to be before it runs.
enum class TermType { kUnknown, kString, kNumber, kNull };

// One unit of an expression level: a token, a parenthesised group or a CASE ... END, the
// latter two already rewritten inside.
struct CSqlOperatorItem {
    CSqlTokens tokens;
    bool bGroup = false;
    bool bCase = false;
    size_t nFrom = 0, nTo = 0; // the source tokens it stands for
    const CSqlToken& First() const { return tokens.front(); }
};

static inline bool IsPunctItem(const CSqlOperatorItem& it, const wchar_t* p) {
    return !it.bGroup && !it.bCase && SqlIsPunct(it.First(), p);
}

static inline bool IsBlankItem(const CSqlOperatorItem& it) {
    return !it.bGroup && !it.bCase && SqlIsBlank(it.First());
}

// A word or a quoted name that is one of words, without regard to case.
template <size_t N> bool SqlIsOneOfNames(const CSqlToken& t, const wchar_t* const (&words)[N]) {
    if (t.nKind == SqlTok::kWord)
        return SqlIsOneOf(t, words);
    if (t.nKind != SqlTok::kQuoted)
        return false;
    std::wstring name = SqlNameOf(t);
    for (const wchar_t* w : words)
        if (wcscasecmp(name.c_str(), w) == 0)
            return true;
    return false;
}

// What a term (items between additive operators) is by its own text: a string or number
// literal, a call of a string or number function, a conversion, NULL; unknown otherwise.
TermType SqlTermType(const std::vector<const CSqlOperatorItem*>& term);

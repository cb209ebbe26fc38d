// The collation an expression takes from the columns in it, as SQL Server's implicit
// collations go: through the calls that pass text on, not from conditions or other arguments.
#include <initializer_list>
#include <vector>

#include "platform/ado/sqlite/SqlServerExpressionCollation.h"
#include "platform/ado/sqlite/SqlServerOperators.h"

std::wstring SqlExpressionCollation(const CSqlTokens& tokens, size_t nBegin, size_t nEnd,
                                    const CSqlNameCollations& collations) {
    static const wchar_t* const kNoColumns[] = {
        L"NULL",   L"CASE",    L"WHEN",   L"THEN",   L"ELSE",     L"END",  L"AND",
        L"OR",     L"NOT",     L"IS",     L"IN",     L"AS",       L"LIKE", L"BETWEEN",
        L"ESCAPE", L"COLLATE", L"EXISTS", L"SELECT", L"DISTINCT", L"ALL"};
    // Calls whose text result is their text arguments': the collation comes through them
    // (and '+' between operands whose types only show when it runs).
    static const wchar_t* const kTextCalls[] = {
        L"UPPER",    L"LOWER",       L"LTRIM",     L"RTRIM",  L"TRIM",     L"LEFT",
        L"RIGHT",    L"SUBSTRING",   L"REPLACE",   L"ISNULL", L"COALESCE", L"NULLIF",
        L"REVERSE",  L"STUFF",       L"REPLICATE", L"CONCAT", L"CAST",     L"CONVERT",
        L"TRY_CAST", L"TRY_CONVERT", L"MIN",       L"MAX",    L"IIF"};
    std::vector<size_t> sig;
    for (size_t i = nBegin; i < nEnd; ++i)
        if (!SqlIsBlank(tokens[i]))
            sig.push_back(i);
    auto at = [&](size_t p) -> const CSqlToken& { return tokens[sig[p]]; };
    // The first p' > p at p's level that is one of words (or "," when bComma) or closes the
    // level, or the end.
    auto skipTo = [&](size_t p, std::initializer_list<const wchar_t*> words, bool bComma) {
        int nDepth = 0;
        for (++p; p < sig.size(); ++p) {
            const CSqlToken& t = at(p);
            const bool bClose = SqlIsPunct(t, L")") || SqlIs(t, L"END");
            if (nDepth == 0 &&
                (SqlIsPunct(t, L")") || SqlIsOneOf(t, words) || (bComma && SqlIsPunct(t, L","))))
                return p;
            if (SqlIsPunct(t, L"(") || SqlIs(t, L"CASE"))
                ++nDepth;
            else if (bClose)
                --nDepth;
        }
        return p;
    };
    for (size_t p = 0; p < sig.size(); ++p) {
        const CSqlToken& t = at(p);
        // What only decides, and is no part of the result: CASE's operand and conditions,
        // IIF's condition, the arguments of calls that give no text.
        if (SqlIs(t, L"CASE")) {
            p = skipTo(p, {L"WHEN"}, false) - 1; // on to the WHEN
            continue;
        }
        if (SqlIs(t, L"WHEN")) {
            p = skipTo(p, {L"THEN"}, false);
            continue;
        }
        if (SqlIsNamePart(t) && p + 1 < sig.size() && SqlIsPunct(at(p + 1), L"(")) {
            if (SqlIs(t, L"IIF"))
                p = skipTo(p + 1, {}, true);
            else if (!SqlIsOneOf(t, kTextCalls) && !SqlIs(t, kSqlAddFunction))
                p = skipTo(p + 1, {}, false); // to its group's ")"
            continue;
        }
        if (!SqlIsNamePart(t) || (t.nKind == SqlTok::kWord && t.strText[0] == L'@') ||
            SqlIsOneOf(t, kNoColumns) || (p > 0 && SqlIs(at(p - 1), L"AS")) ||
            (p > 0 && SqlIsPunct(at(p - 1), L".")))
            continue; // no column, a type after CAST's AS, or a name's later part
        std::wstring strQualifier, strName = SqlNameOf(t);
        if (p + 2 < sig.size() && SqlIsPunct(at(p + 1), L".") && SqlIsNamePart(at(p + 2))) {
            strQualifier.swap(strName);
            strName = SqlNameOf(at(p + 2));
        }
        std::wstring strCollation = collations(strQualifier, strName);
        if (!strCollation.empty())
            return strCollation;
    }
    return std::wstring();
}

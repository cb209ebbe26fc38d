#include "platform/ado/sqlite/SqlServerOperatorTerms.h"

namespace {

const wchar_t* const kStringFunctions[] = {
    L"UPPER",     L"LOWER",     L"LTRIM",   L"RTRIM",       L"TRIM",      L"SUBSTRING",
    L"SUBSTR",    L"LEFT",      L"RIGHT",   L"REPLACE",     L"CHAR",      L"NCHAR",
    L"SPACE",     L"REPLICATE", L"STR",     L"CONCAT",      L"QUOTENAME", L"REVERSE",
    L"STUFF",     L"FORMAT",    L"DB_NAME", L"OBJECT_NAME", L"USER_NAME", L"SUSER_SNAME",
    L"HOST_NAME", L"APP_NAME",  L"DATENAME"};

const wchar_t* const kNumberFunctions[] = {
    L"LEN",   L"DATALENGTH", L"COUNT",     L"ABS",      L"ROUND",    L"FLOOR",    L"CEILING",
    L"POWER", L"SQRT",       L"CHARINDEX", L"PATINDEX", L"DATEDIFF", L"DATEPART", L"YEAR",
    L"MONTH", L"DAY",        L"ASCII",     L"UNICODE",  L"SIGN",     L"LENGTH",   L"INSTR"};

const wchar_t* const kStringTypes[] = {L"char", L"varchar", L"nchar",  L"nvarchar",
                                       L"text", L"ntext",   L"sysname"};
const wchar_t* const kNumberTypes[] = {L"int",     L"bigint",     L"smallint", L"tinyint",
                                       L"decimal", L"numeric",    L"float",    L"real",
                                       L"money",   L"smallmoney", L"bit"};

// The type a CAST (x AS type) or CONVERT(type, x) gives.
TermType CastType(const CSqlTokens& g, bool bCast) {
    int nDepth = 0;
    for (size_t i = 0; i < g.size(); ++i) {
        if (SqlIsPunct(g[i], L"("))
            ++nDepth;
        else if (SqlIsPunct(g[i], L")"))
            --nDepth;
        bool bTypeHere = bCast ? (nDepth == 1 && SqlIs(g[i], L"AS")) : i == 0;
        if (!bTypeHere)
            continue;
        for (size_t j = i + 1; j < g.size(); ++j) {
            if (SqlIsBlank(g[j]))
                continue;
            if (SqlIsOneOfNames(g[j], kStringTypes))
                return TermType::kString;
            if (SqlIsOneOfNames(g[j], kNumberTypes))
                return TermType::kNumber;
            return TermType::kUnknown;
        }
    }
    return TermType::kUnknown;
}

} // namespace

TermType SqlTermType(const std::vector<const CSqlOperatorItem*>& term) {
    std::vector<const CSqlOperatorItem*> sig;
    for (const CSqlOperatorItem* p : term)
        if (!IsBlankItem(*p))
            sig.push_back(p);
    if (sig.empty())
        return TermType::kUnknown;
    const CSqlOperatorItem& a = *sig[0];
    if (sig.size() == 1 && !a.bGroup && !a.bCase) {
        const CSqlToken& t = a.First();
        if (t.nKind == SqlTok::kString || t.nKind == SqlTok::kNString)
            return TermType::kString;
        if (t.nKind == SqlTok::kNumber && t.strText.compare(0, 2, L"0x") != 0 &&
            t.strText.compare(0, 2, L"0X") != 0)
            return TermType::kNumber;
        if (SqlIs(t, L"NULL"))
            return TermType::kNull;
        return TermType::kUnknown;
    }
    if (sig.size() == 1 && a.bGroup) {
        // Already rewritten inside: a joined string shows its ||.
        for (const CSqlToken& t : a.tokens)
            if (SqlIsPunct(t, L"||"))
                return TermType::kString;
        const CSqlToken* pOnly = nullptr;
        for (size_t i = 1; i + 1 < a.tokens.size(); ++i)
            if (!SqlIsBlank(a.tokens[i])) {
                if (pOnly)
                    return TermType::kUnknown;
                pOnly = &a.tokens[i];
            }
        if (pOnly && (pOnly->nKind == SqlTok::kString || pOnly->nKind == SqlTok::kNString))
            return TermType::kString;
        return pOnly && pOnly->nKind == SqlTok::kNumber ? TermType::kNumber : TermType::kUnknown;
    }
    if (sig.size() == 2 && !a.bGroup && sig[1]->bGroup && a.First().nKind == SqlTok::kWord) {
        const CSqlToken& f = a.First();
        if (SqlIsOneOfNames(f, kStringFunctions))
            return TermType::kString;
        if (SqlIsOneOfNames(f, kNumberFunctions))
            return TermType::kNumber;
        if (SqlIs(f, L"CAST") || SqlIs(f, L"CONVERT"))
            return CastType(sig[1]->tokens, SqlIs(f, L"CAST"));
    }
    if (sig.size() == 2 && IsPunctItem(a, L"-") && !sig[1]->bGroup &&
        sig[1]->First().nKind == SqlTok::kNumber)
        return TermType::kNumber;
    return TermType::kUnknown;
}

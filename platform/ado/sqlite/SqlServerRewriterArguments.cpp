// The argument forms the rewriter reads inside a statement's calls and clauses: CAST and
// CONVERT with their types and styles, OFFSET's and FETCH's row counts, the identity functions'
// table names, and how many arguments SQL Server's builtins take.
#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/ado/sqlite/SqlServerArithmetic.h"
#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/ado/sqlite/SqlServerRewriter.h"
#include "platform/ado/sqlite/SqlServerStatements.h"
#include "platform/ado/sqlite/SqlServerTypes.h"

bool CSqlRewriter::Conversion(bool bCast, size_t nOpen, size_t nEnd, std::wstring* pOut,
                              size_t* pnClose, CSqlBridgeError* pError) {
    const CSqlTokens& T = m_tokens;
    *pnClose = 0;
    // CAST(value AS type) or CONVERT(type, value[, style]): the parts at the group's level.
    size_t nClose = 0, nAs = 0, nComma1 = 0, nComma2 = 0;
    int nDepth = 0;
    for (size_t k = nOpen; k < nEnd && nClose == 0; ++k) {
        if (SqlIsPunct(T[k], L"("))
            ++nDepth;
        else if (SqlIsPunct(T[k], L")") && --nDepth == 0)
            nClose = k;
        else if (nDepth == 1 && SqlIs(T[k], L"AS"))
            nAs = k;
        else if (nDepth == 1 && SqlIsPunct(T[k], L","))
            (nComma1 ? nComma2 : nComma1) = k;
    }
    if (nClose == 0 || (bCast ? nAs == 0 : nComma1 == 0))
        return true;
    size_t nTypeBegin = bCast ? nAs + 1 : nOpen + 1, nTypeEnd = bCast ? nClose : nComma1;
    size_t nValueBegin = bCast ? nOpen + 1 : nComma1 + 1;
    size_t nValueEnd = bCast ? nAs : (nComma2 ? nComma2 : nClose);
    std::wstring type;
    for (size_t k = nTypeBegin; k < nTypeEnd; ++k)
        if (!SqlIsBlank(T[k]))
            type += T[k].nKind == SqlTok::kQuoted ? SqlNameOf(T[k]) : T[k].strText;
    // Without a length, a string or binary type is 30 long in a conversion.
    CSqlDeclaredType parsed = SqlServerParseType(type);
    SqlTypeClass nClass = parsed.pRow->nClass;
    if (type.find(L'(') == std::wstring::npos && parsed.bKnownName && parsed.pRow->nLength == 0 &&
        (nClass == SqlTypeClass::kChar || nClass == SqlTypeClass::kNChar ||
         nClass == SqlTypeClass::kBinary))
        type += L"(30)";
    CSqlRewriter sub(*this, T);
    std::wstring value, style;
    if (!sub.Rewrite(nValueBegin, nValueEnd, SqlRewriteScope::kExpression, &value, pError))
        return false;
    if (nComma2 && !sub.Rewrite(nComma2 + 1, nClose, SqlRewriteScope::kExpression, &style, pError))
        return false;
    for (std::wstring* p : {&value, &style})
        p->erase(0, p->find_first_not_of(L" \t\r\n"));
    std::wstring rounded, inexact;
    if (!SqlExactLiteral(parsed, value, &rounded, &inexact)) {
        *pError = CSqlBridgeError{inexact};
        return false;
    }
    if (!rounded.empty())
        value = rounded;
    // Money and decimals become text with all their decimals (money two): 10.50, not 10.5.
    bool bText = parsed.pRow && (parsed.pRow->nClass == SqlTypeClass::kChar ||
                                 parsed.pRow->nClass == SqlTypeClass::kNChar);
    if (bText && style.empty()) {
        CSqlNumericType from = SqlExpressionType(T, nValueBegin, nValueEnd, NameTypes());
        if (from.nKind == CSqlNumericType::kMoney ||
            (from.nKind == CSqlNumericType::kDecimal && from.nScale > 0))
            value = L"zqk_fixed(" + value + L", " +
                    std::to_wstring(from.nKind == CSqlNumericType::kMoney ? 2 : from.nScale) + L")";
    }
    // The bytes of a value depend on the type it had, which SQLite's values do not keep.
    std::wstring from;
    if (nClass == SqlTypeClass::kBinary && parsed.bKnownName)
        from = L", " + (style.empty() ? L"0" : style) + L", " +
               SqlQuoteString(ValueType(nValueBegin, nValueEnd));
    *pOut = L"zqk_convert(" + value + L", " + SqlQuoteString(type) +
            (from.empty() && !style.empty() ? L", " + style : from) + L")";
    *pnClose = nClose;
    return true;
}

size_t CSqlRewriter::RowsWord(size_t nFrom, size_t nEnd) const {
    int nDepth = 0;
    for (size_t k = nFrom; k < nEnd; ++k) {
        if (SqlIsPunct(m_tokens[k], L"("))
            ++nDepth;
        else if (SqlIsPunct(m_tokens[k], L")") && --nDepth < 0)
            break;
        else if (nDepth == 0 && (SqlIs(m_tokens[k], L"ROWS") || SqlIs(m_tokens[k], L"ROW")))
            return k;
    }
    return nEnd;
}

bool CSqlRewriter::RowCount(size_t nFrom, size_t nEnd, std::wstring* pOut,
                            CSqlBridgeError* pError) {
    size_t nRows = RowsWord(nFrom, nEnd);
    if (nRows >= nEnd || nRows == nFrom)
        return false;
    CSqlRewriter sub(*this, m_tokens);
    if (!sub.Rewrite(nFrom, nRows, SqlRewriteScope::kExpression, pOut, pError))
        return false;
    pOut->erase(0, pOut->find_first_not_of(L" \t\r\n"));
    pOut->erase(pOut->find_last_not_of(L" \t\r\n") + 1);
    if (pOut->find_first_not_of(L"0123456789") != std::wstring::npos)
        *pOut = L"(" + *pOut + L")";
    return true;
}

bool CSqlRewriter::IdentityFunction(size_t nCall, size_t nOpen, size_t nEnd, std::wstring* pOut,
                                    size_t* pnClose, CSqlBridgeError* pError) {
    const CSqlTokens& T = m_tokens;
    CSqlCursor c(T, nOpen, nEnd);
    c.AcceptPunct(L"(");
    if (c.AtEnd() || (c.Peek().nKind != SqlTok::kString && c.Peek().nKind != SqlTok::kNString)) {
        *pError = SqlRefusal(T[nCall].strText +
                             L" is supported by the embedded database only with a literal name.");
        return false;
    }
    const std::wstring strTable = SqlStringValue(c.Peek());
    c.Advance();
    if (c.AtEnd() || !c.IsPunct(L")")) {
        *pError = SqlRefusal(L"Incorrect syntax near '" + T[nCall].strText + L"'.");
        return false;
    }
    *pnClose = c.Pos();
    CSqlTokens nameTokens;
    CSqlObjectName name;
    size_t nNext = 0;
    CSqlBridgeError ignored;
    const CSqlTableDef* pDef = nullptr;
    CSqlRewriter sub(*this, nameTokens);
    if (SqlTokenize(strTable, &nameTokens) && !nameTokens.empty() &&
        sub.ObjectName(0, nameTokens.size(), &name, &nNext, &ignored) && nNext == nameTokens.size())
        pDef = ReadTable(name, &NameScope());
    const CSqlColumnDef* pIdentity = pDef ? pDef->Identity() : nullptr;
    if (pIdentity == nullptr) {
        *pOut = L"NULL"; // SQL Server's answer for a table without an identity, or none
    } else if (SqlIs(T[nCall], L"IDENT_SEED")) {
        *pOut = std::to_wstring(pIdentity->nSeed);
    } else if (SqlIs(T[nCall], L"IDENT_INCR")) {
        *pOut = std::to_wstring(pIdentity->nIncrement);
    } else {
        // The last value given, or the seed before any: SQLite counts from the seed less one.
        *pOut = L"max(coalesce((SELECT seq FROM " + SqlQuoteName(name.strSchema) +
                L".sqlite_sequence WHERE name = " + SqlQuoteString(pDef->name.strName) +
                L"), 0), " + std::to_wstring(pIdentity->nSeed) + L")";
    }
    return true;
}

namespace {

// SQL Server's builtins that take a fixed number of arguments, in every version.
struct CBuiltinArity {
    const wchar_t* pszName;
    int nArguments;
};
const CBuiltinArity kBuiltinArities[] = {
    {L"GETDATE", 0},    {L"GETUTCDATE", 0},     {L"SYSDATETIME", 0},
    {L"NEWID", 0},      {L"SCOPE_IDENTITY", 0}, {L"IDENT_CURRENT", 1},
    {L"IDENT_SEED", 1}, {L"IDENT_INCR", 1},     {L"LEN", 1},
    {L"DATALENGTH", 1}, {L"UPPER", 1},          {L"LOWER", 1},
    {L"REVERSE", 1},    {L"SPACE", 1},          {L"ASCII", 1},
    {L"UNICODE", 1},    {L"CHAR", 1},           {L"NCHAR", 1},
    {L"ABS", 1},        {L"SIGN", 1},           {L"FLOOR", 1},
    {L"CEILING", 1},    {L"SQRT", 1},           {L"SQUARE", 1},
    {L"EXP", 1},        {L"YEAR", 1},           {L"MONTH", 1},
    {L"DAY", 1},        {L"ISNUMERIC", 1},      {L"ISDATE", 1},
    {L"ISNULL", 2},     {L"NULLIF", 2},         {L"LEFT", 2},
    {L"RIGHT", 2},      {L"REPLICATE", 2},      {L"DATEPART", 2},
    {L"DATENAME", 2},   {L"POWER", 2},          {L"SUBSTRING", 3},
    {L"REPLACE", 3},    {L"DATEADD", 3},        {L"DATEDIFF", 3},
    {L"STUFF", 4}};

} // namespace

bool SqlBuiltinArguments(const CSqlTokens& T, size_t nCall, size_t nOpen, size_t nEnd,
                         CSqlBridgeError* pError) {
    // Calls are met far more often than mistakes: the name first, among those of its folded
    // first letter and its length (most calls meet none), and the arguments only then.
    const size_t kLengths = 16;
    auto key = [&](wchar_t chFirst, size_t nLength) {
        return static_cast<size_t>((chFirst | 0x20) & 31) * kLengths +
               std::min(nLength, kLengths - 1);
    };
    static const std::vector<std::vector<const CBuiltinArity*>> byKey = [&] {
        std::vector<std::vector<const CBuiltinArity*>> v(32 * kLengths);
        for (const CBuiltinArity& a : kBuiltinArities)
            v[key(a.pszName[0], wcslen(a.pszName))].push_back(&a);
        return v;
    }();
    const CBuiltinArity* pBuiltin = nullptr;
    const wchar_t chFirst = T[nCall].strText[0];
    if (chFirst >= 0x80)
        return true;
    for (const CBuiltinArity* a : byKey[key(chFirst, T[nCall].strText.size())])
        if (SqlIs(T[nCall], a->pszName)) {
            pBuiltin = a;
            break;
        }
    if (pBuiltin == nullptr)
        return true;
    // A name given columns, not a call: "AS Year (a, b)" of a derived table (which SQLite then
    // refuses), "Day (a, b) AS (SELECT ...)" of a common table expression, "Day (a) AS
    // SELECT ..." of a view.
    size_t nBefore = nCall;
    while (nBefore > 0 && SqlIsBlank(T[nBefore - 1]))
        --nBefore;
    if (nBefore > 0 && SqlIs(T[nBefore - 1], L"AS"))
        return true;
    // The arguments: commas at the group's own level, none for an empty group.
    int nDepth = 0, nArguments = 0;
    bool bAny = false;
    size_t k = nOpen;
    for (; k < nEnd; ++k) {
        const CSqlToken& t = T[k];
        if (SqlIsPunct(t, L"(")) {
            bAny = bAny || nDepth > 0;
            ++nDepth;
        } else if (SqlIsPunct(t, L")")) {
            if (--nDepth == 0)
                break;
        } else if (nDepth == 1 && SqlIsPunct(t, L",")) {
            ++nArguments;
        } else if (!SqlIsBlank(t)) {
            bAny = true;
        }
    }
    nArguments += bAny ? 1 : 0;
    if (nArguments == pBuiltin->nArguments)
        return true;
    CSqlCursor after(T, k + 1, nEnd);
    if (after.Accept(L"AS") &&
        (after.IsPunct(L"(") || after.IsWord(L"SELECT") || after.IsWord(L"WITH")))
        return true;
    *pError = SqlServerError(174, L"The " + SqlLower(SqlNameOf(T[nCall])) + L" function requires " +
                                      std::to_wstring(pBuiltin->nArguments) + L" argument(s).");
    return false;
}

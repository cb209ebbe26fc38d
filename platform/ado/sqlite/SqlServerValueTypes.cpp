// The declared types of the values a statement converts or measures (CAST and CONVERT to the
// binary types, DATALENGTH): literals, conversions, names, arithmetic and strings.
#include <vector>

#include "platform/ado/sqlite/SqlServerArithmetic.h"
#include "platform/ado/sqlite/SqlServerOperators.h"
#include "platform/ado/sqlite/SqlServerRewriter.h"
#include "platform/win/TextEncoding.h"

namespace {

const int kMaxDepth = 64;

// The ")" closing the group that opens at nOpen, or nEnd.
size_t CloseOf(const CSqlTokens& T, size_t nOpen, size_t nEnd) {
    int nDepth = 0;
    for (size_t k = nOpen; k < nEnd; ++k)
        if (SqlIsPunct(T[k], L"("))
            ++nDepth;
        else if (SqlIsPunct(T[k], L")") && --nDepth == 0)
            return k;
    return nEnd;
}

// The class of a type name ValueType gave; kVariant for none.
SqlTypeClass ClassOf(const std::wstring& strType) {
    return strType.empty() ? SqlTypeClass::kVariant : SqlServerParseType(strType).pRow->nClass;
}

// Functions whose result is a string of their first argument's type.
const wchar_t* const kFirstArgumentStrings[] = {
    L"UPPER",     L"LOWER",   L"LTRIM",   L"RTRIM",     L"TRIM",  L"LEFT",  L"RIGHT",
    L"SUBSTRING", L"REPLACE", L"REVERSE", L"REPLICATE", L"STUFF", L"ISNULL"};

} // namespace

std::wstring CSqlRewriter::ArgumentType(size_t nOpen, size_t nEnd) {
    const CSqlTokens& T = m_tokens;
    CSqlCursor c(T, nOpen, nEnd);
    if (!c.SkipGroup())
        return std::wstring();
    size_t nClose = c.Pos() - 1;
    while (nClose > nOpen && !SqlIsPunct(T[nClose], L")"))
        --nClose;
    return ValueType(nOpen + 1, nClose);
}

std::wstring CSqlRewriter::ValueType(size_t nBegin, size_t nEnd, int nDepth) {
    const CSqlTokens& T = m_tokens;
    std::vector<size_t> sig;
    for (size_t k = nBegin; k < nEnd; ++k)
        if (!SqlIsBlank(T[k]))
            sig.push_back(k);
    if (sig.empty() || nDepth >= kMaxDepth)
        return std::wstring();
    if (sig.size() == 1 && T[sig[0]].nKind == SqlTok::kNString)
        return L"nvarchar";
    if (sig.size() == 1 && T[sig[0]].nKind == SqlTok::kString)
        return L"varchar";
    // (x), but not a subquery: x's type.
    if (sig.size() >= 3 && SqlIsPunct(T[sig[0]], L"(") && !SqlIs(T[sig[1]], L"SELECT") &&
        CloseOf(T, sig[0], nEnd) == sig.back())
        return ValueType(sig[0] + 1, sig.back(), nDepth + 1);
    if (sig.size() >= 2 &&
        SqlIsOneOf(T[sig[0]], {L"CAST", L"CONVERT", L"TRY_CAST", L"TRY_CONVERT"})) {
        // CAST(x AS type) or CONVERT(type, x ...): the type's tokens at the group's level
        bool bCast = SqlIs(T[sig[0]], L"CAST") || SqlIs(T[sig[0]], L"TRY_CAST"), bType = !bCast;
        std::wstring type;
        int nLevel = 0;
        for (size_t k = sig[1]; k < nEnd; ++k) {
            nLevel += SqlIsPunct(T[k], L"(") ? 1 : SqlIsPunct(T[k], L")") ? -1 : 0;
            if (nLevel == 0)
                break; // the group's own ")"
            if (k == sig[1] || SqlIsBlank(T[k]))
                continue;
            if (nLevel == 1 && (bCast ? SqlIs(T[k], L"AS") : SqlIsPunct(T[k], L","))) {
                if (!bCast)
                    break;
                bType = true;
                continue;
            }
            if (bType)
                type += T[k].nKind == SqlTok::kQuoted ? SqlNameOf(T[k]) : T[k].strText;
        }
        return type;
    }
    // name, qualifier.name or @variable
    bool bName = (sig.size() == 1 || sig.size() == 3) && SqlIsNamePart(T[sig[0]]);
    if (bName && sig.size() == 3)
        bName = SqlIsPunct(T[sig[1]], L".") && SqlIsNamePart(T[sig[2]]);
    CSqlDeclaredType type;
    if (bName && NameTypes()(sig.size() == 3 ? SqlNameOf(T[sig[0]]) : std::wstring(),
                             SqlNameOf(T[sig.back()]), &type)) {
        std::wstring name = WinUtf8ToWide(type.pRow->pszName);
        if (type.pRow->nAdoType == adNumeric)
            name += L"(" + std::to_wstring(type.nPrec) + L"," + std::to_wstring(type.nScale) + L")";
        return name;
    }
    // Arithmetic: the type of its result, integers as their operands' types; a bit or a date
    // where the value is one (GETDATE(), ISNULL of a bit).
    CSqlNumericType number = SqlExpressionType(T, nBegin, nEnd, NameTypes());
    if (number.pOwnRow)
        return WinUtf8ToWide(number.pOwnRow->pszName);
    if (number.nKind != CSqlNumericType::kUnknown)
        return number.Text();
    return StringType(sig, nEnd, nDepth);
}

std::wstring CSqlRewriter::StringType(const std::vector<size_t>& sig, size_t nEnd, int nDepth) {
    const CSqlTokens& T = m_tokens;
    // The parts joined by '+' at the expression's own level.
    std::vector<std::pair<size_t, size_t>> parts;
    size_t nPart = sig[0];
    for (size_t i = 0; i < sig.size(); ++i) {
        size_t k = sig[i];
        if (SqlIsPunct(T[k], L"(")) {
            size_t nClose = CloseOf(T, k, nEnd);
            while (i + 1 < sig.size() && sig[i + 1] <= nClose)
                ++i;
        } else if (SqlIsPunct(T[k], L"+") || SqlIsPunct(T[k], L"||")) { // as joined already
            parts.push_back({nPart, k});
            nPart = k + 1;
        }
    }
    parts.push_back({nPart, sig.back() + 1});
    SqlTypeClass nClass = SqlTypeClass::kChar;
    if (parts.size() > 1) {
        for (const auto& part : parts) {
            SqlTypeClass n = ClassOf(ValueType(part.first, part.second, nDepth + 1));
            if (n == SqlTypeClass::kNChar)
                return L"nvarchar"; // national text wins
            if (n != SqlTypeClass::kChar)
                nClass = SqlTypeClass::kVariant;
        }
    } else if (sig.size() >= 3 && T[sig[0]].nKind == SqlTok::kWord && SqlIsPunct(T[sig[1]], L"(") &&
               CloseOf(T, sig[1], nEnd) == sig.back()) {
        // F(a, ...): a string of a's type for the functions that keep it; COALESCE, CONCAT
        // and '+' of values typed at run time national where an argument is.
        const bool bAny = SqlIsOneOf(T[sig[0]], {L"COALESCE", L"CONCAT", kSqlAddFunction});
        if (!bAny && !SqlIsOneOf(T[sig[0]], kFirstArgumentStrings))
            return std::wstring();
        size_t nArgument = sig[1] + 1;
        int nLevel = 0;
        for (size_t k = sig[1]; k <= sig.back(); ++k) {
            nLevel += SqlIsPunct(T[k], L"(") ? 1 : SqlIsPunct(T[k], L")") ? -1 : 0;
            bool bEnd = nLevel == 0 || (nLevel == 1 && SqlIsPunct(T[k], L","));
            if (!bEnd)
                continue;
            SqlTypeClass n = ClassOf(ValueType(nArgument, k, nDepth + 1));
            if (n == SqlTypeClass::kNChar)
                return L"nvarchar";
            if (n != SqlTypeClass::kChar)
                nClass = SqlTypeClass::kVariant;
            if (!bAny)
                break;
            nArgument = k + 1;
        }
    } else {
        return std::wstring();
    }
    return nClass == SqlTypeClass::kChar ? L"varchar" : std::wstring();
}

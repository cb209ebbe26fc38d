#include "platform/ado/sqlite/SqlServerArithmetic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/ado/sqlite/SqlServerFunctions.h"

const wchar_t kSqlDivideFunction[] = L"zqk_divide";
const wchar_t kSqlModuloFunction[] = L"zqk_modulo";

namespace {

const int kMaxPrecision = 38;
const int kMinDivisionScale = 6;

CSqlNumericType Make(CSqlNumericType::Kind nKind, int nPrec, int nScale) {
    CSqlNumericType t;
    t.nKind = nKind;
    t.nPrec = nPrec;
    t.nScale = nScale;
    return t;
}

// An operand of decimal arithmetic as the decimal it converts to.
CSqlNumericType AsDecimal(const CSqlNumericType& t) {
    if (t.nKind == CSqlNumericType::kInteger)
        return Make(CSqlNumericType::kDecimal, t.nPrec, 0);
    if (t.nKind == CSqlNumericType::kMoney)
        return Make(CSqlNumericType::kDecimal, 19, 4);
    return t;
}

// Above 38 digits the scale gives way to the integral part; multiplication and division keep
// at least 6 decimals when the integral part is large.
CSqlNumericType Capped(int nPrec, int nScale, bool bProduct) {
    if (nPrec > kMaxPrecision) {
        int nIntegral = nPrec - nScale;
        if (!bProduct)
            nScale = std::max(0, std::min(nScale, kMaxPrecision - nIntegral));
        else if (nIntegral < 32)
            nScale = std::min(nScale, kMaxPrecision - nIntegral);
        else if (nScale > kMinDivisionScale)
            nScale = kMinDivisionScale;
        nPrec = kMaxPrecision;
    }
    return Make(CSqlNumericType::kDecimal, nPrec, nScale);
}

// A value of a date or time type, which is no number and reads as that type.
CSqlNumericType DateOf(const CSqlServerTypeRow* pRow) {
    CSqlNumericType date;
    date.pOwnRow = pRow;
    return date;
}

CSqlNumericType Datetime() {
    static const CSqlServerTypeRow* const pRow = SqlServerFindType("datetime");
    return DateOf(pRow);
}

CSqlNumericType Datetime2() {
    static const CSqlServerTypeRow* const pRow = SqlServerFindType("datetime2");
    return DateOf(pRow);
}

} // namespace

CSqlNumericType CSqlNumericType::Of(const CSqlDeclaredType& type) {
    const CSqlServerTypeRow& row = *type.pRow;
    switch (row.nClass) {
    case SqlTypeClass::kInteger:
        return Make(kInteger, row.nPrec, 0);
    case SqlTypeClass::kBit: {
        CSqlNumericType bit = Make(kInteger, row.nPrec, 0);
        bit.pOwnRow = &row;
        return bit;
    }
    case SqlTypeClass::kDate:
        return DateOf(&row);
    case SqlTypeClass::kExact:
        if (row.nAdoType == adCurrency)
            return Make(kMoney, row.nPrec, 4);
        return Make(kDecimal, type.nPrec, type.nScale);
    case SqlTypeClass::kFloat:
        return Make(kFloat, 53, 0);
    default:
        return CSqlNumericType();
    }
}

CSqlNumericType CSqlNumericType::OfLiteral(const std::wstring& s) {
    if (s.empty() || s.find_first_of(L"xX") != std::wstring::npos)
        return CSqlNumericType();
    if (s.find_first_of(L"eE") != std::wstring::npos)
        return Make(kFloat, 53, 0);
    size_t nPoint = s.find(L'.');
    std::wstring whole = s.substr(0, nPoint);
    whole.erase(0, std::min(whole.find_first_not_of(L'0'), whole.size()));
    int nScale = nPoint == std::wstring::npos ? 0 : static_cast<int>(s.size() - nPoint - 1);
    int nPrec = std::max(1, static_cast<int>(whole.size()) + nScale);
    // A whole number is an int when an int holds it, else numeric(p,0), as SQL Server reads it.
    if (nPoint == std::wstring::npos)
        return whole.size() > 10 || (whole.size() == 10 && whole > L"2147483647")
                   ? Make(kDecimal, nPrec, 0)
                   : Make(kInteger, nPrec, 0);
    return Make(kDecimal, std::min(nPrec, kMaxPrecision), nScale);
}

std::wstring CSqlNumericType::Text() const {
    switch (nKind) {
    case kDecimal:
        return L"decimal(" + std::to_wstring(nPrec) + L"," + std::to_wstring(nScale) + L")";
    case kMoney:
        return L"money";
    case kFloat:
        return L"float";
    case kInteger:
        return nPrec > 10 ? L"bigint" : L"int";
    default:
        return std::wstring();
    }
}

CSqlDeclaredType CSqlNumericType::Declared() const {
    // The rows are looked up once: computed columns are typed with every query.
    static const CSqlServerTypeRow* const pRows[] = {
        SqlServerFindType("sql_variant"), SqlServerFindType("int"),   SqlServerFindType("decimal"),
        SqlServerFindType("money"),       SqlServerFindType("float"), SqlServerFindType("bigint")};
    CSqlDeclaredType t;
    if (pOwnRow != nullptr) {
        t.pRow = pOwnRow;
        t.bKnownName = true;
        return t;
    }
    t.pRow = nKind == kInteger && nPrec > 10 ? pRows[5] : pRows[nKind];
    t.bKnownName = nKind != kUnknown;
    if (nKind == kDecimal) {
        t.nPrec = nPrec;
        t.nScale = nScale;
    }
    return t;
}

CSqlNumericType SqlNumericResult(wchar_t chOp, const CSqlNumericType& a, const CSqlNumericType& b) {
    using T = CSqlNumericType;
    if (a.nKind == T::kUnknown || b.nKind == T::kUnknown)
        return T();
    if (a.nKind == T::kFloat || b.nKind == T::kFloat)
        return Make(T::kFloat, 53, 0);
    if (a.nKind == T::kInteger && b.nKind == T::kInteger)
        return Make(T::kInteger, std::max(a.nPrec, b.nPrec), 0);
    if (a.nKind != T::kDecimal && b.nKind != T::kDecimal)
        return Make(T::kMoney, 19, 4); // money beside money or an integer stays money
    T x = AsDecimal(a), y = AsDecimal(b);
    int p1 = x.nPrec, s1 = x.nScale, p2 = y.nPrec, s2 = y.nScale;
    switch (chOp) {
    case L'*':
        return Capped(p1 + p2 + 1, s1 + s2, true);
    case L'/': {
        int nScale = std::max(kMinDivisionScale, s1 + p2 + 1);
        return Capped(p1 - s1 + s2 + nScale, nScale, true);
    }
    case L'%': {
        int nScale = std::max(s1, s2);
        return Capped(std::min(p1 - s1, p2 - s2) + nScale, nScale, false);
    }
    default: { // + and -
        int nScale = std::max(s1, s2);
        return Capped(std::max(p1 - s1, p2 - s2) + nScale + 1, nScale, false);
    }
    }
}

namespace {

// Reads an expression's type by descent over its tokens: sums of products of operands.
class CTyper {
public:
    CTyper(const CSqlTokens& t, size_t nBegin, size_t nEnd, const CSqlNameTypes& names,
           int nNesting = 0)
        : m_t(t), m_i(nBegin), m_nEnd(nEnd), m_names(names), m_nNesting(nNesting) {}

    // At a scalar subquery (SELECT x FROM ...), narrows the range to its one expression x and
    // says so.
    bool Subquery() {
        Skip();
        if (m_i >= m_nEnd || !SqlIs(m_t[m_i], L"SELECT"))
            return false;
        size_t nFrom = ++m_i;
        for (int nDepth = 0; nFrom < m_nEnd; ++nFrom) {
            nDepth += SqlIsPunct(m_t[nFrom], L"(") ? 1 : SqlIsPunct(m_t[nFrom], L")") ? -1 : 0;
            if (nDepth == 0 && (SqlIs(m_t[nFrom], L"FROM") || SqlIs(m_t[nFrom], L"WHERE")))
                break;
        }
        m_nEnd = nFrom; // a list of several, DISTINCT, TOP: not one operand, so unknown
        return true;
    }

    CSqlNumericType Whole() {
        CSqlNumericType r = Sum();
        Skip();
        return m_i < m_nEnd ? CSqlNumericType() : r;
    }

private:
    void Skip() {
        while (m_i < m_nEnd && SqlIsBlank(m_t[m_i]))
            ++m_i;
    }
    bool AtPunct(const wchar_t* p) {
        Skip();
        return m_i < m_nEnd && SqlIsPunct(m_t[m_i], p);
    }
    // The ")" that closes the group opening at nOpen, or nEnd.
    size_t Close(size_t nOpen) const {
        int nDepth = 0;
        for (size_t k = nOpen; k < m_nEnd; ++k) {
            if (SqlIsPunct(m_t[k], L"("))
                ++nDepth;
            else if (SqlIsPunct(m_t[k], L")") && --nDepth == 0)
                return k;
        }
        return m_nEnd;
    }
    // What is unknown stays so: the rest is not read (nor its names looked up).
    CSqlNumericType Unknown() {
        m_i = m_nEnd;
        return CSqlNumericType();
    }
    // An operand that is no number: a date or time stands as itself where nothing follows it.
    CSqlNumericType NotANumber(const CSqlNumericType& a) {
        Skip();
        return a.pOwnRow != nullptr && m_i >= m_nEnd ? a : Unknown();
    }
    CSqlNumericType Sum() {
        CSqlNumericType a = Product();
        if (a.nKind == CSqlNumericType::kUnknown)
            return NotANumber(a);
        while (AtPunct(L"+") || AtPunct(L"-")) {
            wchar_t op = m_t[m_i++].strText[0];
            a = SqlNumericResult(op, a, Product());
            if (a.nKind == CSqlNumericType::kUnknown)
                return Unknown();
        }
        return a;
    }
    CSqlNumericType Product() {
        CSqlNumericType a = Signed();
        if (a.nKind == CSqlNumericType::kUnknown)
            return NotANumber(a);
        while (AtPunct(L"*") || AtPunct(L"/") || AtPunct(L"%")) {
            wchar_t op = m_t[m_i++].strText[0];
            a = SqlNumericResult(op, a, Signed());
            if (a.nKind == CSqlNumericType::kUnknown)
                return Unknown();
        }
        return a;
    }
    CSqlNumericType Signed() {
        bool bSigned = false;
        for (; AtPunct(L"-") || AtPunct(L"+"); ++m_i)
            bSigned = true;
        CSqlNumericType r = Operand();
        if (bSigned)
            r.pOwnRow = nullptr; // a signed bit is a number; a signed date is no value at all
        return r;
    }
    CSqlNumericType Operand();
    CSqlNumericType Call(const CSqlToken& name, size_t nOpen, size_t nClose);

    // A typer of [nBegin, nEnd) one level further in; past kMaxNesting levels nothing is
    // typed, so that hostile nesting cannot exhaust the stack.
    static const int kMaxNesting = 64;
    CTyper Inner(size_t nBegin, size_t nEnd) const {
        return CTyper(m_t, nBegin, nEnd, m_names, m_nNesting + 1);
    }
    bool TooDeep() const { return m_nNesting >= kMaxNesting; }

    const CSqlTokens& m_t;
    size_t m_i, m_nEnd;
    const CSqlNameTypes& m_names;
    int m_nNesting;
};

CSqlNumericType CTyper::Operand() {
    Skip();
    if (m_i >= m_nEnd)
        return CSqlNumericType();
    const CSqlToken& t = m_t[m_i];
    if (t.nKind == SqlTok::kNumber) {
        ++m_i;
        return CSqlNumericType::OfLiteral(t.strText);
    }
    if (SqlIsPunct(t, L"(")) {
        size_t nClose = Close(m_i);
        if (TooDeep())
            return Unknown();
        CTyper inner = Inner(m_i + 1, nClose);
        m_i = nClose + 1;
        bool bSubquery = inner.Subquery();
        CSqlNumericType r = inner.Whole();
        // A subquery's names may be its own tables' (a view's, a derived table's), which the
        // names here do not see: only its number type is taken.
        if (bSubquery)
            r.pOwnRow = nullptr;
        return r;
    }
    if (!SqlIsNamePart(t) || SqlIs(t, L"CASE") || SqlIs(t, L"NULL")) {
        m_i = m_nEnd; // not an operand this reads
        return CSqlNumericType();
    }
    size_t nName = m_i++;
    if (t.nKind == SqlTok::kWord && AtPunct(L"(")) {
        size_t nOpen = m_i, nClose = Close(nOpen);
        m_i = nClose + 1;
        if (TooDeep())
            return Unknown();
        return Call(t, nOpen, nClose);
    }
    // name, or qualifier.name: the last two parts
    std::wstring qualifier, column = SqlNameOf(m_t[nName]);
    while (AtPunct(L".")) {
        ++m_i;
        Skip();
        if (m_i >= m_nEnd || !SqlIsNamePart(m_t[m_i]))
            return CSqlNumericType();
        qualifier = column;
        column = SqlNameOf(m_t[m_i++]);
    }
    CSqlDeclaredType type;
    if (column.empty() || !m_names || !m_names(qualifier, column, &type))
        return CSqlNumericType();
    CSqlNumericType r = CSqlNumericType::Of(type);
    r.bOwnByName = r.pOwnRow != nullptr;
    return r;
}

CSqlNumericType CTyper::Call(const CSqlToken& name, size_t nOpen, size_t nClose) {
    // The arguments [begin, end) between the commas at the call's own level, and where a
    // CAST's AS stands.
    // Kept on the stack (every call of every statement is typed): the first kKept of them.
    const size_t kKept = 8;
    std::pair<size_t, size_t> args[kKept];
    size_t nArgs = 0;
    auto add = [&](size_t nFrom, size_t nTo) {
        if (nArgs < kKept)
            args[nArgs] = {nFrom, nTo};
        ++nArgs;
    };
    size_t nAs = nClose, nArgument = nOpen + 1;
    int nDepth = 0;
    for (size_t k = nOpen; k < nClose; ++k) {
        if (SqlIsPunct(m_t[k], L"("))
            ++nDepth;
        else if (SqlIsPunct(m_t[k], L")"))
            --nDepth;
        else if (nDepth == 1 && SqlIsPunct(m_t[k], L",")) {
            add(nArgument, k);
            nArgument = k + 1;
        } else if (nDepth == 1 && nAs == nClose && SqlIs(m_t[k], L"AS"))
            nAs = k;
    }
    add(nArgument, nClose);
    const size_t nComma = args[0].second;
    auto typeText = [&](size_t nFrom, size_t nTo) {
        std::wstring s;
        for (size_t k = nFrom; k < nTo; ++k)
            if (!SqlIsBlank(m_t[k]))
                s += m_t[k].nKind == SqlTok::kQuoted ? SqlNameOf(m_t[k]) : m_t[k].strText;
        return s;
    };
    // The one token an argument is, if it is one (a literal, NULL); null otherwise.
    auto single = [&](const std::pair<size_t, size_t>& a) -> const CSqlToken* {
        size_t b = a.first, e = a.second;
        while (b < e && SqlIsBlank(m_t[b]))
            ++b;
        while (e > b && SqlIsBlank(m_t[e - 1]))
            --e;
        return e == b + 1 ? &m_t[b] : nullptr;
    };
    auto isText = [](const CSqlToken* p) {
        return p && (p->nKind == SqlTok::kString || p->nKind == SqlTok::kNString);
    };
    // The TRY_ forms have their target's type too (NULL where the conversion fails).
    if (SqlIsOneOf(name, {L"CAST", L"CONVERT", L"TRY_CAST", L"TRY_CONVERT"})) {
        const bool bCast = SqlIs(name, L"CAST") || SqlIs(name, L"TRY_CAST");
        std::wstring s = bCast ? typeText(nAs + 1, nClose) : typeText(nOpen + 1, nComma);
        return s.empty() ? CSqlNumericType() : CSqlNumericType::Of(SqlServerParseType(s));
    }
    // A quotient the operator pass already wrote names its type last.
    if (SqlIs(name, kSqlDivideFunction) || SqlIs(name, kSqlModuloFunction)) {
        size_t k = nClose;
        while (k > nOpen && (SqlIsBlank(m_t[k - 1]) || SqlIsPunct(m_t[k - 1], L")")))
            --k;
        if (k > nOpen && m_t[k - 1].nKind == SqlTok::kString)
            return CSqlNumericType::Of(SqlServerParseType(SqlStringValue(m_t[k - 1])));
        return CSqlNumericType();
    }
    // The clock's functions: datetime, datetime2 for the precise ones.
    if (SqlIsOneOf(name, {L"GETDATE", L"GETUTCDATE", L"SYSDATETIME", L"SYSUTCDATETIME"}))
        return SqlIs(name, L"GETDATE") || SqlIs(name, L"GETUTCDATE") ? Datetime() : Datetime2();
    // DATEADD(part, n, date): the type of a date with a time of day (datetime, datetime2,
    // smalldatetime); a date written as text is a datetime. DATEADD of a date or a time alone
    // is left as its value reads.
    if (SqlIs(name, L"DATEADD")) {
        if (nArgs != 3)
            return CSqlNumericType();
        if (isText(single(args[2])))
            return Datetime();
        CSqlNumericType date = Inner(args[2].first, args[2].second).Whole();
        return date.nKind == CSqlNumericType::kUnknown && date.pOwnRow &&
                       date.pOwnRow->nAdoType == adDBTimeStamp
                   ? date
                   : CSqlNumericType();
    }
    if (SqlIs(name, L"COUNT") || SqlIs(name, L"COUNT_BIG"))
        return Make(CSqlNumericType::kInteger, SqlIs(name, L"COUNT") ? 10 : 19, 0);
    // Functions whose result has their first argument's type; SUM and AVG widen decimals to 38
    // digits, AVG to at least 6 decimals.
    if (SqlIsOneOf(name, {L"ABS", L"ROUND", L"FLOOR", L"CEILING", L"ISNULL", L"COALESCE", L"MIN",
                          L"MAX", L"SUM", L"AVG"})) {
        CTyper argument = Inner(nOpen + 1, nComma);
        argument.Skip();
        if (SqlIs(name, L"SUM") || SqlIs(name, L"AVG"))
            argument.m_i += argument.m_i < nComma && (SqlIs(m_t[argument.m_i], L"DISTINCT") ||
                                                      SqlIs(m_t[argument.m_i], L"ALL"));
        CSqlNumericType r = argument.Whole();
        // Only what picks one of its values keeps a bit's or a date's own type: ISNULL its first
        // argument's; MIN and MAX a date's (SQL Server refuses them a bit); COALESCE the type
        // of its arguments where they all have it, text standing for a date and NULL for any
        // (otherwise a type of higher precedence may win). A sum is a number.
        if (SqlIsOneOf(name, {L"MIN", L"MAX"}) && r.pOwnRow &&
            r.pOwnRow->nClass != SqlTypeClass::kDate)
            r.pOwnRow = nullptr;
        if (SqlIs(name, L"COALESCE") && r.pOwnRow) {
            if (nArgs > kKept)
                r.pOwnRow = nullptr; // too many to read here: no type is claimed
            for (size_t a = 1; a < nArgs && r.pOwnRow; ++a) {
                const CSqlToken* p = single(args[a]);
                if ((p && SqlIs(*p, L"NULL")) ||
                    (isText(p) && r.pOwnRow->nClass == SqlTypeClass::kDate))
                    continue;
                CSqlNumericType other = Inner(args[a].first, args[a].second).Whole();
                if (other.pOwnRow != r.pOwnRow)
                    r.pOwnRow = nullptr;
            }
        } else if (!SqlIsOneOf(name, {L"ISNULL", L"COALESCE", L"MIN", L"MAX"})) {
            r.pOwnRow = nullptr;
        }
        r.bOwnPicked = r.pOwnRow && (r.bOwnPicked || SqlIsOneOf(name, {L"ISNULL", L"COALESCE"}));
        if ((SqlIs(name, L"SUM") || SqlIs(name, L"AVG")) && r.nKind == CSqlNumericType::kDecimal)
            r.nPrec = kMaxPrecision;
        if (SqlIs(name, L"AVG") && r.nKind == CSqlNumericType::kDecimal)
            r.nScale = std::max(r.nScale, kMinDivisionScale);
        return r;
    }
    if (SqlIsOneOf(name, {L"SQRT", L"SQUARE", L"EXP", L"LOG", L"LOG10", L"PI", L"RAND", L"SIN",
                          L"COS", L"TAN", L"COT", L"ASIN", L"ACOS", L"ATAN", L"ATN2"}))
        return Make(CSqlNumericType::kFloat, 53, 0);
    return CSqlNumericType();
}

// A double cut (not rounded) to nScale decimals, as SQL Server's decimal division cuts its
// quotient; first taken to the 15 digits a double holds, so that 0.3 / 0.1 is 3, not 2.999999.
double CutToScale(double d, int nScale) {
    if (!std::isfinite(d) || d == 0)
        return d;
    char sz[40];
    snprintf(sz, sizeof(sz), "%.14e", std::fabs(d));
    double dRounded = std::strtod(sz, nullptr);
    std::string digits = std::string(1, sz[0]) + std::string(sz + 2, 14);
    int nExponent = std::atoi(std::strchr(sz, 'e') + 1);
    int nKeep = nExponent + 1 + nScale; // digits before the cut
    if (nKeep >= static_cast<int>(digits.size()))
        return d < 0 ? -dRounded : dRounded;
    if (nKeep <= 0)
        return 0;
    std::string text =
        "0." + digits.substr(0, static_cast<size_t>(nKeep)) + "e" + std::to_string(nExponent + 1);
    double r = std::strtod(text.c_str(), nullptr);
    return d < 0 ? -r : r;
}

// An operand as a number; false for text that is none.
bool Operand(sqlite3_value* v, double* pd) {
    int t = sqlite3_value_type(v);
    if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
        *pd = sqlite3_value_double(v);
        return true;
    }
    if (t != SQLITE_TEXT)
        return false;
    std::string s(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                  static_cast<size_t>(sqlite3_value_bytes(v)));
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos || s.find_first_of("xXnN") != std::string::npos)
        return false;
    s = s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
    char* pEnd = nullptr;
    *pd = std::strtod(s.c_str(), &pEnd);
    return *pEnd == 0;
}

void Divide(sqlite3_context* ctx, sqlite3_value** argv, bool bModulo) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return;
    double a = 0, b = 0;
    if (!Operand(argv[0], &a) || !Operand(argv[1], &b)) {
        sqlite3_result_error(ctx, "Error converting data type varchar to numeric.", -1);
        return;
    }
    if (b == 0) {
        sqlite3_result_error(ctx, "Divide by zero error encountered.", -1);
        return;
    }
    const char* pszType = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
    CSqlDeclaredType type = SqlServerParseType(pszType ? pszType : "");
    double r = bModulo ? std::fmod(a, b) : a / b;
    if (type.pRow->nClass == SqlTypeClass::kExact)
        r = CutToScale(r, type.pRow->nAdoType == adCurrency ? 4 : type.nScale);
    sqlite3_result_double(ctx, r);
}

// zqk_average(avg(x), 'type'): SQLite's average as SQL Server's AVG gives it for the type of
// x: integers divide as integers (toward zero), decimals and money are cut to their scale.
void AverageFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return;
    double d = sqlite3_value_double(argv[0]);
    const char* pszType = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    CSqlDeclaredType type = SqlServerParseType(pszType ? pszType : "");
    if (type.pRow->nClass == SqlTypeClass::kInteger)
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(std::trunc(d)));
    else
        sqlite3_result_double(ctx,
                              CutToScale(d, type.pRow->nAdoType == adCurrency ? 4 : type.nScale));
}

void DivideFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Divide(ctx, argv, false);
}

void ModuloFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Divide(ctx, argv, true);
}

} // namespace

CSqlNumericType SqlExpressionType(const CSqlTokens& tokens, size_t nBegin, size_t nEnd,
                                  const CSqlNameTypes& names) {
    return CTyper(tokens, nBegin, nEnd, names).Whole();
}

int SqlRegisterArithmetic(sqlite3* pDb) {
    const CSqlPureFunction functions[] = {
        {"zqk_divide", 3, &DivideFn}, {"zqk_modulo", 3, &ModuloFn}, {"zqk_average", 2, &AverageFn}};
    return SqlRegisterPure(pDb, functions);
}

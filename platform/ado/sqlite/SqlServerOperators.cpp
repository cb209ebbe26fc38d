#include "platform/ado/sqlite/SqlServerOperators.h"

#include <algorithm>
#include <cwchar>

#include "platform/ado/sqlite/SqlServerArithmetic.h"
#include "platform/ado/sqlite/SqlServerOperatorTerms.h"

const wchar_t kSqlAddFunction[] = L"zqk_add";
const wchar_t kSqlSubtractFunction[] = L"zqk_subtract";
const wchar_t kSqlDivisorFunction[] = L"zqk_divisor";

namespace {

// The digits of an int, which its products, sums and differences are kept to.
const int kIntDigits = 10;

const wchar_t* const kBoundaryWords[] = {
    L"SELECT",     L"FROM",   L"WHERE",     L"GROUP",        L"ORDER",    L"BY",      L"HAVING",
    L"AS",         L"ON",     L"AND",       L"OR",           L"NOT",      L"WHEN",    L"THEN",
    L"ELSE",       L"END",    L"IS",        L"IN",           L"LIKE",     L"BETWEEN", L"ESCAPE",
    L"UNION",      L"ALL",    L"EXCEPT",    L"INTERSECT",    L"SET",      L"VALUES",  L"INTO",
    L"JOIN",       L"INNER",  L"LEFT",      L"RIGHT",        L"FULL",     L"OUTER",   L"CROSS",
    L"APPLY",      L"TOP",    L"DISTINCT",  L"PERCENT",      L"UPDATE",   L"DELETE",  L"INSERT",
    L"DEFAULT",    L"CHECK",  L"RETURN",    L"EXISTS",       L"ASC",      L"DESC",    L"LIMIT",
    L"OFFSET",     L"ROWS",   L"FETCH",     L"NEXT",         L"ONLY",     L"WITH",    L"OVER",
    L"PARTITION",  L"IF",     L"PRINT",     L"DECLARE",      L"CREATE",   L"TABLE",   L"ALTER",
    L"DROP",       L"ADD",    L"COLUMN",    L"CONSTRAINT",   L"PRIMARY",  L"KEY",     L"FOREIGN",
    L"REFERENCES", L"UNIQUE", L"CLUSTERED", L"NONCLUSTERED", L"IDENTITY", L"OUTPUT",  L"WHILE",
    L"BEGIN",      L"ANY",    L"SOME",      L"GLOB",         L"MATCH",    L"REGEXP",  L"ISNULL",
    L"NOTNULL"};

CSqlToken Synthetic(SqlTok nKind, const wchar_t* pszText) {
    return {nKind, pszText, std::wstring::npos};
}

bool IsOperandItem(const CSqlOperatorItem& it) {
    if (it.bGroup || it.bCase)
        return true;
    const CSqlToken& t = it.First();
    if (SqlIs(t, L"COLLATE"))
        return false;
    return t.nKind == SqlTok::kWord || t.nKind == SqlTok::kQuoted || t.nKind == SqlTok::kNumber ||
           t.nKind == SqlTok::kString || t.nKind == SqlTok::kNString;
}

// The index of the token that closes the group or CASE opened at i (or nEnd).
size_t Closing(const CSqlTokens& in, size_t i, size_t nEnd, bool bCase) {
    int nParens = 0, nCases = 0;
    for (size_t j = i; j < nEnd; ++j) {
        const CSqlToken& t = in[j];
        if (SqlIsPunct(t, L"("))
            ++nParens;
        else if (SqlIsPunct(t, L")")) {
            if (--nParens == 0 && !bCase)
                return j;
            if (nParens < 0)
                return bCase ? j : nEnd; // a CASE cut short by its group's end
        } else if (bCase && nParens == 0 && SqlIs(t, L"CASE"))
            ++nCases;
        else if (bCase && nParens == 0 && SqlIs(t, L"END") && --nCases == 0)
            return j;
    }
    return nEnd;
}

class Rewriter {
public:
    Rewriter(const CSqlTokens& in, const CSqlNameTypes& names) : m_in(in), m_names(names) {}
    bool m_bChanged = false;

    CSqlTokens Level(size_t lo, size_t hi) {
        std::vector<CSqlOperatorItem> items;
        for (size_t i = lo; i < hi;) {
            CSqlOperatorItem it;
            it.nFrom = i;
            const CSqlToken& t = m_in[i];
            bool bParen = SqlIsPunct(t, L"("), bCase = SqlIs(t, L"CASE");
            size_t j = bParen || bCase ? Closing(m_in, i, hi, bCase) : hi;
            if ((bParen || bCase) && j < hi && !(bCase && SqlIsPunct(m_in[j], L")"))) {
                it.tokens.push_back(t);
                CSqlTokens inner = Level(i + 1, j);
                it.tokens.insert(it.tokens.end(), inner.begin(), inner.end());
                it.tokens.push_back(m_in[j]);
                it.bGroup = bParen;
                it.bCase = bCase;
                i = j + 1;
            } else {
                it.tokens.push_back(t);
                ++i;
            }
            it.nTo = i;
            items.push_back(std::move(it));
        }
        CSqlTokens out;
        std::vector<CSqlOperatorItem> seg;
        bool bAfterOperand = false;
        bool bPrevWord = false; // the last item was a plain word: a group after it is a call
        for (size_t n = 0; n < items.size(); ++n) {
            CSqlOperatorItem& it = items[n];
            if (IsBlankItem(it)) {
                seg.push_back(std::move(it));
                continue;
            }
            bool bCall = it.bGroup && bPrevWord;
            bool bBoundary = !it.bGroup && !it.bCase &&
                             IsBoundary(it.First(), n + 1 < items.size() ? &items[n + 1] : nullptr);
            if (bBoundary) {
                Flush(&seg, &out);
                out.push_back(it.First());
                bAfterOperand = false;
                bPrevWord = false;
                continue;
            }
            if (IsOperandItem(it) && bAfterOperand && !bCall) {
                Flush(&seg, &out); // juxtaposed: a new expression ("a + b alias")
            }
            bool bStar = IsPunctItem(it, L"*") && !bAfterOperand;
            bAfterOperand = IsOperandItem(it) || bStar;
            bPrevWord = !it.bGroup && !it.bCase && it.First().nKind == SqlTok::kWord;
            seg.push_back(std::move(it));
        }
        Flush(&seg, &out);
        return out;
    }

private:
    // Tokens that end an expression at this level; LEFT, RIGHT and ISNULL (SQLite's postfix
    // operator, SQL Server's function) before "(" are functions.
    static bool IsBoundary(const CSqlToken& t, const CSqlOperatorItem* pNext) {
        if (t.nKind == SqlTok::kPunct)
            return !(t.strText == L"+" || t.strText == L"-" || t.strText == L"*" ||
                     t.strText == L"/" || t.strText == L"%" || t.strText == L"&" ||
                     t.strText == L"|" || t.strText == L"^" || t.strText == L"~" ||
                     t.strText == L".");
        if (t.nKind != SqlTok::kWord || !SqlIsOneOfNames(t, kBoundaryWords))
            return false;
        if ((SqlIs(t, L"LEFT") || SqlIs(t, L"RIGHT") || SqlIs(t, L"ISNULL")) && pNext &&
            pNext->bGroup)
            return false;
        return true;
    }

    static void Append(CSqlTokens* pOut, const std::vector<const CSqlOperatorItem*>& items) {
        for (const CSqlOperatorItem* p : items)
            pOut->insert(pOut->end(), p->tokens.begin(), p->tokens.end());
    }

    // A divisor that is a literal other than zero needs no check.
    static bool SafeDivisor(const std::vector<const CSqlOperatorItem*>& d) {
        for (const CSqlOperatorItem* p : d) {
            if (IsBlankItem(*p))
                continue;
            if (p->bGroup || p->bCase || p->First().nKind != SqlTok::kNumber)
                return false;
            return p->First().strText.find_first_not_of(L"0.") != std::wstring::npos &&
                   p->First().strText.find_first_of(L"xX") == std::wstring::npos;
        }
        return false;
    }

    // Whether term[0, nOperator) divided by d (or its remainder) is no integer's: then
    // m_division is the result's type. A side of unknown type counts as an int.
    bool Fractional(const std::vector<const CSqlOperatorItem*>& term, size_t nOperator,
                    const std::vector<const CSqlOperatorItem*>& d) {
        if (d.empty() || nOperator == 0)
            return false;
        CSqlNumericType a =
            SqlExpressionType(m_in, term[0]->nFrom, term[nOperator]->nFrom, m_names);
        CSqlNumericType b = SqlExpressionType(m_in, d.front()->nFrom, d.back()->nTo, m_names);
        if (!a.Fractional() && !b.Fractional())
            return false;
        CSqlNumericType nInt;
        nInt.nKind = CSqlNumericType::kInteger;
        nInt.nPrec = 10;
        wchar_t chOp = term[nOperator]->First().strText[0];
        m_division = SqlNumericResult(chOp, a.nKind == CSqlNumericType::kUnknown ? nInt : a,
                                      b.nKind == CSqlNumericType::kUnknown ? nInt : b);
        // SQL Server has no remainder of floats.
        m_strRefusal.clear();
        if (chOp == L'%' && m_division.nKind == CSqlNumericType::kFloat)
            m_strRefusal = L"The data types " + TypeName(a) + L" and " + TypeName(b) +
                           L" are incompatible in the modulo operator.";
        return true;
    }

    // A type as SQL Server's messages name it; what is not known is taken for an int.
    static std::wstring TypeName(const CSqlNumericType& t) {
        switch (t.nKind) {
        case CSqlNumericType::kFloat:
            return L"float";
        case CSqlNumericType::kDecimal:
            return L"numeric";
        case CSqlNumericType::kUnknown:
            return L"int";
        default:
            return t.Text();
        }
    }

    // The type SQL Server gives term[0, nOperator) times d where it is kept to that type here:
    // money times money (rounded to four decimals) and the int product of ints (which fails
    // beyond an int's range where SQLite would go on in 64 bits). Smaller integers are kept to
    // int's range too, where SQL Server keeps a smallint or tinyint product to its own type's.
    // Empty otherwise.
    const wchar_t* CheckedProduct(const std::vector<const CSqlOperatorItem*>& term,
                                  size_t nOperator, const std::vector<const CSqlOperatorItem*>& d) {
        if (d.empty())
            return nullptr;
        CSqlNumericType a =
            SqlExpressionType(m_in, term[0]->nFrom, term[nOperator]->nFrom, m_names);
        if (a.nKind != CSqlNumericType::kMoney && a.nKind != CSqlNumericType::kInteger)
            return nullptr;
        CSqlNumericType b = SqlExpressionType(m_in, d.front()->nFrom, d.back()->nTo, m_names);
        if (a.nKind == CSqlNumericType::kMoney && b.nKind == CSqlNumericType::kMoney)
            return L"'money'";
        if (a.nKind == CSqlNumericType::kInteger && b.nKind == CSqlNumericType::kInteger &&
            a.nPrec <= kIntDigits && b.nPrec <= kIntDigits)
            return L"'int'";
        return nullptr;
    }

    // A term with each divisor checked.
    CSqlTokens Term(const std::vector<const CSqlOperatorItem*>& term) {
        CSqlTokens out;
        for (size_t i = 0; i < term.size(); ++i) {
            const CSqlOperatorItem& it = *term[i];
            out.insert(out.end(), it.tokens.begin(), it.tokens.end());
            bool bProduct = IsPunctItem(it, L"*") && i > 0;
            if (!(IsPunctItem(it, L"/") || IsPunctItem(it, L"%") || bProduct))
                continue;
            size_t nOperatorAt = out.size() - 1;
            // The divisor (or factor): signs, then one operand with its call, dotted parts and
            // COLLATE.
            size_t j = i + 1;
            std::vector<const CSqlOperatorItem*> d;
            while (j < term.size() && (IsBlankItem(*term[j]) || IsPunctItem(*term[j], L"-") ||
                                       IsPunctItem(*term[j], L"+") || IsPunctItem(*term[j], L"~")))
                d.push_back(term[j++]);
            bool bWant = true;
            for (; j < term.size(); ++j) {
                const CSqlOperatorItem& x = *term[j];
                if (IsBlankItem(x)) {
                    d.push_back(&x);
                    continue;
                }
                bool bCall = x.bGroup && !d.empty() && !d.back()->bGroup &&
                             d.back()->First().nKind == SqlTok::kWord;
                if (bWant || bCall || IsPunctItem(x, L".")) {
                    d.push_back(&x);
                    bWant = IsPunctItem(x, L".");
                    continue;
                }
                break;
            }
            while (!d.empty() && IsBlankItem(*d.back()))
                --j, d.pop_back();
            size_t nBlank = 0;
            for (; nBlank < d.size() && IsBlankItem(*d[nBlank]); ++nBlank)
                out.insert(out.end(), d[nBlank]->tokens.begin(), d[nBlank]->tokens.end());
            d.erase(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(nBlank));
            if (bProduct) {
                // Money times money keeps four decimals, rounded; ints times ints stay ints.
                if (const wchar_t* pszType = CheckedProduct(term, i, d)) {
                    m_bChanged = true;
                    CSqlTokens call{Synthetic(SqlTok::kWord, L"zqk_convert"),
                                    Synthetic(SqlTok::kPunct, L"(")};
                    call.insert(call.end(), out.begin(), out.end());
                    Append(&call, d);
                    call.push_back(Synthetic(SqlTok::kPunct, L","));
                    call.push_back(Synthetic(SqlTok::kString, pszType));
                    call.push_back(Synthetic(SqlTok::kPunct, L")"));
                    out.swap(call);
                } else {
                    Append(&out, d);
                }
            } else if (Fractional(term, i, d)) {
                // The quotient of decimals, money or floats, with SQL Server's result type.
                m_bChanged = true;
                CSqlTokens call{Synthetic(SqlTok::kWord, IsPunctItem(it, L"/")
                                                             ? kSqlDivideFunction
                                                             : kSqlModuloFunction),
                                Synthetic(SqlTok::kPunct, L"(")};
                call.insert(call.end(), out.begin(),
                            out.begin() + static_cast<std::ptrdiff_t>(nOperatorAt));
                call.push_back(Synthetic(SqlTok::kPunct, L","));
                Append(&call, d);
                call.push_back(Synthetic(SqlTok::kPunct, L","));
                call.push_back(
                    {SqlTok::kString, SqlQuoteString(m_division.Text()), std::wstring::npos});
                call.push_back(Synthetic(SqlTok::kPunct, L")"));
                if (!m_strRefusal.empty())
                    call = {Synthetic(SqlTok::kWord, L"zqk_raise"),
                            Synthetic(SqlTok::kPunct, L"("),
                            {SqlTok::kString, SqlQuoteString(m_strRefusal), std::wstring::npos},
                            Synthetic(SqlTok::kPunct, L")")};
                out.swap(call);
            } else if (SafeDivisor(d)) {
                Append(&out, d);
            } else {
                m_bChanged = true;
                out.push_back(Synthetic(SqlTok::kWord, kSqlDivisorFunction));
                out.push_back(Synthetic(SqlTok::kPunct, L"("));
                Append(&out, d);
                out.push_back(Synthetic(SqlTok::kPunct, L")"));
            }
            i = j - 1;
        }
        return out;
    }

    void Flush(std::vector<CSqlOperatorItem>* pSeg, CSqlTokens* pOut) {
        std::vector<CSqlOperatorItem>& seg = *pSeg;
        // Blanks around the expression stay outside whatever it is rewritten into.
        size_t nLead = 0, nTrail = seg.size();
        while (nLead < seg.size() && IsBlankItem(seg[nLead]))
            ++nLead;
        while (nTrail > nLead && IsBlankItem(seg[nTrail - 1]))
            --nTrail;
        for (size_t i = 0; i < nLead; ++i)
            pOut->insert(pOut->end(), seg[i].tokens.begin(), seg[i].tokens.end());
        std::vector<CSqlOperatorItem> trailing(seg.begin() + static_cast<std::ptrdiff_t>(nTrail),
                                               seg.end());
        seg = std::vector<CSqlOperatorItem>(seg.begin() + static_cast<std::ptrdiff_t>(nLead),
                                            seg.begin() + static_cast<std::ptrdiff_t>(nTrail));
        FlushCore(&seg, pOut);
        for (const CSqlOperatorItem& it : trailing)
            pOut->insert(pOut->end(), it.tokens.begin(), it.tokens.end());
        pSeg->clear();
    }

    // A term that may be an integer: a number or what only the schema can tell.
    static bool IsIntOperand(TermType n) {
        return n == TermType::kNumber || n == TermType::kUnknown;
    }
    // The digits of a term that is an int or a smaller integer by the schema (a column, a
    // variable, a literal of up to ten digits, an int expression): ten for int, a literal's
    // own; 0 for anything else.
    int IntDigits(const std::vector<const CSqlOperatorItem*>& term) const {
        const CSqlOperatorItem* pFirst = nullptr;
        const CSqlOperatorItem* pLast = nullptr;
        for (const CSqlOperatorItem* p : term)
            if (!IsBlankItem(*p)) {
                pFirst = pFirst ? pFirst : p;
                pLast = p;
            }
        if (pFirst == nullptr)
            return 0;
        CSqlNumericType t = SqlExpressionType(m_in, pFirst->nFrom, pLast->nTo, m_names);
        return t.nKind == CSqlNumericType::kInteger && t.nPrec <= kIntDigits ? t.nPrec : 0;
    }

    void FlushCore(std::vector<CSqlOperatorItem>* pSeg, CSqlTokens* pOut) {
        std::vector<CSqlOperatorItem>& seg = *pSeg;
        // Terms between the binary additive operators.
        std::vector<std::vector<const CSqlOperatorItem*>> terms(1);
        std::vector<const CSqlOperatorItem*> ops;
        bool bWantOperand = true, bNeedsWork = false;
        for (const CSqlOperatorItem& it : seg) {
            if (IsBlankItem(it)) {
                terms.back().push_back(&it);
                continue;
            }
            bool bAdditive = IsPunctItem(it, L"+") || IsPunctItem(it, L"-") ||
                             IsPunctItem(it, L"&") || IsPunctItem(it, L"|") ||
                             IsPunctItem(it, L"^");
            if (!bWantOperand && bAdditive) {
                ops.push_back(&it);
                terms.emplace_back();
                bWantOperand = true;
                bNeedsWork |= IsPunctItem(it, L"+") || IsPunctItem(it, L"-");
                continue;
            }
            terms.back().push_back(&it);
            if (IsPunctItem(it, L"/") || IsPunctItem(it, L"%") ||
                (IsPunctItem(it, L"*") && !bWantOperand))
                bNeedsWork = true;
            bool bOperator = IsPunctItem(it, L"*") || IsPunctItem(it, L"/") ||
                             IsPunctItem(it, L"%") || IsPunctItem(it, L".") || bAdditive ||
                             IsPunctItem(it, L"~") || SqlIs(it.First(), L"COLLATE");
            bWantOperand =
                !it.bGroup && !it.bCase && bOperator && !(IsPunctItem(it, L"*") && bWantOperand);
        }
        if (!bNeedsWork) {
            for (const CSqlOperatorItem& it : seg)
                pOut->insert(pOut->end(), it.tokens.begin(), it.tokens.end());
            seg.clear();
            return;
        }
        // Leading and trailing blanks stay outside the rewritten expression. What a step
        // writes before the expression so far goes to front (last first), what it writes after
        // to acc: each step costs its own tokens, so a long sum is rewritten in linear time.
        CSqlTokens acc = Term(terms[0]), front;
        auto before = [&front](std::initializer_list<CSqlToken> tokens) {
            for (auto it = tokens.end(); it != tokens.begin();)
                front.push_back(*--it);
        };
        auto after = [&acc](const CSqlTokens& tokens) {
            acc.insert(acc.end(), tokens.begin(), tokens.end());
        };
        TermType nAcc = SqlTermType(terms[0]);
        bool bPlain = true; // acc is still the source's own text
        // The digits of acc when it is an int or smaller integer by the schema (0 when not, -1
        // before it is read): a sum or difference with another is kept to int's range as SQL
        // Server keeps it, where it could leave it. Read only while it may be one.
        int nAccDigits = -1;
        // The largest magnitude acc can have by those digits, summed term by term: a sum that
        // cannot leave int's range needs no check, however many terms it has.
        const unsigned long long kIntMost = 2147483647ull;
        auto most = [](int nDigits) {
            unsigned long long n = 0;
            for (int i = 0; i < nDigits; ++i)
                n = n * 10 + 9;
            return n;
        };
        unsigned long long nAccMost = 0;
        for (size_t k = 0; k < ops.size(); ++k) {
            CSqlTokens term = Term(terms[k + 1]);
            TermType nTerm = SqlTermType(terms[k + 1]);
            bool bPlus = IsPunctItem(*ops[k], L"+"), bMinus = IsPunctItem(*ops[k], L"-");
            bool bStrings = (nAcc == TermType::kString || nAcc == TermType::kNull) &&
                            (nTerm == TermType::kString || nTerm == TermType::kNull) &&
                            !(nAcc == TermType::kNull && nTerm == TermType::kNull);
            bool bNumbers = nAcc == TermType::kNumber && nTerm == TermType::kNumber;
            int nTermDigits = 0;
            if ((bPlus || bMinus) && nAccDigits != 0 && IsIntOperand(nAcc) && IsIntOperand(nTerm)) {
                if (nAccDigits < 0) {
                    nAccDigits = IntDigits(terms[0]);
                    nAccMost = most(nAccDigits);
                }
                nTermDigits = nAccDigits > 0 ? IntDigits(terms[k + 1]) : 0;
            }
            // Up to ten digits a side, so the sum of the largest fits an unsigned long long.
            const unsigned long long nSumMost = nAccMost + most(nTermDigits);
            const bool bIntSum = nTermDigits > 0 && nSumMost > kIntMost;
            nAccDigits = nTermDigits == 0 ? 0 : kIntDigits;
            nAccMost = nTermDigits == 0 ? 0 : bIntSum ? kIntMost + 1 : nSumMost;
            if (bIntSum) {
                before({Synthetic(SqlTok::kWord, L"zqk_convert"), Synthetic(SqlTok::kPunct, L"(")});
                after(ops[k]->tokens);
                after(term);
                after({Synthetic(SqlTok::kPunct, L","), Synthetic(SqlTok::kString, L"'int'"),
                       Synthetic(SqlTok::kPunct, L")")});
                nAcc = TermType::kNumber;
                bPlain = false;
            } else if (bPlus && bStrings) {
                before({Synthetic(SqlTok::kPunct, L"(")});
                after({Synthetic(SqlTok::kPunct, L"||")});
                after(term);
                after({Synthetic(SqlTok::kPunct, L")")});
                nAcc = TermType::kString;
                bPlain = false;
            } else if ((bPlus || bMinus) && !bNumbers) {
                before({Synthetic(SqlTok::kWord, bPlus ? kSqlAddFunction : kSqlSubtractFunction),
                        Synthetic(SqlTok::kPunct, L"(")});
                after({Synthetic(SqlTok::kPunct, L",")});
                after(term);
                after({Synthetic(SqlTok::kPunct, L")")});
                nAcc = TermType::kUnknown;
                bPlain = false;
            } else {
                // Same precedence in SQL Server, not in SQLite: once rewritten, keep the order.
                if (!bPlain) {
                    before({Synthetic(SqlTok::kPunct, L"(")});
                    after({Synthetic(SqlTok::kPunct, L")")});
                }
                after(ops[k]->tokens);
                after(term);
                nAcc = bNumbers ? TermType::kNumber : TermType::kUnknown;
            }
        }
        pOut->insert(pOut->end(), front.rbegin(), front.rend());
        m_bChanged |= !bPlain;
        pOut->insert(pOut->end(), acc.begin(), acc.end());
        seg.clear();
    }

    const CSqlTokens& m_in;
    const CSqlNameTypes& m_names;
    CSqlNumericType m_division; // the type of the last quotient Fractional saw
    std::wstring m_strRefusal;  // ... and SQL Server's error for it, if it has one
};

} // namespace

bool SqlRewriteOperators(const CSqlTokens& source, size_t nSourceBegin, size_t nSourceEnd,
                         const CSqlNameTypes& names, CSqlTokens* pOut) {
    // One look at the tokens for arithmetic and for ~: most statements have neither.
    bool bAny = false, bTilde = false;
    const CSqlToken* pPrev = nullptr; // a '*' after these is a star, not a product
    for (size_t i = nSourceBegin; i < nSourceEnd && !(bAny && bTilde); ++i) {
        const CSqlToken& t = source[i];
        if (t.nKind == SqlTok::kPunct) {
            if (t.strText[0] == L'~')
                bTilde = true;
            else if (!bAny)
                bAny = SqlIsPunct(t, L"+") || SqlIsPunct(t, L"-") || SqlIsPunct(t, L"/") ||
                       SqlIsPunct(t, L"%") ||
                       (SqlIsPunct(t, L"*") && pPrev && !SqlIsPunct(*pPrev, L"(") &&
                        !SqlIsPunct(*pPrev, L",") && !SqlIsPunct(*pPrev, L".") &&
                        !SqlIsOneOf(*pPrev, {L"SELECT", L"DISTINCT", L"ALL"}));
        }
        if (!SqlIsBlank(t))
            pPrev = &t;
    }
    CSqlTokens bitNot;
    const bool bBitNot =
        bTilde && SqlRewriteBitNot(source, nSourceBegin, nSourceEnd, names, &bitNot);
    const CSqlTokens& tokens = bBitNot ? bitNot : source;
    const size_t nBegin = bBitNot ? 0 : nSourceBegin, nEnd = bBitNot ? bitNot.size() : nSourceEnd;
    if (!bAny) {
        if (bBitNot)
            pOut->swap(bitNot);
        return bBitNot;
    }
    Rewriter r(tokens, names);
    CSqlTokens out = r.Level(nBegin, nEnd);
    if (!r.m_bChanged) {
        if (bBitNot)
            pOut->swap(bitNot);
        return bBitNot;
    }
    pOut->swap(out);
    return true;
}

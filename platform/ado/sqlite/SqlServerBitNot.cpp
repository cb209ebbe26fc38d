// SQL Server's ~ of a bit: the other bit, where SQLite's ~ of 0 is -1.
#include "platform/ado/sqlite/SqlServerOperators.h"

namespace {

// Operands nested deeper than this are not looked into (SQLite's parser refuses far less
// deep nesting than a stack would).
const int kMaxNesting = 32;

// Whether the operand starting at token i (significant) is a bit by its declaration: a bit
// column or variable, CAST / CONVERT to bit, ISNULL of a bit (its first argument's type), ~ of
// a bit, or one of these in parentheses; *pnEnd is where the operand ends (past the blanks
// after it).
bool BitOperand(const CSqlTokens& in, size_t i, size_t nEnd, const CSqlNameTypes& names,
                size_t* pnEnd, int nNesting = 0) {
    CSqlCursor c(in, i, nEnd);
    if (c.AtEnd() || nNesting > kMaxNesting)
        return false;
    if (c.IsPunct(L"~")) {
        c.Advance();
        return BitOperand(in, c.Pos(), nEnd, names, pnEnd, nNesting + 1);
    }
    if (c.IsPunct(L"(") || SqlIs(c.Peek(), L"ISNULL")) {
        const bool bIsNull = !c.IsPunct(L"(");
        if (bIsNull)
            c.Advance();
        const size_t nOpen = c.Pos();
        if (!c.IsPunct(L"(") || !c.SkipGroup())
            return false;
        *pnEnd = c.Pos();
        size_t nClose = *pnEnd; // the group's ")"
        while (SqlIsBlank(in[nClose - 1]))
            --nClose;
        --nClose;
        // The group's content, or ISNULL's first argument, must be one bit operand.
        CSqlCursor inner(in, nOpen + 1, nClose);
        size_t nInnerEnd = 0;
        if (!BitOperand(in, inner.Pos(), nClose, names, &nInnerEnd, nNesting + 1))
            return false;
        CSqlCursor after(in, nInnerEnd, nClose + 1);
        return bIsNull ? after.IsPunct(L",") : after.Pos() == nClose;
    }
    if (SqlIs(c.Peek(), L"CAST") || SqlIs(c.Peek(), L"CONVERT")) {
        const bool bCast = SqlIs(c.Peek(), L"CAST");
        c.Advance();
        const size_t nOpen = c.Pos();
        if (!c.IsPunct(L"(") || !c.SkipGroup())
            return false;
        *pnEnd = c.Pos();
        // The type: after CAST's AS at the group's level, or CONVERT's first argument.
        int nDepth = 0;
        for (size_t k = nOpen; k < *pnEnd; ++k) {
            nDepth += SqlIsPunct(in[k], L"(") ? 1 : SqlIsPunct(in[k], L")") ? -1 : 0;
            bool bTypeNext = bCast ? nDepth == 1 && SqlIs(in[k], L"AS") : k == nOpen;
            if (!bTypeNext)
                continue;
            CSqlCursor type(in, k + 1, *pnEnd);
            return !type.AtEnd() && SqlIsNamePart(type.Peek()) &&
                   SqlEqualNoCase(SqlNameOf(type.Peek()), L"bit");
        }
        return false;
    }
    if (!SqlIsNamePart(c.Peek()) || SqlIs(c.Peek(), L"NULL"))
        return false;
    std::wstring strQualifier, strName = SqlNameOf(c.Peek());
    c.Advance();
    if (c.IsPunct(L".")) {
        c.Advance();
        if (c.AtEnd() || !SqlIsNamePart(c.Peek()))
            return false;
        strQualifier.swap(strName);
        strName = SqlNameOf(c.Peek());
        c.Advance();
    }
    if (c.IsPunct(L".") || c.IsPunct(L"("))
        return false; // a longer name or a call
    *pnEnd = c.Pos();
    CSqlDeclaredType type;
    return names(strQualifier, strName, &type) && type.pRow &&
           type.pRow->nClass == SqlTypeClass::kBit;
}

} // namespace

bool SqlRewriteBitNot(const CSqlTokens& in, size_t nBegin, size_t nEnd, const CSqlNameTypes& names,
                      CSqlTokens* pOut) {
    CSqlTokens out;
    bool bChanged = false;
    for (size_t i = nBegin; i < nEnd; ++i) {
        size_t nOperand = i + 1, nOperandEnd = 0;
        while (nOperand < nEnd && SqlIsBlank(in[nOperand]))
            ++nOperand;
        if (!SqlIsPunct(in[i], L"~") || !BitOperand(in, nOperand, nEnd, names, &nOperandEnd)) {
            out.push_back(in[i]);
            continue;
        }
        while (nOperandEnd > nOperand && SqlIsBlank(in[nOperandEnd - 1]))
            --nOperandEnd;
        // The operand's own ~ of bits first (~~b is b).
        CSqlTokens operand;
        if (!SqlRewriteBitNot(in, nOperand, nOperandEnd, names, &operand))
            operand.assign(in.begin() + static_cast<std::ptrdiff_t>(nOperand),
                           in.begin() + static_cast<std::ptrdiff_t>(nOperandEnd));
        out.push_back(CSqlToken{SqlTok::kPunct, L"(", std::wstring::npos});
        out.insert(out.end(), operand.begin(), operand.end());
        out.push_back(CSqlToken{SqlTok::kPunct, L"=", std::wstring::npos});
        out.push_back(CSqlToken{SqlTok::kNumber, L"0", std::wstring::npos});
        out.push_back(CSqlToken{SqlTok::kPunct, L")", std::wstring::npos});
        bChanged = true;
        i = nOperandEnd - 1;
    }
    if (bChanged)
        pOut->swap(out);
    return bChanged;
}

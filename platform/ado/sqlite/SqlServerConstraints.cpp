#include "platform/ado/sqlite/SqlServerConstraints.h"

#include <cwchar>

#include "platform/ado/sqlite/SqlServerTable.h"
#include "platform/ado/sqlite/SqlTokens.h"

namespace {

const wchar_t kUniqueNull[] = L"unique_null:";

bool Same(const std::wstring& a, const std::wstring& b) {
    return wcscasecmp(a.c_str(), b.c_str()) == 0;
}

// A stable hash of a constraint's table, kind and parts: generated names stay the same each
// time the definition is read.
unsigned long long Hash(const std::wstring& s) {
    unsigned long long h = 1469598103934665603ULL;
    for (wchar_t c : SqlLower(s)) {
        h ^= static_cast<unsigned long long>(c);
        h *= 1099511628211ULL;
    }
    return h;
}

std::wstring Hex(unsigned long long n, int nDigits) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring s(static_cast<size_t>(nDigits), L'0');
    for (int i = nDigits - 1; i >= 0; --i, n >>= 4)
        s[static_cast<size_t>(i)] = kDigits[n & 15];
    return s;
}

std::wstring Cut(const std::wstring& s, size_t n) {
    return s.substr(0, n);
}

// SQL Server's names for constraints declared without one: PK__Table__<16 hex digits>,
// CK__Table__Colum__<8 hex digits>, DF__Table__Colum__<8 hex digits>.
std::wstring Generated(const std::wstring& strTable, const CSqlConstraint& c) {
    // Another owner's table ("sa.T") is named by its own name.
    const std::wstring table = strTable.substr(strTable.rfind(L'.') + 1);
    std::wstring key = strTable + L"|" + std::to_wstring(c.nKind) + L"|" + c.strCheck;
    for (const std::wstring& col : c.columns)
        key += L"|" + col;
    unsigned long long h = Hash(key);
    switch (c.nKind) {
    case CSqlConstraint::kPrimaryKey:
        return L"PK__" + Cut(table, 8) + L"__" + Hex(h, 16);
    case CSqlConstraint::kUnique:
        return L"UQ__" + Cut(table, 8) + L"__" + Hex(h, 16);
    default: {
        std::wstring s = c.nKind == CSqlConstraint::kCheck     ? L"CK__"
                         : c.nKind == CSqlConstraint::kDefault ? L"DF__"
                                                               : L"FK__";
        s += Cut(table, 9) + L"__";
        if (c.columns.size() == 1)
            s += Cut(c.columns[0], 5) + L"__";
        return s + Hex(h, 8);
    }
    }
}

// Reads the items of a stored CREATE TABLE; one reader serves one definition on one thread.
class CConstraintReader {
public:
    CConstraintReader(const std::wstring& strSql, const CSqlTokens& tokens)
        : m_sql(strSql), m_t(tokens) {}

    void Read(std::vector<CSqlConstraint>* pOut) {
        CSqlCursor cursor(m_t, 0, m_t.size());
        while (!cursor.AtEnd() && !cursor.IsPunct(L"("))
            cursor.Advance();
        std::vector<std::wstring> columns;
        for (const auto& item : SqlListItems(cursor))
            Item(item.first, item.second, &columns, pOut);
        // A CHECK's columns are the table's columns its expression names.
        for (CSqlConstraint& c : *pOut) {
            if (c.nKind != CSqlConstraint::kCheck || !c.columns.empty())
                continue;
            for (const std::wstring& col : columns)
                if (Names(c, col))
                    c.columns.push_back(col);
        }
    }

private:
    // The ")" that closes the "(" at i.
    size_t Close(size_t i) const {
        int nDepth = 0;
        for (; i < m_t.size(); ++i) {
            if (SqlIsPunct(m_t[i], L"("))
                ++nDepth;
            else if (SqlIsPunct(m_t[i], L")") && --nDepth == 0)
                return i;
        }
        return m_t.size();
    }

    // The names of a list "(a ASC, b)", the cursor after it.
    std::vector<std::wstring> List(CSqlCursor& c) const {
        std::vector<std::wstring> names;
        for (const auto& item : SqlListItems(c)) {
            CSqlCursor name(m_t, item.first, item.second);
            if (!name.AtEnd() && SqlIsNamePart(name.Peek()))
                names.push_back(SqlNameOf(name.Peek()));
        }
        return names;
    }

    // The source text inside the group at the cursor, the cursor after it.
    std::wstring Inside(CSqlCursor& c) const {
        size_t nOpen = c.Pos(), nClose = Close(nOpen);
        c.Seek(nClose + 1);
        size_t b = nOpen + 1, e = nClose;
        while (b < e && SqlIsBlank(m_t[b]))
            ++b;
        while (e > b && SqlIsBlank(m_t[e - 1]))
            --e;
        if (b >= e)
            return std::wstring();
        // Tokens lie end to end, so the next one's start ends the last (a national literal's
        // token text leaves out its N).
        size_t nFrom = m_t[b].nOffset;
        size_t nTo = e < m_t.size() ? m_t[e].nOffset : m_sql.size();
        return m_sql.substr(nFrom, nTo - nFrom);
    }

    bool Names(const CSqlConstraint& c, const std::wstring& strColumn) const {
        CSqlTokens tokens;
        if (!SqlTokenize(c.strCheck, &tokens))
            return false;
        for (const CSqlToken& t : tokens)
            if ((t.nKind == SqlTok::kWord || t.nKind == SqlTok::kQuoted) &&
                Same(SqlNameOf(t), strColumn))
                return true;
        return false;
    }

    // One constraint from its kind keyword; a column's own names that column.
    bool Constraint(CSqlCursor& c, const std::wstring& strName, const std::wstring& strColumn,
                    std::vector<CSqlConstraint>* pOut) const {
        CSqlConstraint k;
        k.strName = strName;
        if (c.Accept(L"PRIMARY")) {
            c.Accept(L"KEY");
            k.nKind = CSqlConstraint::kPrimaryKey;
        } else if (c.Accept(L"UNIQUE")) {
            k.nKind = CSqlConstraint::kUnique;
        } else if (c.IsWord(L"CHECK") && c.PeekNext() && SqlIsPunct(*c.PeekNext(), L"(")) {
            c.Advance();
            k.nKind = CSqlConstraint::kCheck;
            k.strCheck = Inside(c);
            if (!strColumn.empty())
                k.columns.push_back(strColumn);
        } else if (c.Accept(L"DEFAULT")) {
            // Only a column's own; the bridge stores its value in parentheses.
            k.nKind = CSqlConstraint::kDefault;
            if (c.IsPunct(L"("))
                k.strCheck = Inside(c);
            else if (!c.AtEnd())
                c.Step();
            if (strColumn.empty())
                return true;
            k.columns.push_back(strColumn);
        } else if (c.Accept(L"FOREIGN") || c.IsWord(L"REFERENCES")) {
            k.nKind = CSqlConstraint::kForeignKey;
            c.Accept(L"KEY");
        } else {
            return false;
        }
        if (k.nKind == CSqlConstraint::kPrimaryKey || k.nKind == CSqlConstraint::kUnique ||
            k.nKind == CSqlConstraint::kForeignKey) {
            k.columns = strColumn.empty() ? List(c) : std::vector<std::wstring>{strColumn};
        }
        if (k.nKind == CSqlConstraint::kForeignKey) {
            if (!c.Accept(L"REFERENCES") || c.AtEnd())
                return true;
            // "schema"."table": the last part names it.
            while (!c.AtEnd() && SqlIsNamePart(c.Peek())) {
                k.strReferenced = SqlNameOf(c.Peek());
                c.Advance();
                if (!c.AcceptPunct(L"."))
                    break;
            }
            k.referencedColumns = List(c);
        }
        if (k.strName.compare(0, wcslen(kSqlRulePrefix), kSqlRulePrefix) != 0)
            pOut->push_back(k);
        return true;
    }

    void Item(size_t nBegin, size_t nEnd, std::vector<std::wstring>* pColumns,
              std::vector<CSqlConstraint>* pOut) const {
        CSqlCursor c(m_t, nBegin, nEnd);
        if (c.AtEnd())
            return;
        std::wstring column;
        bool bTable =
            SqlIsOneOf(c.Peek(), {L"CONSTRAINT", L"PRIMARY", L"UNIQUE", L"FOREIGN"}) ||
            (SqlIs(c.Peek(), L"CHECK") && c.PeekNext() && SqlIsPunct(*c.PeekNext(), L"("));
        if (!bTable) {
            column = SqlNameOf(c.Peek());
            pColumns->push_back(column);
            c.Advance();
        }
        std::wstring name;
        while (!c.AtEnd()) {
            if (c.Accept(L"CONSTRAINT")) {
                if (!c.AtEnd())
                    name = SqlNameOf(c.Peek());
                c.Advance();
                continue;
            }
            bool bConstraint = Constraint(c, name, column, pOut);
            name.clear(); // a name belongs to the constraint right after it
            if (!bConstraint)
                c.Step();
        }
    }

    const std::wstring& m_sql;
    const CSqlTokens& m_t;
};

} // namespace

std::vector<std::pair<size_t, size_t>> SqlListItems(CSqlCursor& c) {
    std::vector<std::pair<size_t, size_t>> items;
    if (!c.IsPunct(L"("))
        return items;
    size_t nStart = c.Pos() + 1;
    c.Advance();
    while (!c.AtEnd() && !c.IsPunct(L")")) {
        if (c.IsPunct(L",")) {
            items.push_back({nStart, c.Pos()});
            nStart = c.Pos() + 1;
        }
        c.Step();
    }
    items.push_back({nStart, c.Pos()});
    c.Advance();
    return items;
}

bool SqlSameNames(const std::vector<std::wstring>& a, const std::vector<std::wstring>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!Same(a[i], b[i]))
            return false;
    return true;
}

std::vector<CSqlConstraint> SqlTableConstraints(const std::wstring& strTable,
                                                const std::wstring& strSql) {
    std::vector<CSqlConstraint> constraints;
    CSqlTokens tokens;
    if (!SqlTokenize(strSql, &tokens))
        return constraints;
    CConstraintReader(strSql, tokens).Read(&constraints);
    for (CSqlConstraint& c : constraints)
        if (c.strName.empty())
            c.strName = Generated(strTable, c);
    return constraints;
}

std::wstring SqlUniqueNullNameOfIndex(const std::wstring& strIndex) {
    return std::wstring(kSqlRulePrefix) + kUniqueNull + strIndex;
}

std::wstring SqlUniqueNullName(const std::wstring& strTable,
                               const std::vector<std::wstring>& columns) {
    std::wstring name = std::wstring(kSqlRulePrefix) + kUniqueNull + strTable + L".";
    for (size_t i = 0; i < columns.size(); ++i)
        name += (i ? L"," : L"") + columns[i];
    return name;
}

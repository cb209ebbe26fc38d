// The statements of a batch's own state: SET options, transactions, DECLARE and assignments
// to variables.
#include "platform/ado/sqlite/SqlServerConvert.h"
#include "platform/ado/sqlite/SqlServerStatements.h"

namespace {

const wchar_t kNotSupported[] = L" is not supported by the embedded database.";

// SET options and the values the embedded database behaves as.
struct COption {
    const wchar_t* pszName;
    const wchar_t* pszValue; // the value that matches; null: any value is harmless here
};
const COption kOptions[] = {
    {L"ANSI_NULLS", L"ON"},
    {L"QUOTED_IDENTIFIER", L"ON"},
    {L"ANSI_PADDING", L"ON"},
    {L"ANSI_WARNINGS", L"ON"},
    {L"CONCAT_NULL_YIELDS_NULL", L"ON"},
    {L"NUMERIC_ROUNDABORT", L"OFF"},
    {L"IMPLICIT_TRANSACTIONS", L"OFF"},
    {L"NOEXEC", L"OFF"},
    {L"FMTONLY", L"OFF"},
    {L"PARSEONLY", L"OFF"},
    {L"ARITHABORT", nullptr},
    {L"ARITHIGNORE", nullptr},
    {L"NOCOUNT", nullptr},
    {L"XACT_ABORT", nullptr},
    {L"ANSI_NULL_DFLT_ON", nullptr},
    {L"ANSI_NULL_DFLT_OFF", nullptr},
    {L"ANSI_DEFAULTS", nullptr},
    {L"CURSOR_CLOSE_ON_COMMIT", nullptr},
    {L"DEADLOCK_PRIORITY", nullptr},
    {L"LOCK_TIMEOUT", nullptr},
    {L"STATISTICS", nullptr},
    {L"SHOWPLAN_ALL", L"OFF"},
    {L"SHOWPLAN_TEXT", L"OFF"},
    {L"SHOWPLAN_XML", L"OFF"},
    {L"TEXTSIZE", nullptr},
    {L"CONTEXT_INFO", nullptr},
    {L"QUERY_GOVERNOR_COST_LIMIT", nullptr},
    {L"FORCEPLAN", L"OFF"},
};

} // namespace

bool CSqlStatementTranslator::Set(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError) {
    if (c.AtEnd())
        return Generic(pOut, pError);
    if (c.Accept(L"IDENTITY_INSERT")) {
        CSqlObjectName name;
        if (!NameAt(c, &name, pError))
            return false;
        bool bOn = c.IsWord(L"ON");
        if (!(c.Accept(L"ON") || c.Accept(L"OFF")) || !c.AtEnd())
            return Generic(pOut, pError);
        const CSqlTableDef* pDef = nullptr;
        if (!LoadTable(name, &pDef)) {
            pError->nNumber = 208;
            pError->strText = L"Invalid object name '" + name.strName + L"'.";
            return false;
        }
        if (!pDef->Identity()) {
            pError->nNumber = 8106;
            pError->strText = L"Table '" + name.strName +
                              L"' does not have the identity property. Cannot perform SET "
                              L"operation.";
            return false;
        }
        pOut->nAction =
            bOn ? CSqlTranslation::kIdentityInsertOn : CSqlTranslation::kIdentityInsertOff;
        pOut->strSchema = name.strSchema;
        pOut->strTable = pDef->name.strName;
        return true;
    }
    if (c.IsWord(L"TRANSACTION") || c.IsWord(L"DATEFORMAT") || c.IsWord(L"LANGUAGE") ||
        c.IsWord(L"DATEFIRST")) {
        // SQLite's transactions are serializable, stricter than any level asked for; dates are
        // read in the ISO forms only, whatever the language.
        return true;
    }
    if (c.IsWord(L"ROWCOUNT")) {
        c.Advance();
        if (!c.AtEnd() && c.Peek().strText == L"0")
            return true;
        *pError = SqlRefusal(L"SET ROWCOUNT with a limit" + std::wstring(kNotSupported));
        return false;
    }
    // SET option[, option...] ON|OFF
    std::vector<const CSqlToken*> names;
    while (!c.AtEnd() && c.Peek().nKind == SqlTok::kWord && !c.IsWord(L"ON") && !c.IsWord(L"OFF")) {
        names.push_back(&c.Peek());
        c.Advance();
        if (!c.AcceptPunct(L","))
            break;
    }
    std::wstring value = c.AtEnd() ? L"" : c.Peek().strText;
    for (const CSqlToken* p : names) {
        const COption* pOption = nullptr;
        for (const COption& o : kOptions)
            if (SqlIs(*p, o.pszName))
                pOption = &o;
        if (pOption == nullptr)
            return Generic(pOut, pError); // SQLite's own, or a mistake SQLite reports
        if (pOption->pszValue && !SqlEqualNoCase(value, pOption->pszValue)) {
            *pError =
                SqlRefusal(L"SET " + std::wstring(pOption->pszName) + L" " + value + kNotSupported);
            return false;
        }
        if (SqlIs(*p, L"XACT_ABORT")) // the provider keeps it for the connection
            pOut->nAction = SqlEqualNoCase(value, L"ON") ? CSqlTranslation::kXactAbortOn
                                                         : CSqlTranslation::kXactAbortOff;
    }
    return true;
}

bool CSqlStatementTranslator::Transaction(CSqlCursor& c, CSqlTranslation* pOut,
                                          CSqlBridgeError* pError) {
    const CSqlToken& verb = c.Peek();
    c.Advance();
    bool bTran = c.Accept(L"TRAN") || c.Accept(L"TRANSACTION") || c.Accept(L"WORK");
    std::wstring name;
    if (!c.AtEnd() && SqlIsNamePart(c.Peek())) {
        name = SqlNameOf(c.Peek());
        c.Advance();
    }
    if (!c.AtEnd() || (!bTran && SqlIs(verb, L"SAVE")) ||
        (!bTran && SqlIs(verb, L"BEGIN") && !name.empty()))
        return Generic(pOut, pError); // SQLite's own BEGIN DEFERRED and the like
    // Nested BEGIN TRAN only counts; the provider keeps @@TRANCOUNT.
    pOut->nAction = SqlIs(verb, L"BEGIN")    ? CSqlTranslation::kBeginTran
                    : SqlIs(verb, L"COMMIT") ? CSqlTranslation::kCommitTran
                    : SqlIs(verb, L"SAVE")   ? CSqlTranslation::kSaveTran
                                             : CSqlTranslation::kRollbackTran;
    pOut->strTable = name;
    return true;
}

bool CSqlStatementTranslator::Declare(CSqlCursor& c, CSqlTranslation* pOut,
                                      CSqlBridgeError* pError) {
    // DECLARE @a [AS] type [= value] [, ...]
    pOut->nAction = CSqlTranslation::kDeclare;
    while (!c.AtEnd()) {
        if (c.Peek().nKind != SqlTok::kWord || c.Peek().strText[0] != L'@')
            return Generic(pOut, pError);
        CSqlVariable v;
        v.strName = SqlLower(c.Peek().strText);
        c.Advance();
        c.Accept(L"AS");
        if (c.IsWord(L"TABLE")) {
            *pError = SqlRefusal(L"Table variables are not supported by the embedded database; "
                                 L"#temporary tables are.");
            return false;
        }
        size_t nType = c.Pos();
        while (!c.AtEnd() && !c.IsPunct(L"=") && !c.IsPunct(L","))
            c.Step();
        for (size_t i = nType; i < c.Pos(); ++i)
            v.strType += m_t[i].nKind == SqlTok::kQuoted ? SqlNameOf(m_t[i]) : m_t[i].strText;
        if (c.AcceptPunct(L"=")) {
            size_t nValue = c.Pos(), nStop = ItemEnd(c.Pos());
            std::wstring value;
            if (!m_rewriter.Rewrite(nValue, nStop, SqlRewriteScope::kExpression, &value, pError))
                return false;
            std::wstring rounded, inexact;
            if (!SqlExactLiteral(SqlServerParseType(v.strType), value, &rounded, &inexact)) {
                *pError = CSqlBridgeError{inexact};
                return false;
            }
            pOut->statements.push_back(L"SELECT " + (rounded.empty() ? value : rounded));
            v.bInitialised = true;
            c.Seek(nStop);
        }
        pOut->variables.push_back(v);
        if (!c.AcceptPunct(L","))
            break;
    }
    return c.AtEnd() ? true : Generic(pOut, pError);
}

bool CSqlStatementTranslator::AssignSet(CSqlCursor& c, CSqlTranslation* pOut,
                                        CSqlBridgeError* pError) {
    // SET @a = value, SET @a += value
    CSqlVariable v;
    v.strName = SqlLower(c.Peek().strText);
    c.Advance();
    if (c.AtEnd() || c.Peek().nKind != SqlTok::kPunct || c.Peek().strText.back() != L'=')
        return Generic(pOut, pError);
    std::wstring op(c.Peek().strText.substr(0, c.Peek().strText.size() - 1));
    c.Advance();
    std::wstring value;
    if (!m_rewriter.Rewrite(c.Pos(), m_nEnd, SqlRewriteScope::kExpression, &value, pError))
        return false;
    if (op == L"+")
        value = L"zqk_add(" + v.strName + L", (" + value + L"))";
    else if (op == L"/" || op == L"%")
        value = v.strName + L" " + op + L" zqk_divisor((" + value + L"))";
    else if (!op.empty())
        value = v.strName + L" " + op + L" (" + value + L")";
    pOut->nAction = CSqlTranslation::kAssign;
    pOut->variables.push_back(v);
    pOut->statements.push_back(L"SELECT " + value);
    return true;
}

bool CSqlStatementTranslator::AssignSelect(CSqlCursor& c, CSqlTranslation* pOut,
                                           CSqlBridgeError* pError) {
    // SELECT @a = x, @b = y FROM ...: the query without the targets.
    CSqlTokens query(m_t.begin() + static_cast<std::ptrdiff_t>(m_nBegin),
                     m_t.begin() + static_cast<std::ptrdiff_t>(c.Pos()));
    size_t i = c.Pos();
    for (;;) {
        CSqlCursor item(m_t, i, m_nEnd);
        if (item.AtEnd() || item.Peek().nKind != SqlTok::kWord || item.Peek().strText[0] != L'@' ||
            !(item.PeekNext() && SqlIsPunct(*item.PeekNext(), L"=")))
            return Generic(pOut, pError);
        CSqlVariable v;
        v.strName = SqlLower(item.Peek().strText);
        pOut->variables.push_back(v);
        item.Advance();
        item.Advance();
        size_t nStop = ItemEnd(item.Pos());
        query.insert(query.end(), m_t.begin() + static_cast<std::ptrdiff_t>(item.Pos()),
                     m_t.begin() + static_cast<std::ptrdiff_t>(nStop));
        if (nStop >= m_nEnd || !SqlIsPunct(m_t[nStop], L",")) {
            query.insert(query.end(), m_t.begin() + static_cast<std::ptrdiff_t>(nStop),
                         m_t.begin() + static_cast<std::ptrdiff_t>(m_nEnd));
            break;
        }
        query.push_back(m_t[nStop]);
        i = nStop + 1;
    }
    CSqlRewriter sub(m_schema, query);
    std::wstring select;
    if (!sub.Rewrite(0, query.size(), SqlRewriteScope::kStatement, &select, pError))
        return false;
    pOut->nAction = CSqlTranslation::kAssign;
    pOut->statements.push_back(std::move(select));
    return true;
}

size_t CSqlStatementTranslator::ItemEnd(size_t i) const {
    // An item of a list ends at a comma, or at a keyword of the statement's own level.
    int nDepth = 0, nCase = 0;
    for (; i < m_nEnd; ++i) {
        const CSqlToken& t = m_t[i];
        if (SqlIsPunct(t, L"("))
            ++nDepth;
        else if (SqlIsPunct(t, L")"))
            --nDepth;
        else if (nDepth == 0 && SqlIs(t, L"CASE"))
            ++nCase;
        else if (nDepth == 0 && SqlIs(t, L"END"))
            --nCase;
        else if (nDepth == 0 && nCase == 0 &&
                 (SqlIsPunct(t, L",") || SqlIs(t, L"FROM") || SqlIs(t, L"WHERE") ||
                  SqlIs(t, L"GROUP") || SqlIs(t, L"ORDER") || SqlIs(t, L"HAVING") ||
                  SqlIs(t, L"UNION")))
            break;
    }
    return i;
}

#include "platform/ado/sqlite/SqlServerBridge.h"

#include <cwctype>

#include "platform/ado/sqlite/SqlServerRewriter.h"
#include "platform/ado/sqlite/SqlServerStatements.h"
#include "platform/win/TextEncoding.h"

namespace {

const wchar_t kUnclosed[] = L"The statement has an unclosed string, name or comment.";

// Keywords that always begin a statement of their own.
const wchar_t* const kStarters[] = {
    L"ALTER",  L"CREATE",     L"DECLARE", L"DROP",     L"TRUNCATE",   L"USE",     L"PRINT",
    L"EXEC",   L"EXECUTE",    L"GO",      L"IF",       L"WHILE",      L"RETURN",  L"BEGIN",
    L"COMMIT", L"ROLLBACK",   L"SAVE",    L"GRANT",    L"REVOKE",     L"DENY",    L"RAISERROR",
    L"THROW",  L"WAITFOR",    L"BREAK",   L"CONTINUE", L"GOTO",       L"OPEN",    L"CLOSE",
    L"FETCH",  L"DEALLOCATE", L"MERGE",   L"DBCC",     L"CHECKPOINT", L"BACKUP",  L"RESTORE",
    L"KILL",   L"PRAGMA",     L"ATTACH",  L"DETACH",   L"VACUUM",     L"ANALYZE", L"REINDEX",
    L"SELECT", L"INSERT",     L"UPDATE",  L"DELETE",   L"SET",        L"WITH"};

bool IsStarter(const CSqlToken& t) {
    static const CSqlWordSet starters(kStarters);
    return starters.Has(t);
}

bool IsAnyOf(const CSqlToken* p, std::initializer_list<const wchar_t*> words) {
    if (p == nullptr)
        return false;
    for (const wchar_t* w : words)
        if (w[0] == L',' || w[0] == L'(' ? SqlIsPunct(*p, w) : SqlIs(*p, w))
            return true;
    return false;
}

// Splits tokens into statements and IF/ELSE/BEGIN...END blocks.
class CSplitter {
public:
    CSplitter(const CSqlTokens& tokens, std::vector<CSqlStep>* pSteps)
        : m_t(tokens), m_steps(*pSteps) {}

    bool Run(CSqlBridgeError* pError) {
        size_t i = Next(0);
        while (i < m_t.size()) {
            if (!Unit(&i, pError))
                return false;
        }
        return true;
    }

private:
    size_t Next(size_t i) const {
        while (i < m_t.size() && (SqlIsBlank(m_t[i]) || SqlIsPunct(m_t[i], L";")))
            ++i;
        return i;
    }
    size_t NextSig(size_t i) const {
        while (i < m_t.size() && SqlIsBlank(m_t[i]))
            ++i;
        return i;
    }

    bool Syntax(const CSqlToken& t, CSqlBridgeError* pError) const {
        pError->nNumber = 156;
        pError->strText = L"Incorrect syntax near the keyword '" + t.strText + L"'.";
        return false;
    }

    // A statement, an IF with its branches, or a BEGIN ... END block, from *pi.
    bool Unit(size_t* pi, CSqlBridgeError* pError) {
        size_t i = *pi;
        const CSqlToken& t = m_t[i];
        if (SqlIs(t, L"IF")) {
            size_t nCond = NextSig(i + 1), nEnd = StatementEnd(nCond, true);
            if (nEnd == nCond || nEnd >= m_t.size())
                return Syntax(t, pError);
            size_t nIf = m_steps.size();
            m_steps.push_back({CSqlStep::kIf, nCond, nEnd, 0});
            *pi = NextSig(nEnd);
            if (!Unit(pi, pError))
                return false;
            size_t j = Next(*pi);
            if (j < m_t.size() && SqlIs(m_t[j], L"ELSE")) {
                size_t nJump = m_steps.size();
                m_steps.push_back({CSqlStep::kJump, j, j, 0});
                m_steps[nIf].nTarget = m_steps.size();
                *pi = Next(j + 1);
                if (*pi >= m_t.size())
                    return Syntax(m_t[j], pError);
                if (!Unit(pi, pError))
                    return false;
                m_steps[nJump].nTarget = m_steps.size();
            } else {
                m_steps[nIf].nTarget = m_steps.size();
            }
            *pi = Next(*pi);
            return true;
        }
        // TRY ... CATCH blocks are refused whole, before anything of the batch runs.
        size_t nAfter = NextSig(i + 1);
        if (SqlIs(t, L"BEGIN") && nAfter < m_t.size() &&
            (SqlIs(m_t[nAfter], L"TRY") || SqlIs(m_t[nAfter], L"CATCH"))) {
            SqlCheckStatement(m_t, i, m_t.size(), pError); // names what it refuses
            return false;
        }
        if (SqlIs(t, L"BEGIN") && !IsTransaction(i)) {
            size_t j = Next(i + 1);
            while (j < m_t.size() && !SqlIs(m_t[j], L"END")) {
                if (SqlIs(m_t[j], L"ELSE"))
                    return Syntax(m_t[j], pError);
                if (!Unit(&j, pError))
                    return false;
                j = Next(j);
            }
            if (j >= m_t.size()) {
                pError->nNumber = 102;
                pError->strText = L"Incorrect syntax near 'BEGIN': the block has no END.";
                return false;
            }
            *pi = Next(j + 1);
            return true;
        }
        if (SqlIs(t, L"END") || SqlIs(t, L"ELSE"))
            return Syntax(t, pError);
        size_t nEnd = StatementEnd(i, false);
        size_t nStop = nEnd;
        while (nStop > i && SqlIsBlank(m_t[nStop - 1]))
            --nStop;
        m_steps.push_back({CSqlStep::kStatement, i, nStop, 0});
        *pi = Next(nEnd);
        return true;
    }

    bool IsTransaction(size_t i) const {
        size_t j = NextSig(i + 1);
        return j < m_t.size() &&
               (SqlIs(m_t[j], L"TRAN") || SqlIs(m_t[j], L"TRANSACTION") ||
                SqlIs(m_t[j], L"DISTRIBUTED") || SqlIs(m_t[j], L"TRY") || SqlIs(m_t[j], L"CATCH") ||
                SqlIs(m_t[j], L"DEFERRED") || SqlIs(m_t[j], L"IMMEDIATE") ||
                SqlIs(m_t[j], L"EXCLUSIVE") || SqlIs(m_t[j], L";") || SqlIsPunct(m_t[j], L";"));
    }

    // Where the statement (or an IF's condition) that starts at i ends.
    size_t StatementEnd(size_t i, bool bCondition) const {
        int nDepth = 0, nCase = 0;
        const CSqlToken* pFirst = nullptr;
        const CSqlToken* pPrev = nullptr;
        bool bSet = false, bRows = false, bDml = false;
        bool bTrigger = false; // SQLite's CREATE TRIGGER ... BEGIN ... END
        for (size_t k = i; k < m_t.size(); ++k) {
            const CSqlToken& t = m_t[k];
            if (SqlIsBlank(t))
                continue;
            if (SqlIsPunct(t, L"("))
                ++nDepth;
            else if (SqlIsPunct(t, L")"))
                --nDepth;
            if (nDepth > 0 || SqlIsPunct(t, L")")) {
                pPrev = &t;
                continue;
            }
            if (SqlIs(t, L"CASE"))
                ++nCase;
            if (pFirst == nullptr) {
                pFirst = &t;
                pPrev = &t;
                continue;
            }
            if (t.nKind != SqlTok::kWord) { // of the marks, only ';' ends a statement here
                if (!bTrigger && SqlIsPunct(t, L";"))
                    return k;
                pPrev = &t;
                continue;
            }
            if (bTrigger) {
                if (SqlIs(t, L"END") && nCase == 0)
                    return k + 1;
                if (SqlIs(t, L"END"))
                    --nCase;
                pPrev = &t;
                continue;
            }
            if (SqlIsPunct(t, L";"))
                return k;
            if (SqlIs(t, L"END")) {
                if (nCase == 0)
                    return k;
                --nCase;
            } else if (SqlIs(t, L"ELSE") && nCase == 0) {
                return k;
            } else if (SqlIs(t, L"BEGIN") && SqlIs(*pFirst, L"CREATE") && !IsTransaction(k)) {
                bTrigger = true; // SQLite's trigger body: its semicolons are its own
            } else if (IsStarter(t) && !Continues(t, pFirst, pPrev, bSet, bRows, bDml, k)) {
                return k;
            }
            if (SqlIs(t, L"SET"))
                bSet = true;
            if (SqlIs(t, L"SELECT") || SqlIs(t, L"VALUES") || SqlIs(t, L"EXEC") ||
                SqlIs(t, L"DEFAULT"))
                bRows = true;
            if (SqlIs(t, L"SELECT") || SqlIs(t, L"INSERT") || SqlIs(t, L"UPDATE") ||
                SqlIs(t, L"DELETE"))
                bDml = true;
            pPrev = &t;
        }
        (void)bCondition;
        return m_t.size();
    }

    // Whether a starter keyword at k continues the statement rather than beginning one.
    bool Continues(const CSqlToken& t, const CSqlToken* pFirst, const CSqlToken* pPrev, bool bSet,
                   bool bRows, bool bDml, size_t k) const {
        auto first = [&](const wchar_t* w) { return SqlIs(*pFirst, w); };
        if (IsAnyOf(pPrev, {L"OR", L"CONFLICT"})) // SQLite's INSERT OR ..., ON CONFLICT ...
            return true;
        if (SqlIs(t, L"SELECT"))
            return IsAnyOf(pPrev, {L"UNION", L"ALL", L"EXCEPT", L"INTERSECT", L"(", L"AS"}) ||
                   (first(L"INSERT") && !bRows) || (first(L"WITH") && !bDml) ||
                   (first(L"DECLARE") && IsAnyOf(pPrev, {L"FOR"}));
        // SET NOCOUNT ON, SET IDENTITY_INSERT T ON: the ON ends them, it starts no trigger
        // event or referential action.
        if (first(L"SET") && IsAnyOf(pPrev, {L"ON", L"OFF"}))
            return false;
        if (SqlIs(t, L"INSERT") || SqlIs(t, L"UPDATE") || SqlIs(t, L"DELETE"))
            return IsAnyOf(pPrev, {L"ON", L"FOR", L"AFTER", L"OF", L",", L"INSTEAD", L"THEN"}) ||
                   (first(L"WITH") && !bDml);
        if (SqlIs(t, L"SET"))
            return (first(L"UPDATE") && !bSet) || IsAnyOf(pPrev, {L"DELETE", L"UPDATE"}) ||
                   first(L"ALTER") || (first(L"WITH") && !bSet);
        if (SqlIs(t, L"WITH")) {
            // Only a common table expression starts a statement: WITH name [(...)] AS (
            size_t j = NextSig(k + 1);
            if (j >= m_t.size() || !SqlIsNamePart(m_t[j]))
                return true;
            j = NextSig(j + 1);
            if (j < m_t.size() && SqlIsPunct(m_t[j], L"(")) {
                int d = 0;
                for (; j < m_t.size(); ++j)
                    if (SqlIsPunct(m_t[j], L"("))
                        ++d;
                    else if (SqlIsPunct(m_t[j], L")") && --d == 0)
                        break;
                j = NextSig(j + 1);
            }
            return !(j < m_t.size() && SqlIs(m_t[j], L"AS"));
        }
        if (first(L"ALTER") && (SqlIs(t, L"ALTER") || SqlIs(t, L"DROP"))) {
            // ALTER TABLE T ALTER COLUMN / DROP COLUMN, not a DROP TABLE that follows it.
            size_t j = NextSig(k + 1);
            return !(j < m_t.size() &&
                     SqlIsOneOf(m_t[j], {L"TABLE", L"VIEW", L"INDEX", L"PROCEDURE", L"PROC",
                                         L"FUNCTION", L"TRIGGER", L"DATABASE", L"SCHEMA"}));
        }
        if (SqlIs(t, L"IF"))
            return IsAnyOf(pPrev, {L"TABLE", L"VIEW", L"INDEX", L"TRIGGER", L"PROCEDURE", L"PROC",
                                   L"FUNCTION", L"SCHEMA", L"DATABASE"}) ||
                   // ALTER TABLE T DROP [COLUMN | CONSTRAINT] IF EXISTS name
                   (first(L"ALTER") && IsAnyOf(pPrev, {L"DROP", L"COLUMN", L"CONSTRAINT"}));
        if (SqlIs(t, L"FETCH"))
            return IsAnyOf(pPrev, {L"ROWS", L"ROW"});
        if (SqlIs(t, L"ROLLBACK") || SqlIs(t, L"BEGIN"))
            return IsAnyOf(pPrev, {L"ON", L"THEN"});
        return false;
    }

    const CSqlTokens& m_t;
    std::vector<CSqlStep>& m_steps;
};

// The connection's database name written bare where it is no plain identifier
// ("shop-2024.dbo.T"): its tokens become one bracketed name when a "." follows them.
void JoinCatalogName(const std::wstring& strText, const std::wstring& strCatalog,
                     CSqlTokens* pTokens) {
    bool bPlain = !strCatalog.empty();
    for (wchar_t c : strCatalog)
        bPlain = bPlain && (iswalnum(static_cast<wint_t>(c)) || c == L'_' || c >= 0x80);
    if (bPlain)
        return;
    CSqlTokens& t = *pTokens;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].nKind == SqlTok::kString || t[i].nKind == SqlTok::kNString ||
            t[i].nKind == SqlTok::kQuoted || SqlIsBlank(t[i]))
            continue;
        size_t nStart = t[i].nOffset, nStop = nStart + strCatalog.size();
        if (nStop > strText.size() ||
            wcsncasecmp(strText.c_str() + nStart, strCatalog.c_str(), strCatalog.size()) != 0)
            continue;
        size_t j = i;
        bool bClean = true;
        while (j < t.size() && t[j].nOffset < nStop) {
            size_t nEnd = t[j].nOffset + t[j].strText.size();
            if (nEnd > nStop && t[j].nKind == SqlTok::kNumber && strText[nStop] == L'.') {
                // "2024.": the number ran on into the dot that follows the name.
                CSqlTokens rest;
                SqlTokenize(strText.substr(nStop, nEnd - nStop), &rest);
                for (CSqlToken& r : rest)
                    r.nOffset += nStop;
                t.KeepTextsOf(rest);
                t[j].strText = t[j].strText.substr(0, nStop - t[j].nOffset);
                t.insert(t.begin() + static_cast<std::ptrdiff_t>(j + 1), rest.begin(), rest.end());
            }
            bClean = bClean && t[j].nKind != SqlTok::kString && t[j].nKind != SqlTok::kNString &&
                     t[j].nKind != SqlTok::kQuoted && t[j].nKind != SqlTok::kComment;
            ++j;
        }
        size_t k = j;
        while (k < t.size() && SqlIsBlank(t[k]))
            ++k;
        if (!bClean || (j < t.size() && t[j].nOffset != nStop) || k >= t.size() ||
            !SqlIsPunct(t[k], L"."))
            continue;
        std::wstring quoted = L"[";
        for (wchar_t c : strCatalog)
            quoted += c == L']' ? std::wstring(L"]]") : std::wstring(1, c);
        t[i] = {SqlTok::kQuoted, quoted + L"]", nStart};
        t.erase(t.begin() + static_cast<std::ptrdiff_t>(i + 1),
                t.begin() + static_cast<std::ptrdiff_t>(j));
    }
}

} // namespace

bool CSqlServerSchema::TableSql(const std::wstring& strSchema, const std::wstring& strTable,
                                std::wstring* pstrName, std::wstring* pstrSql) {
    std::string name, sql;
    if (!TableSqlUtf8(strSchema, strTable, &name, &sql))
        return false;
    *pstrName = WinUtf8ToWide(name);
    *pstrSql = WinUtf8ToWide(sql);
    return true;
}

CSqlServerBridge::CSqlServerBridge(CSqlServerSchema& schema)
    : m_schema(schema), m_pCache(std::make_unique<CSqlTableCache>()) {}

CSqlServerBridge::~CSqlServerBridge() = default;

bool CSqlServerBridge::Split(const std::wstring& strText, CSqlBatch* pBatch,
                             CSqlBridgeError* pError) const {
    pBatch->tokens.clear();
    pBatch->steps.clear();
    if (!SqlTokenize(strText, &pBatch->tokens)) {
        *pError = SqlRefusal(kUnclosed);
        return false;
    }
    JoinCatalogName(strText, m_schema.CatalogName(), &pBatch->tokens);
    CSplitter splitter(pBatch->tokens, &pBatch->steps);
    if (!splitter.Run(pError))
        return false;
    // What cannot run at all is refused before anything runs, as SQL Server compiles a batch
    // before it runs it.
    for (const CSqlStep& step : pBatch->steps)
        if (step.nKind == CSqlStep::kStatement &&
            !SqlCheckStatement(pBatch->tokens, step.nBegin, step.nEnd, pError))
            return false;
    return true;
}

bool CSqlServerBridge::TranslateStep(const CSqlBatch& batch, const CSqlStep& step,
                                     CSqlTranslation* pOut, CSqlBridgeError* pError) const {
    *pOut = CSqlTranslation();
    if (step.nKind == CSqlStep::kJump)
        return true;
    m_pCache->NewTranslation();
    if (step.nKind == CSqlStep::kIf) {
        CSqlRewriter rewriter(m_schema, batch.tokens);
        rewriter.UseTableCache(m_pCache.get());
        std::wstring cond;
        if (!rewriter.Rewrite(step.nBegin, step.nEnd, SqlRewriteScope::kExpression, &cond, pError))
            return false;
        pOut->statements.push_back(L"SELECT CASE WHEN " + cond + L" THEN 1 ELSE 0 END");
        pOut->bTestOnly = true;
        return true;
    }
    CSqlStatementTranslator translator(m_schema, batch.tokens, step.nBegin, step.nEnd, *m_pCache);
    return translator.Translate(pOut, pError);
}

bool CSqlServerBridge::Translate(const std::wstring& strIn, std::wstring* pstrOut,
                                 CSqlBridgeError* pError) const {
    pstrOut->clear();
    CSqlBatch batch;
    if (!Split(strIn, &batch, pError))
        return false;
    for (const CSqlStep& step : batch.steps) {
        CSqlTranslation t;
        if (!TranslateStep(batch, step, &t, pError))
            return false;
        for (const std::wstring& s : t.statements)
            *pstrOut += (pstrOut->empty() ? L"" : L"; ") + s;
    }
    return true;
}

std::wstring SqlServerUnknownDatabaseText(const std::wstring& strDatabase) {
    return L"Database '" + strDatabase +
           L"' does not exist. Make sure that the name is entered correctly.";
}

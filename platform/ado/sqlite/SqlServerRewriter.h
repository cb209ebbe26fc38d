// Rewrites the tokens of one statement, or of an expression inside one, from SQL Server's
// dialect into SQLite's: names, builtins, literals, operators, TOP and table hints.
#pragma once

#include <memory>
#include <string>

#include "platform/ado/sqlite/SqlServerArithmetic.h"
#include "platform/ado/sqlite/SqlServerBridge.h"
#include "platform/ado/sqlite/SqlServerExpressionCollation.h"

struct CSqlColumnDef;
struct CSqlNameScope;
struct CSqlTableDef;

// A table or view name as SQLite knows it.
struct CSqlObjectName {
    std::wstring strSchema;  // "main", "temp" or an attached schema
    std::wstring strName;    // owners other than dbo prefix it ("sa.T"); temp tables keep '#'
    std::wstring strSql;     // the name written for SQLite
    bool bQualified = false; // a database or owner was given
};

// A table a rewrite has met where a statement names its tables, with the alias it was given.
struct CSqlSeenTable {
    CSqlObjectName name;
    std::wstring strAlias; // empty without one
};

// How much of a statement a rewrite covers.
enum class SqlRewriteScope {
    kStatement,  // a whole statement: TOP n of its outermost SELECT becomes LIMIT n
    kExpression, // a part of one (a default, a condition)
};

// A rewriter belongs to the thread translating its statement; it keeps what it reads of the
// schema for that statement.
class CSqlRewriter {
public:
    CSqlRewriter(CSqlServerSchema& schema, const CSqlTokens& tokens)
        : m_schema(schema), m_tokens(tokens), m_pScope(&tokens) {}
    // A rewriter of part of what parent rewrites (tokens of its own, or the parent's): it shares
    // the parent's batch, table cache and the names read from them, so a statement's tables are
    // read once however deep the rewrite goes. Lives no longer than parent.
    CSqlRewriter(const CSqlRewriter& parent, const CSqlTokens& tokens)
        : m_schema(parent.m_schema), m_tokens(tokens), m_nDepth(parent.m_nDepth + 1),
          m_bOperatorsDone(true), m_pScope(parent.m_pScope), m_ppNameScope(parent.m_ppNameScope),
          m_pSeen(parent.m_pSeen), m_pTableCache(parent.m_pTableCache) {}
    CSqlRewriter(const CSqlRewriter&) = delete;
    CSqlRewriter& operator=(const CSqlRewriter&) = delete;

    bool Rewrite(size_t nBegin, size_t nEnd, SqlRewriteScope nScope, std::wstring* pOut,
                 CSqlBridgeError* pError);
    // The type of a column ("alias", "Code") of the tables the rewrite has met so far, as the
    // schema SQLite holds in memory declares it, without reading any table's definition; the
    // definitions of the batch's tables answer what those do not. False when unknown or
    // ambiguous. For comparing literals and typing results, which most statements do: a
    // definition costs a catalogue query.
    bool ColumnType(const std::wstring& strQualifier, const std::wstring& strName,
                    CSqlDeclaredType* pType);
    // Where the table definitions the rewrite needs are read and kept; without one each is
    // read again.
    void UseTableCache(CSqlTableCache* pCache) { m_pTableCache = pCache; }

    // The object name starting at token i ([db.][owner.]name, db..name, #temp); *pnNext is
    // the token after it. False with *pError for a database the connection does not have or
    // for what is no name.
    bool ObjectName(size_t i, size_t nEnd, CSqlObjectName* pName, size_t* pnNext,
                    CSqlBridgeError* pError);

    // The collations of the text columns the statement's batch names, read as their types are
    // when first asked for.
    CSqlNameCollations NameCollations();

private:
    // CAST or CONVERT from the group that opens at nOpen, as zqk_convert(...); *pnClose is
    // where the group closes, 0 when it is no conversion this reads.
    bool Conversion(bool bCast, size_t nOpen, size_t nEnd, std::wstring* pOut, size_t* pnClose,
                    CSqlBridgeError* pError);
    // IDENT_CURRENT, IDENT_SEED or IDENT_INCR (the word at nCall) of a table named by a literal,
    // with the group that opens at nOpen: the table's identity as SQL Server answers (NULL for
    // a table without one); *pnClose is where the group closes.
    bool IdentityFunction(size_t nCall, size_t nOpen, size_t nEnd, std::wstring* pOut,
                          size_t* pnClose, CSqlBridgeError* pError);

    // The declared type ("nvarchar", "decimal(10,2)") of the one argument in the group that
    // opens at nOpen: a literal, a conversion, a column or a variable; empty when unknown.
    std::wstring ArgumentType(size_t nOpen, size_t nEnd);
    // The same for the value the tokens [nBegin, nEnd) write.
    std::wstring ValueType(size_t nBegin, size_t nEnd);
    // DATALENGTH(x) as zqk_datalength(x, 'type'); AVG(x) of integers, decimals and money as
    // zqk_average(avg(x), 'type'): the call written for the function and what its group
    // closes with. False for a call left as it is (AVG OVER, of floats or of what is unknown).
    bool TypedCall(const CSqlToken& function, size_t nOpen, size_t nEnd, std::wstring* pstrCall,
                   std::wstring* pstrClose);
    // The types of the columns and variables the statement's batch names, read when first
    // asked for.
    CSqlNameTypes NameTypes();
    // A column of the batch's tables and the table's columns.
    struct CScopeColumn {
        const CSqlColumnDef* pColumn;
        const std::vector<CSqlColumnDef>* pTable;
    };
    // The columns named strName of the tables strQualifier may name (every table for none),
    // read when first asked for; false when the qualifier names none of them.
    bool ScopeColumns(const std::wstring& strQualifier, const std::wstring& strName,
                      std::vector<CScopeColumn>* pColumns);
    // A string literal at nLiteral compared with a column ("d >= '20240301'", "d BETWEEN
    // '20240301' AND ...", "'20240301' <= d", "n = 'abc'"), as the column's type takes it: the
    // ISO text of a yyyymmdd date beside a date column (SQLite would take it for a number),
    // SQL Server's conversion of text that is no plain number beside a number column (which
    // fails as SQL Server's does); empty otherwise. The expression spans [nBegin, nEnd).
    std::wstring ComparedLiteral(size_t nBegin, size_t nLiteral, size_t nEnd);
    // The type of what a literal is compared with, standing at before[nColumn] of the
    // significant tokens before it (nearest first): a column, or CAST / CONVERT's type; no
    // type when it is neither or unknown.
    CSqlDeclaredType TypeBefore(size_t nBegin, const size_t* before, size_t nBefore,
                                size_t nColumn);
    // The ROWS (or ROW) that ends OFFSET's or FETCH's count from nFrom; nEnd without one.
    size_t RowsWord(size_t nFrom, size_t nEnd) const;
    // That count rewritten, in parentheses; false when there is no count before ROWS.
    bool RowCount(size_t nFrom, size_t nEnd, std::wstring* pOut, CSqlBridgeError* pError);
    // Remembers a table met at a table's place, and the alias after it (tokens from nAfter).
    void NoteTable(CSqlObjectName name, size_t nAfter, size_t nEnd);
    // SqlServerParseType of a declared type, remembered in the table cache when there is one.
    CSqlDeclaredType ParsedType(const std::string& strDeclared);
    // The tables and variables of the batch, read when first asked for.
    CSqlNameScope& NameScope();
    // The scope's tables a column with this qualifier ("" for any) may belong to; false when
    // the qualifier names none.
    bool ScopeTables(const std::wstring& strQualifier, std::vector<size_t>* pTables);
    // The tables the batch refers to, by name and alias, and the variables its DECLAREs give.
    void ReadNameScope(CSqlNameScope* pScope);
    // A table's definition, from the cache or read into the scope; null when there is none.
    const CSqlTableDef* ReadTable(const CSqlObjectName& name, CSqlNameScope* pScope);

    CSqlServerSchema& m_schema;
    const CSqlTokens& m_tokens;
    int m_nDepth = 0; // rewriters above this one (a conversion's, a call's arguments, ...)
    bool m_bOperatorsDone = false; // the tokens are the operator pass's own output
    const CSqlTokens* m_pScope;    // the batch's tokens, where its tables and variables are
    std::shared_ptr<CSqlNameScope> m_pNameScope; // what NameTypes read from them, when first asked
    std::shared_ptr<CSqlNameScope>* m_ppNameScope = &m_pNameScope; // the outermost rewriter's
    std::vector<CSqlSeenTable> m_seen;                             // tables met so far
    std::vector<CSqlSeenTable>* m_pSeen = &m_seen;                 // the outermost rewriter's
    CSqlTableCache* m_pTableCache = nullptr;
    // The IN list ComparedLiteral last met: its "(", its last literal so far and the type its
    // literals take, so that a long list is read once, not once for each of its literals.
    size_t m_nListOpen = static_cast<size_t>(-1), m_nListLiteral = 0;
    CSqlDeclaredType m_listType;
};

// Resolves a database name for a name's first part; the error names the database.
bool SqlResolveDatabase(CSqlServerSchema& schema, const std::wstring& strDatabase,
                        CSqlDatabaseRef* pRef, CSqlBridgeError* pError);
// Owners whose objects are this system's catalogue views (INFORMATION_SCHEMA, sys).
bool SqlIsViewOwner(const std::wstring& strOwner);
bool SqlIsViewOwner(const CSqlToken& owner);
// Whether the call of the builtin at nCall, with the group opening at nOpen, has as many
// arguments as SQL Server's builtin of that name takes; false with SQL Server's error 174 when
// it does not. Names that are no such builtin pass.
bool SqlBuiltinArguments(const CSqlTokens& tokens, size_t nCall, size_t nOpen, size_t nEnd,
                         CSqlBridgeError* pError);
// The refusal of a construct the embedded database does not have.
CSqlBridgeError SqlRefusal(const std::wstring& strText);
// One of SQL Server's own errors, by its number and text.
CSqlBridgeError SqlServerError(long nNumber, const std::wstring& strText);

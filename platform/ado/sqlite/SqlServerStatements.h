// The statements the bridge translates as wholes: table and index definitions, DROP,
// TRUNCATE, INSERT with identities, SELECT INTO, the SET options, USE, transactions. Anything
// else is rewritten token by token.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/ado/sqlite/SqlServerTable.h"

// Table definitions already read, kept while their stored text stays the same; keyed by schema
// and the name as the statement wrote it, lowered. Within one translation a definition is
// checked against the database once: nothing runs between a statement's look-ups.
class CSqlTableCache {
public:
    struct Entry {
        std::string strNameUtf8, strSqlUtf8; // as stored: what tells a changed table
        CSqlTokens tokens;                   // the definition's parts refer to these
        CSqlTableDef def;
        bool bRead = false;
        unsigned nCheckedIn = 0; // the translation that last compared it with the database
    };
    // Starts a translation: definitions are checked again when next asked for.
    void NewTranslation() { ++m_nTranslation; }

    std::map<std::wstring, std::shared_ptr<Entry>> m_entries;
    // Declared types as SQLite keeps them ("varchar(20)"), parsed: a table holds few.
    std::unordered_map<std::string, CSqlDeclaredType> m_declared;
    unsigned m_nTranslation = 1;
};

// The definition of an existing table, read once for each stored text; false when there is
// none or it cannot be read.
bool SqlLoadTable(CSqlServerSchema& schema, CSqlTableCache& cache, const CSqlObjectName& name,
                  const CSqlTableDef** ppDef);

// Refuses, before a batch runs, a statement of a kind the embedded database does not have.
bool SqlCheckStatement(const CSqlTokens& tokens, size_t nBegin, size_t nEnd,
                       CSqlBridgeError* pError);

class CSqlStatementTranslator {
public:
    CSqlStatementTranslator(CSqlServerSchema& schema, const CSqlTokens& tokens, size_t nBegin,
                            size_t nEnd, CSqlTableCache& cache)
        : m_schema(schema), m_t(tokens), m_nBegin(nBegin), m_nEnd(nEnd), m_cache(cache),
          m_rewriter(schema, tokens) {
        m_rewriter.UseTableCache(&cache);
    }

    bool Translate(CSqlTranslation* pOut, CSqlBridgeError* pError);

    // The definition of an existing table; false when there is none or it cannot be read.
    bool LoadTable(const CSqlObjectName& name, const CSqlTableDef** ppDef);

private:
    bool Generic(CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool CreateTable(CSqlCursor& c, bool bTemp, CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool CreateIndex(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool CreateView(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool Drop(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool Truncate(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool Insert(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool Update(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    // DELETE [FROM] target FROM table-list [WHERE ...]: the target is one of the list's tables
    // (by alias or name) or joins it; SQLite deletes the target's rows the list's query finds.
    bool Delete(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    // The tables of a FROM list in [nBegin, nEnd) (after FROM): each name with its alias.
    struct CFromTable {
        CSqlObjectName name;
        std::wstring strWritten; // the name's last part, as the list writes it
        std::wstring strAlias;
    };
    bool FromTables(size_t nBegin, size_t nEnd, std::vector<CFromTable>* pTables,
                    CSqlBridgeError* pError);
    // The list of the FROM at nFrom (if there is one) and its table the target names, by
    // alias or else by name; *ppMatch null when none does.
    bool FromTarget(size_t nFrom, const std::wstring& strWritten, std::vector<CFromTable>* pTables,
                    const CFromTable** ppMatch, CSqlBridgeError* pError);
    // How the list's query refers to one of its tables.
    static std::wstring FromReference(const CFromTable& table);
    // Refuses a joined target without rowids, naming the statement.
    static bool RowidTable(const CSqlTableDef& def, const wchar_t* pszStatement,
                           CSqlBridgeError* pError);
    // NameAt for the target of UPDATE or DELETE, with the name's last part as written: an
    // alias or a table's name.
    bool TargetAt(CSqlCursor& c, CSqlObjectName* pName, std::wstring* pstrWritten,
                  CSqlBridgeError* pError);
    // INSERT's VALUES rows, each value converted to its target column's type; false when the
    // rows are not plain value lists (then they are rewritten as they stand).
    bool Values(CSqlCursor& c, const std::vector<const CSqlColumnDef*>& targets, std::wstring* pOut,
                CSqlBridgeError* pError);
    bool SelectInto(size_t nInto, CSqlTranslation* pOut, CSqlBridgeError* pError);
    // The column SELECT INTO makes for an expression of a known type (SQL Server's name, as
    // "decimal(21,2)"); false when the type does not read as one.
    bool TypedExpressionColumn(const std::wstring& strName, const std::wstring& strType,
                               CSqlColumnDef* pColumn);
    bool Set(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool Transaction(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool Declare(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool AssignSet(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    bool AssignSelect(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    // Where an item of a list (a SELECT list, DECLARE's variables) that starts at i ends.
    size_t ItemEnd(size_t i) const;
    bool AlterTable(CSqlCursor& c, CSqlTranslation* pOut, CSqlBridgeError* pError);
    // Replaces a table by one of the changed definition: the columns copied, each from its
    // source expression over the old table.
    bool Rebuild(const CSqlTableDef& before, CSqlTableDef after,
                 const std::vector<std::wstring>& copied, const std::vector<std::wstring>& sources,
                 CSqlTranslation* pOut, CSqlBridgeError* pError);
    // The object name at the cursor (with any table hints after it); the cursor after them.
    bool NameAt(CSqlCursor& c, CSqlObjectName* pName, CSqlBridgeError* pError);
    // Rewrites a run of the statement's tokens, or of other tokens.
    bool Rewrite(size_t nBegin, size_t nEnd, std::wstring* pOut, CSqlBridgeError* pError);

    CSqlServerSchema& m_schema;
    const CSqlTokens& m_t;
    size_t m_nBegin, m_nEnd;
    CSqlTableCache& m_cache;
    CSqlRewriter m_rewriter;
};

// Lets SQL written for SQL Server run on SQLite with SQL Server's behaviour. A batch is split
// into statements (with or without semicolons) and IF/ELSE blocks; each statement is
// translated just before it runs, against the schema as it then stands: names (three-part,
// owners, #temp tables), table definitions (identities, keys, collations, length and type
// rules), the catalogue, SQL Server's functions and operators. Rewriting works on tokens, so
// string literals, quoted names and comments are never touched. What cannot be translated is
// refused with an error that names the construct, never run with other semantics.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ado/sqlite/SqlServerArithmetic.h"
#include "platform/ado/sqlite/SqlTokens.h"

// How a database part of a name resolves: to the main database, to an attached schema (its
// SQLite name; "temp" for tempdb), or not at all.
struct CSqlDatabaseRef {
    enum Kind { kUnknown, kMain, kAttached } nKind = kUnknown;
    std::wstring strSchema;
};

// A column of a query's result, and the table column it comes from (empty for an expression).
struct CSqlResultColumn {
    std::wstring strName;
    std::wstring strSchema, strTable, strColumn;
};

// What the bridge asks the database while it translates.
class CSqlServerSchema {
public:
    virtual ~CSqlServerSchema() = default;
    virtual CSqlDatabaseRef ResolveDatabase(const std::wstring& strDatabase) = 0;
    // The connection's database name, which need not be a plain identifier ("shop-2024").
    virtual std::wstring CatalogName() = 0;
    // The prefix of the catalogue views of an attached schema, creating them when needed;
    // the main database's views are sysobjects, syscolumns and systypes themselves.
    virtual bool AttachedCatalog(const std::wstring& strSchema, std::wstring* pstrPrefix) = 0;
    // The CREATE TABLE text SQLite keeps for a table of a schema ("main", "temp", an attached
    // one), with the table's name as stored, both as the UTF-8 SQLite keeps them (the bridge
    // compares them with what it read before instead of converting them again); false when
    // there is no such table.
    virtual bool TableSqlUtf8(const std::wstring& strSchema, const std::wstring& strTable,
                              std::string* pstrName, std::string* pstrSql) = 0;
    // The declared type of a column of a table (schema, or empty for the first that has the
    // table; its stored name) as the connection holds the schema in memory (no read of the
    // file: a change by another connection shows from this connection's next statement);
    // false when there is no such column.
    virtual bool ColumnType(const std::wstring& strSchema, const std::wstring& strTable,
                            const std::wstring& strColumn, std::string* pstrDeclared) = 0;
    // The result columns of a SQLite query, prepared but not run; false when it cannot be
    // prepared (running it reports why).
    virtual bool ResultColumns(const std::wstring& strSelect,
                               std::vector<CSqlResultColumn>* pColumns) = 0;
    // TableSqlUtf8 as wide text.
    bool TableSql(const std::wstring& strSchema, const std::wstring& strTable,
                  std::wstring* pstrName, std::wstring* pstrSql);
    // The CREATE texts of a table's indexes and triggers, which a rebuilt table needs again.
    virtual std::vector<std::wstring> TableDependents(const std::wstring& strSchema,
                                                      const std::wstring& strTable) = 0;
    // Whether SET IDENTITY_INSERT is on for a table (SQLite schema and name).
    virtual bool IdentityInsert(const std::wstring& strSchema, const std::wstring& strTable) = 0;
};

// Why a text was refused.
struct CSqlBridgeError {
    std::wstring strText;
    long nNumber = 0; // SQL Server's error number, when it has one
    bool bUnknownDatabase = false;
};

// One step of a batch: a statement, or the test of an IF (jump when false), or a jump.
struct CSqlStep {
    enum Kind { kStatement, kIf, kJump } nKind = kStatement;
    size_t nBegin = 0, nEnd = 0; // the tokens of the statement or of the condition
    size_t nTarget = 0;          // kIf when false, kJump: the step to go on with
};

struct CSqlBatch {
    CSqlTokens tokens;
    std::vector<CSqlStep> steps;
};

// A variable of a batch, as DECLARE gives it.
struct CSqlVariable {
    std::wstring strName;      // with its @
    std::wstring strType;      // SQL Server's type, as declared
    bool bInitialised = false; // its value comes from the next of the statements
};

// What one statement becomes. Special actions run around the SQLite statements.
struct CSqlTranslation {
    std::vector<std::wstring> checks;     // queries run first, which fail to refuse the statement
    std::vector<std::wstring> statements; // SQLite statements, run in order
    enum Action {
        kNone,
        kIdentityInsertOn,  // SET IDENTITY_INSERT on for strSchema.strTable
        kIdentityInsertOff, // ... and off
        kDeclare,           // variables are declared, some given values by the statements
        kAssign,            // the last row of statements[0] goes into the variables
        kBeginTran,         // BEGIN TRAN, COMMIT, ROLLBACK [name], SAVE TRAN name
        kCommitTran,
        kRollbackTran,
        kSaveTran,
        kXactAbortOn, // SET XACT_ABORT ON and OFF
        kXactAbortOff,
    } nAction = kNone;
    std::vector<CSqlVariable> variables;
    // Per column of the rows a SELECT returns, SQL Server's type of an expression where the
    // bridge knows it (decimal(38,2), money, int), else unknown; empty when it knows none.
    std::vector<CSqlNumericType> resultTypes;
    std::wstring strSchema, strTable; // the table the action or an INSERT is for; a savepoint
    bool bIdentityTarget = false;     // an INSERT into a table with an identity
    bool bTestOnly = false;           // a condition: statements[0] gives one row of one truth value
    bool bAtomic = false;             // several statements that must succeed or fail together
    size_t nCountedStatement = 0;     // the statement whose changed rows are the translation's
    bool bForeignKeysOff = false;     // ... and that rebuild a table others may refer to
};

class CSqlTableCache;

class CSqlServerBridge {
public:
    explicit CSqlServerBridge(CSqlServerSchema& schema);
    ~CSqlServerBridge();

    // Splits a batch into its steps; false for unclosed text or a block that does not close.
    bool Split(const std::wstring& strText, CSqlBatch* pBatch, CSqlBridgeError* pError) const;
    // Translates one step (a statement, or an IF's condition).
    bool TranslateStep(const CSqlBatch& batch, const CSqlStep& step, CSqlTranslation* pOut,
                       CSqlBridgeError* pError) const;

    // The whole text at once, each step's statements joined with "; " (for tests and tools
    // that want to see the SQLite text; control flow is not run).
    bool Translate(const std::wstring& strIn, std::wstring* pstrOut, CSqlBridgeError* pError) const;

private:
    CSqlServerSchema& m_schema;
    std::unique_ptr<CSqlTableCache> m_pCache; // table definitions read, by their text
};

// The text of the error for a database part that names no database.
std::wstring SqlServerUnknownDatabaseText(const std::wstring& strDatabase);

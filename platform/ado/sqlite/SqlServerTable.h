// A table definition read from SQL Server's CREATE TABLE (or from the SQLite text this system
// stored for one) and written back as SQLite's, with SQL Server's rules made explicit: key
// columns NOT NULL, identities as AUTOINCREMENT keys, collations on text columns, and named
// CHECK constraints for lengths, types and ranges.
#pragma once

#include <string>
#include <vector>

#include "platform/ado/sqlite/SqlServerRewriter.h"
#include "platform/ado/sqlite/SqlServerTypes.h"

// The prefix of the names of the constraints this system adds; the provider turns their
// failures into SQL Server's messages, and a re-read definition drops them.
extern const wchar_t kSqlRulePrefix[];
// The kinds of those constraints, after the prefix.
enum class SqlRule { kTruncation, kType, kRange, kBinaryType, kGuid, kIdentity };
const wchar_t* SqlRuleName(SqlRule nRule);

// The collation text columns get when none is given: SQL Server's usual default.
extern const wchar_t kSqlDefaultCollation[];

struct CSqlColumnDef {
    std::wstring strName;     // without quotes
    std::wstring strNameSql;  // as written
    std::wstring strTypeText; // SQL Server's type as declared ("nvarchar(50)"), or empty
    CSqlDeclaredType type;
    bool bHasType = false;
    bool bServerType = false;  // a SQL Server type name: its rules apply
    std::wstring strCollation; // explicit or default, for text columns
    enum Nullability { kUnspecified, kNull, kNotNull } nNull = kUnspecified;
    bool bIdentity = false;
    long long nSeed = 1, nIncrement = 1;
    bool bPrimaryKey = false;
    std::wstring strKeyName;           // CONSTRAINT name of the column's key, quoted for SQLite
    bool bAutoincrement = false;       // SQLite's own AUTOINCREMENT
    std::vector<std::wstring> clauses; // further constraints, already SQLite's (DEFAULT, ...)
    bool bComputed = false;
};

struct CSqlTableDef {
    CSqlObjectName name;
    std::vector<CSqlColumnDef> columns;
    std::vector<std::wstring> constraints;          // table constraints, SQLite's text
    std::vector<std::wstring> primaryKey;           // the columns of a table PRIMARY KEY constraint
    size_t nPrimaryConstraint = std::wstring::npos; // its index in constraints
    std::wstring strPrimaryName;                    // its CONSTRAINT name, quoted, or empty
    std::vector<std::wstring> indexes;              // CREATE INDEX for inline INDEX definitions
    std::wstring strOptions;                        // WITHOUT ROWID, STRICT
    bool bTemp = false;
    std::wstring strCreated; // the creation-time marker of a stored definition, kept on rebuilds

    CSqlColumnDef* Find(const std::wstring& strColumn);
    const CSqlColumnDef* Find(const std::wstring& strColumn) const {
        return const_cast<CSqlTableDef*>(this)->Find(strColumn);
    }
    const CSqlColumnDef* Identity() const;
};

class CSqlTableReader {
public:
    CSqlTableReader(CSqlServerSchema& schema, const CSqlTokens& tokens)
        : m_schema(schema), m_tokens(tokens), m_rewriter(schema, tokens) {}

    // CREATE [TEMP] TABLE name ( ... ) [options] in tokens [nBegin, nEnd), the cursor after
    // TABLE. False with *pError when the definition breaks SQL Server's rules or uses what
    // cannot be emulated; *pbUnderstood false when it is no definition this reader knows (then
    // SQLite is left to judge the text).
    bool Read(size_t nNameAt, size_t nEnd, CSqlTableDef* pDef, bool* pbUnderstood,
              CSqlBridgeError* pError);
    // One column definition, from its name to before the "," or ")" that ends it.
    bool ReadColumn(size_t nBegin, size_t nEnd, const CSqlTableDef& def, CSqlColumnDef* pColumn,
                    CSqlBridgeError* pError);
    // One table constraint ([CONSTRAINT n] PRIMARY KEY | UNIQUE | CHECK | FOREIGN KEY ...).
    bool ReadConstraint(size_t nBegin, size_t nEnd, CSqlTableDef* pDef, CSqlBridgeError* pError);

private:
    bool ReadType(CSqlCursor& c, CSqlColumnDef* pColumn, CSqlBridgeError* pError);
    // An expression up to the next keyword of a column definition, rewritten for SQLite.
    bool Expression(CSqlCursor& c, std::wstring* pOut, CSqlBridgeError* pError);
    // A computed column's expression written without parentheses, rewritten for SQLite and
    // put in them; the cursor after it.
    bool Computed(CSqlCursor& c, std::wstring* pOut, CSqlBridgeError* pError);
    // A parenthesised group rewritten for SQLite, the cursor after it.
    bool Group(CSqlCursor& c, std::wstring* pOut, CSqlBridgeError* pError);
    // Index options SQLite has no use for: CLUSTERED, ASC in keys, WITH (...), ON [PRIMARY].
    void SkipStorage(CSqlCursor& c);
    std::wstring Text(size_t nBegin, size_t nEnd) const;
    // A column list "(a ASC, b)" with its names; the cursor after it.
    bool ColumnList(CSqlCursor& c, std::wstring* pOut, std::vector<std::wstring>* pNames);
    // REFERENCES name [(columns)] [ON DELETE|UPDATE action] [NOT FOR REPLICATION].
    bool References(CSqlCursor& c, std::wstring* pOut, CSqlBridgeError* pError);
    bool m_bUnknown = false; // met what this reader does not know

    CSqlServerSchema& m_schema;
    const CSqlTokens& m_tokens;
    CSqlRewriter m_rewriter;
};

// Checks the whole definition against SQL Server's rules and writes SQLite's CREATE TABLE and
// what must follow it (the identity's seed, inline indexes). The text carries the table's
// creation time as a comment, which the catalogue reads.
bool SqlWriteTable(CSqlTableDef& def, std::vector<std::wstring>* pStatements,
                   CSqlBridgeError* pError);
// The collation a column's values compare with: its own, or its type's default.
std::wstring SqlColumnCollation(const CSqlColumnDef& column);
// A column of a unique key, with the collation its values compare with.
struct CSqlKeyColumn {
    std::wstring strName;
    std::wstring strCollation;
};
// The index that makes the NULLs of a unique key's columns equal, as SQL Server has them:
// SQLite's own unique indexes take any number of keys with NULLs. strFilter (SQLite's text)
// limits it to the rows a filtered index takes.
std::wstring SqlUniqueNullIndex(const std::wstring& strSchema, const std::wstring& strName,
                                const std::wstring& strTable,
                                const std::vector<CSqlKeyColumn>& columns,
                                const std::wstring& strFilter = std::wstring());
// Those indexes for each UNIQUE constraint of a table's CREATE TABLE text, the table called
// strTable.
void SqlUniqueNullIndexes(const CSqlTableDef& def, const std::wstring& strTable,
                          const std::wstring& strCreate, std::vector<std::wstring>* pStatements);
// One column as SQLite declares it (for ALTER TABLE ADD COLUMN as well).
std::wstring SqlWriteColumn(const CSqlColumnDef& column);
// SQL Server's message (and number) for SQLite's report that one of the rules failed
// ("CHECK constraint failed: zqk_truncation"); empty for any other message.
std::wstring SqlRuleMessage(const std::wstring& strSqliteMessage, long* pnNumber);
// The table's name as SQL Server's messages give it ("dbo.T").
std::wstring SqlMessageTableName(const CSqlObjectName& name);

// The seam between the data-access objects and the databases: one provider per kind of
// database (the embedded SQLite one, ODBC for servers). Providers describe each column and
// yield each cell as a VARIANT; failures carry a result code, the database's own message as
// the description, the provider's name as the source and the database's native code.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ado/AdoEnums.h"
#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"

struct CAdoError {
    HRESULT hr = S_OK;
    std::wstring strDescription;
    std::wstring strSource;
    long nNativeError = 0;

    static CAdoError Make(HRESULT hr, std::wstring strDescription, std::wstring strSource,
                          long nNative = 0) {
        CAdoError e;
        e.hr = hr;
        e.strDescription = std::move(strDescription);
        e.strSource = std::move(strSource);
        e.nNativeError = nNative;
        return e;
    }
};

struct CAdoColumn {
    std::wstring strName;
    DataTypeEnum nType = adEmpty;
    LONG nDefinedSize = 0;
    BYTE nPrecision = 0; // decimals and currency: digits in all and after the point; 0 unknown
    BYTE nNumericScale = 0;
};

// A cell as a reader of text can take it: the value, or the stored UTF-8 text the value would
// be made of (kText: a string of exactly those characters; kDateText: the date they read as, or
// that string when they do not read as a date). The text is borrowed until the cursor moves.
struct CAdoCell {
    enum Kind { kValue, kText, kDateText };
    Kind nKind = kValue;
    VARIANT var; // kValue; the receiver clears it
    const char* pText = nullptr;
    size_t nBytes = 0;
    CAdoCell() { VariantInit(&var); }
};

// A result walked forward. A new cursor stands before its first row: Next() moves to a row
// and says whether there was one. Column descriptions are complete once the cursor is open,
// except that columns without a declared type may be refined when the first row is read.
class CAdoCursor {
public:
    virtual ~CAdoCursor() = default;
    virtual size_t ColumnCount() const = 0;
    virtual const CAdoColumn& Column(size_t nIndex) const = 0;
    virtual HRESULT Next(bool* pbRow, CAdoError* pError) = 0;
    // The current row's cell as a new VARIANT (the caller clears it).
    virtual HRESULT GetValue(size_t nIndex, VARIANT* pvar, CAdoError* pError) = 0;
    // The same cell in the cheapest form a reader of text can use; by default its value.
    virtual HRESULT GetCell(size_t nIndex, CAdoCell* pCell, CAdoError* pError) {
        return GetValue(nIndex, &pCell->var, pError);
    }
    // The stored bytes the current row's cell's byte array would be made of: S_OK with them,
    // borrowed until the cursor moves; S_FALSE when the value is no byte array of stored bytes
    // (or the cursor cannot tell without making the value). By default S_FALSE.
    virtual HRESULT GetBytes(size_t nIndex, const void** ppBytes, size_t* pnBytes) {
        (void)nIndex;
        (void)ppBytes;
        (void)pnBytes;
        return S_FALSE;
    }
    // The size of the current row's cell: bytes for binary values, characters for text.
    virtual LONG ActualSize(size_t nIndex) = 0;
    // The connection closed underneath: every later call fails as closed.
    virtual void Detach() = 0;
};

// The most bytes one value may hold: its size must fit the LONG that ActualSize reports.
constexpr size_t kAdoMaxValueBytes = 0x7FFFFFFF;

// A byte-array variant (one dimension, lower bound 0) holding a copy of the bytes; how
// providers and recordsets hand out binary values. E_OUTOFMEMORY beyond kAdoMaxValueBytes.
HRESULT AdoMakeByteArray(const void* pBytes, size_t nBytes, VARIANT* pvar);

// One row of values for a table insert, by column position.
typedef std::map<size_t, VARIANT*> CAdoRowValues;

class CAdoProvider {
public:
    virtual ~CAdoProvider() = default;
    virtual const wchar_t* Name() const = 0;

    // pairs: the connection string's keys (lower-case) and values, already parsed.
    virtual HRESULT Open(const std::map<std::wstring, std::wstring>& pairs, ConnectModeEnum nMode,
                         CAdoError* pError) = 0;
    virtual void Close() = 0;

    // Runs a command text. A statement with result columns yields a cursor (*ppCursor);
    // otherwise *ppCursor stays null and *pnAffected counts the rows changed.
    virtual HRESULT Execute(const std::wstring& strText, std::unique_ptr<CAdoCursor>* ppCursor,
                            LONG* pnAffected, CAdoError* pError) = 0;
    // A table by name: its columns without reading a row, and a cursor over its rows.
    virtual HRESULT OpenTable(const std::wstring& strTable, std::unique_ptr<CAdoCursor>* ppCursor,
                              CAdoError* pError) = 0;
    // Inserts one row into a table in one statement. The values are read in place and are
    // not kept.
    virtual HRESULT InsertRow(const std::wstring& strTable, const std::vector<CAdoColumn>& columns,
                              const CAdoRowValues& values, CAdoError* pError) = 0;
    // The tables schema rowset: TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE,
    // DESCRIPTION; restrictions in that order (empty strings restrict nothing).
    virtual HRESULT Tables(const std::vector<std::wstring>& restrictions,
                           std::unique_ptr<CAdoCursor>* ppCursor, CAdoError* pError) = 0;
    virtual HRESULT BeginTrans(CAdoError* pError) = 0;
    virtual HRESULT CommitTrans(CAdoError* pError) = 0;
    virtual HRESULT RollbackTrans(CAdoError* pError) = 0;
};

// A cursor over rows held in memory (schema rowsets).
class CAdoMemoryCursor : public CAdoCursor {
public:
    explicit CAdoMemoryCursor(std::vector<CAdoColumn> columns) : m_columns(std::move(columns)) {}
    ~CAdoMemoryCursor() override;
    // Takes over the variants.
    void AddRow(std::vector<VARIANT> row) { m_rows.push_back(std::move(row)); }

    size_t ColumnCount() const override { return m_columns.size(); }
    const CAdoColumn& Column(size_t nIndex) const override { return m_columns[nIndex]; }
    HRESULT Next(bool* pbRow, CAdoError* pError) override;
    HRESULT GetValue(size_t nIndex, VARIANT* pvar, CAdoError* pError) override;
    LONG ActualSize(size_t nIndex) override;
    void Detach() override {}

private:
    std::vector<CAdoColumn> m_columns;
    std::vector<std::vector<VARIANT>> m_rows;
    size_t m_nNext = 0;
};

// Creates the provider a connection string names (case aside): "SQLite" for the embedded one,
// "ODBC" for the driver manager. Null for a provider that does not exist here (an empty name
// included).
std::unique_ptr<CAdoProvider> AdoCreateProvider(const std::wstring& strProvider);

// Reading cells: the declared types a connection remembers describe columns exactly as reading
// them anew does, also once more types have come than it keeps; a cell's value and its bytes
// agree in either text encoding; memory SQLite cannot get is reported, never an empty value.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/ado/sqlite/SqliteTypes.h"
#include "platform/com/SafeArray.h"

namespace {

// A statement over an in-memory database of the given text encoding, on its first row.
struct CCellStatement {
    sqlite3* pDb = nullptr;
    sqlite3_stmt* pStmt = nullptr;
    CCellStatement(const char* pszEncoding, const char* pszSetup, const char* pszSelect) {
        EXPECT_EQ(SQLITE_OK, sqlite3_open(":memory:", &pDb));
        std::string setup = std::string("PRAGMA encoding = '") + pszEncoding + "'; " + pszSetup;
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(pDb, setup.c_str(), nullptr, nullptr, nullptr));
        EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(pDb, pszSelect, -1, &pStmt, nullptr));
        EXPECT_EQ(SQLITE_ROW, sqlite3_step(pStmt));
    }
    ~CCellStatement() {
        sqlite3_finalize(pStmt);
        sqlite3_close(pDb);
    }
};

std::string BytesOfArray(const VARIANT& v) {
    if (v.vt != (VT_ARRAY | VT_UI1) || v.parray == nullptr)
        return "(not a byte array)";
    return std::string(static_cast<const char*>(v.parray->pvData),
                       v.parray->rgsabound[0].cElements);
}

} // namespace

TEST(SqliteCells, ValueAndBytesAgreeInEitherEncoding) {
    // Text stored in a binary column is read as the bytes SQLite stores, through Value and
    // through the bytes the packer reads alike.
    for (const char* pszEncoding : {"UTF-8", "UTF-16le", "UTF-16be"}) {
        CCellStatement cell(pszEncoding,
                            "CREATE TABLE t(b varbinary(10), n nvarchar(10));"
                            "INSERT INTO t VALUES ('ab\u00e9', 'ab\u00e9');",
                            "SELECT b, n, CAST(b AS TEXT) FROM t");
        std::string stored(static_cast<const char*>(sqlite3_column_blob(cell.pStmt, 0)),
                           static_cast<size_t>(sqlite3_column_bytes(cell.pStmt, 0)));
        VARIANT v;
        VariantInit(&v);
        ASSERT_EQ(S_OK, SqliteColumnValue(cell.pStmt, 0, adVarBinary, &v)) << pszEncoding;
        const void* p = nullptr;
        size_t n = 0;
        ASSERT_EQ(S_OK, SqliteColumnBytes(cell.pStmt, 0, adVarBinary, &p, &n));
        EXPECT_EQ(stored, BytesOfArray(v)) << pszEncoding;
        EXPECT_EQ(stored, std::string(static_cast<const char*>(p), n)) << pszEncoding;
        VariantClear(&v);

        // The text column reads its characters in any encoding, through Value and the cell.
        ASSERT_EQ(S_OK, SqliteColumnValue(cell.pStmt, 1, adVarWChar, &v));
        ASSERT_EQ(VT_BSTR, v.vt);
        EXPECT_EQ(std::wstring(L"ab\u00e9"), std::wstring(v.bstrVal, SysStringLen(v.bstrVal)));
        VariantClear(&v);
        CAdoCell text;
        ASSERT_EQ(S_OK, SqliteColumnCell(cell.pStmt, 1, adVarWChar, &text));
        EXPECT_EQ(CAdoCell::kText, text.nKind);
        EXPECT_EQ(std::string("ab\xC3\xA9"), std::string(text.pText, text.nBytes));
        EXPECT_EQ(3, SqliteColumnActualSize(cell.pStmt, 1, 10));
    }
}

TEST(SqliteCells, MemorySqliteCannotGetIsAnErrorNotAnEmptyValue) {
    // A long text in a UTF-16 database is converted to UTF-8 when read; with no memory left
    // for that, every way of reading the cell fails instead of giving an empty string.
    CCellStatement cell("UTF-16le",
                        "CREATE TABLE t(n ntext, d decimal(10,2));"
                        "INSERT INTO t VALUES (hex(zeroblob(100000)), '1.25');",
                        "SELECT n, n, d FROM t");
    sqlite3_int64 nBefore = sqlite3_hard_heap_limit64(-1);
    sqlite3_hard_heap_limit64(sqlite3_memory_used() + 50000);
    VARIANT v;
    VariantInit(&v);
    HRESULT hrValue = SqliteColumnValue(cell.pStmt, 0, adLongVarWChar, &v);
    CAdoCell text;
    HRESULT hrCell = SqliteColumnCell(cell.pStmt, 1, adLongVarWChar, &text);
    sqlite3_hard_heap_limit64(nBefore);
    EXPECT_EQ(E_OUTOFMEMORY, hrValue);
    EXPECT_EQ(VT_EMPTY, v.vt);
    EXPECT_EQ(E_OUTOFMEMORY, hrCell);

    // With memory again, the same statement run anew reads the whole text.
    sqlite3_reset(cell.pStmt);
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(cell.pStmt));
    ASSERT_EQ(S_OK, SqliteColumnValue(cell.pStmt, 0, adLongVarWChar, &v));
    ASSERT_EQ(VT_BSTR, v.vt);
    EXPECT_EQ(200000u, SysStringLen(v.bstrVal));
    VariantClear(&v);
    ASSERT_EQ(S_OK, SqliteColumnValue(cell.pStmt, 2, adNumeric, &v));
    EXPECT_EQ(VT_DECIMAL, v.vt);
}

TEST(SqliteDeclaredTypes, RememberedTypesReadAsNewOnes) {
    std::vector<std::string> types = {"int",
                                      "INTEGER",
                                      "nvarchar(40)",
                                      "NVARCHAR(40)",
                                      "nvarchar(41)",
                                      "decimal(10,2)",
                                      "decimal(10, 3)",
                                      "money",
                                      "datetime",
                                      "float",
                                      "real",
                                      "bit",
                                      "varbinary(max)",
                                      "image",
                                      "text",
                                      "char(3)",
                                      "bigint",
                                      "smallint",
                                      "tinyint",
                                      "numeric(38,0)",
                                      "uniqueidentifier",
                                      "date",
                                      "something else",
                                      " int "};
    CSqliteDeclaredTypes remembered;
    for (int nRound = 0; nRound < 3; ++nRound) {
        for (size_t i = 0; i < types.size(); ++i) {
            // Every round in another order, so that types leave and come back.
            const std::string& s = types[(i * (nRound + 1) * 7) % types.size()];
            CSqliteColumnType expected = SqliteMapDeclaredType(s.c_str()),
                              got = remembered.Map(s.c_str());
            EXPECT_EQ(expected.nType, got.nType) << s;
            EXPECT_EQ(expected.nDefinedSize, got.nDefinedSize) << s;
            EXPECT_EQ(expected.bDeclared, got.bDeclared) << s;
            EXPECT_EQ(expected.nPrecision, got.nPrecision) << s;
            EXPECT_EQ(expected.nNumericScale, got.nNumericScale) << s;
        }
    }
    EXPECT_FALSE(remembered.Map(nullptr).bDeclared);
    EXPECT_FALSE(remembered.Map("").bDeclared);
}

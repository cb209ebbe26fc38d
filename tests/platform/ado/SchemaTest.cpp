#include <vector>

#include "AdoTestSupport.h"

namespace {

typedef std::vector<std::vector<std::wstring>> Rows;

// A one-dimensional array of variants, as callers pass restrictions.
_variant_t Restrictions(const std::vector<_variant_t>& values, LONG nLower = 0) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = SafeArrayCreateVector(VT_VARIANT, nLower, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        LONG n = nLower + i;
        SafeArrayPutElement(v.parray, &n, const_cast<_variant_t*>(&values[i]));
    }
    _variant_t result;
    result.Attach(v);
    return result;
}

Rows Tables(_Connection* pConn, const _variant_t& restrictions = vtMissing) {
    return AdoReadRows(pConn->OpenSchema(adSchemaTables, restrictions));
}

void CreateTables(_Connection* pConn) {
    pConn->Execute(L"CREATE TABLE b_tab(id integer PRIMARY KEY AUTOINCREMENT);"
                   L"CREATE TABLE A_tab(x int); CREATE INDEX ix ON A_tab(x);"
                   L"CREATE VIEW v AS SELECT x FROM A_tab",
                   nullptr, adCmdText);
}

} // namespace

class Schema : public AdoTest {};

TEST_F(Schema, TablesRowsetListsTablesViewsAndSystemTables) {
    _ConnectionPtr pConn = OpenMemory();
    _RecordsetPtr pRs = pConn->OpenSchema(adSchemaTables);
    ASSERT_TRUE(pRs);
    EXPECT_TRUE(pRs->GetadoEOF());
    FieldsPtr pFields = pRs->GetFields();
    ASSERT_EQ(5, pFields->GetCount());
    const wchar_t* const names[] = {L"TABLE_CATALOG", L"TABLE_SCHEMA", L"TABLE_NAME", L"TABLE_TYPE",
                                    L"DESCRIPTION"};
    for (LONG i = 0; i < 5; ++i)
        EXPECT_EQ(std::wstring(names[i]), std::wstring(pFields->GetItem(i)->GetName()));
    pFields = nullptr;
    pRs = nullptr;

    CreateTables(pConn);
    // Ordered by type, then name; indexes are not tables.
    EXPECT_EQ((Rows{{L"main", L"NULL", L"sqlite_sequence", L"SYSTEM TABLE", L"NULL"},
                    {L"main", L"NULL", L"A_tab", L"TABLE", L"NULL"},
                    {L"main", L"NULL", L"b_tab", L"TABLE", L"NULL"},
                    {L"main", L"NULL", L"v", L"VIEW", L"NULL"}}),
              Tables(pConn));
    EXPECT_EQ(1u, ComRefCount(pConn));
}

TEST_F(Schema, CatalogIsTheFileNameUnlessGiven) {
    struct {
        std::wstring strConnection;
        const wchar_t* pszCatalog;
    } const cases[] = {
        {SqliteString(m_dir.WideFile("Sales.2024.db")), L"Sales.2024"},
        {SqliteString(m_dir.WideFile("plain")), L"plain"},
        {L"Provider=SQLite; Data Source=" + m_dir.WideFile("x.db") + L"; Initial Catalog='Books'",
         L"Books"},
        {L"Provider=SQLite; Data Source=:memory:; Initial Catalog=Mem", L"Mem"},
    };
    for (const auto& c : cases) {
        _ConnectionPtr pConn = Open(c.strConnection);
        pConn->Execute(L"CREATE TABLE t(a int)", nullptr, adCmdText);
        EXPECT_EQ((Rows{{c.pszCatalog, L"NULL", L"t", L"TABLE", L"NULL"}}), Tables(pConn));
        // The catalog restriction compares without regard to case.
        std::wstring strUpper = c.pszCatalog;
        for (wchar_t& ch : strUpper)
            ch = static_cast<wchar_t>(towupper(static_cast<wint_t>(ch)));
        EXPECT_EQ(1u, Tables(pConn, Restrictions({_variant_t(strUpper.c_str())})).size());
        EXPECT_EQ(0u, Tables(pConn, Restrictions({_variant_t(L"main2")})).size());
    }
}

TEST_F(Schema, RestrictionsFilterTheRows) {
    _ConnectionPtr pConn = OpenMemory();
    CreateTables(pConn);
    const _variant_t empty;
    _variant_t dbNull;
    dbNull.vt = VT_NULL;

    EXPECT_EQ((Rows{{L"main", L"NULL", L"A_tab", L"TABLE", L"NULL"}}),
              Tables(pConn, Restrictions({empty, dbNull, _variant_t(L"a_TAB"), vtMissing})));
    EXPECT_EQ((Rows{{L"main", L"NULL", L"v", L"VIEW", L"NULL"}}),
              Tables(pConn, Restrictions({empty, empty, empty, _variant_t(L"VIEW")})));
    EXPECT_EQ((Rows{{L"main", L"NULL", L"sqlite_sequence", L"SYSTEM TABLE", L"NULL"}}),
              Tables(pConn, Restrictions(
                                {_variant_t(L"main"), empty, empty, _variant_t(L"SYSTEM TABLE")})));
    EXPECT_EQ(2u,
              Tables(pConn, Restrictions({_variant_t(L""), empty, empty, _variant_t(L"TABLE")}, 1))
                  .size());
    // Fewer entries restrict less; a name that matches nothing, or a type the name does not
    // have, leaves no rows.
    EXPECT_EQ(4u, Tables(pConn, Restrictions({_variant_t(L"main")})).size());
    EXPECT_EQ(4u, Tables(pConn, Restrictions({})).size());
    EXPECT_EQ(0u, Tables(pConn, Restrictions({empty, empty, _variant_t(L"nope")})).size());
    EXPECT_EQ(
        0u,
        Tables(pConn, Restrictions({empty, empty, _variant_t(L"v"), _variant_t(L"TABLE")})).size());

    // Restrictions that are not a list of texts, other schemas and schema identifiers.
    const HRESULT kBadArgument = static_cast<HRESULT>(0x800A0BB9);
    const HRESULT kNotCapable = static_cast<HRESULT>(0x800A0CB3);
    EXPECT_EQ(kBadArgument, AdoCatch([&] { Tables(pConn, _variant_t(L"t")); }).hr);
    EXPECT_EQ(kBadArgument, AdoCatch([&] {
                                Tables(pConn, Restrictions({empty, empty, _variant_t(3L)}));
                            }).hr);
    AdoRaised r = AdoCatch([&] { pConn->OpenSchema(adSchemaColumns); });
    EXPECT_EQ(kNotCapable, r.hr);
    EXPECT_EQ(L"Object or provider is not capable of performing requested operation.",
              r.description);
    EXPECT_EQ(kNotCapable, AdoCatch([&] {
                               pConn->OpenSchema(adSchemaTables, vtMissing, _variant_t(L"{0}"));
                           }).hr);

    _Recordset* pRs = reinterpret_cast<_Recordset*>(&r);
    pConn->Close();
    EXPECT_EQ(static_cast<HRESULT>(0x800A0E78),
              pConn->raw_OpenSchema(adSchemaTables, vtMissing, vtMissing, &pRs));
    EXPECT_EQ(nullptr, pRs);
    EXPECT_EQ(L"ADODB.Connection", AdoTakeErrorInfo(S_OK).source);
    EXPECT_EQ(1u, ComRefCount(pConn));
}

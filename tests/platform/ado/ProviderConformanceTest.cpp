// The provider contract with the same expectations on every back end: the embedded SQLite
// provider, SQLite through its ODBC driver and PostgreSQL through psqlODBC. Where a back end
// differs, the difference and its reason stand next to the expectation.
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "AdoTestSupport.h"
#include "support/OdbcBackends.h"

namespace {

typedef std::vector<std::vector<std::wstring>> Rows;

// The same columns in each database's own words.
struct Dialect {
    const wchar_t* pszBoolean;
    const wchar_t* pszTrue;
    const wchar_t* pszDouble;
    const wchar_t* pszTimestamp;
    const wchar_t* pszBinary;
    const wchar_t* pszBytes; // the literal of the bytes 00 01 02 ff
};

const Dialect& DialectOf(Backend n) {
    static const Dialect kSqlite = {L"bit", L"1", L"float", L"datetime", L"image", L"x'000102ff'"};
    // The ODBC driver reads SQLite's declared types itself and takes "image" for text.
    static const Dialect kSqliteOdbc = {L"bit",      L"1",    L"float",
                                        L"datetime", L"blob", L"x'000102ff'"};
    static const Dialect kPostgres = {L"boolean",   L"TRUE",  L"double precision",
                                      L"timestamp", L"bytea", L"'\\x000102ff'::bytea"};
    return n == Backend::kSqlite ? kSqlite : n == Backend::kSqliteOdbc ? kSqliteOdbc : kPostgres;
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
    return s;
}

class Conformance : public AdoTest, public ::testing::WithParamInterface<Backend> {
protected:
    void SetUp() override {
        AdoTest::SetUp();
        m_pDb = std::make_unique<BackendDatabase>(GetParam());
        m_pConn = Open(m_pDb->Connection());
        ASSERT_EQ(adStateOpen, m_pConn->GetState());
    }
    void TearDown() override {
        m_pConn = nullptr;
        m_pDb.reset();
        AdoTest::TearDown();
    }
    bool Is(Backend n) const { return GetParam() == n; }
    const Dialect& D() const { return DialectOf(GetParam()); }
    std::wstring SourceName() const { return Is(Backend::kSqlite) ? L"SQLite" : L"ODBC"; }

    LONG Exec(const std::wstring& sql) {
        _variant_t affected;
        EXPECT_FALSE(m_pConn->Execute(sql.c_str(), &affected, adCmdText)) << sql;
        return affected.lVal;
    }
    _RecordsetPtr Query(const std::wstring& sql) {
        return m_pConn->Execute(sql.c_str(), nullptr, adCmdText);
    }
    // count(*) is a bigint on PostgreSQL and an int elsewhere.
    LONG Count(const wchar_t* pszTable) {
        return static_cast<LONG>(Query(std::wstring(L"SELECT count(*) FROM ") + pszTable)
                                     ->GetFields()
                                     ->GetItem(0L)
                                     ->GetValue());
    }
    _RecordsetPtr OpenTable(const wchar_t* pszTable) {
        _RecordsetPtr pRs;
        EXPECT_EQ(S_OK, pRs.CreateInstance(L"ADODB.Recordset"));
        pRs->Open(pszTable, _variant_t(static_cast<IDispatch*>(m_pConn.GetInterfacePtr())),
                  adOpenKeyset, adLockOptimistic, adCmdTable);
        return pRs;
    }
    void CreateValueTable() {
        Exec(std::wstring(L"CREATE TABLE v(i int, si smallint, bi bigint, b ") + D().pszBoolean +
             L", f " + D().pszDouble + L", d decimal(12,3), dt " + D().pszTimestamp +
             L", dd date, s varchar(20), bl " + D().pszBinary + L")");
    }

    std::unique_ptr<BackendDatabase> m_pDb;
    _ConnectionPtr m_pConn;
};

TEST_P(Conformance, ExecuteCountsChangedRowsAndGivesRowsOnlyForResults) {
    EXPECT_EQ(0, Exec(L"CREATE TABLE t(id int PRIMARY KEY, name varchar(20))"));
    EXPECT_EQ(3, Exec(L"INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, NULL)"));
    EXPECT_EQ(2, Exec(L"UPDATE t SET name = 'z' WHERE id >= 2"));
    EXPECT_EQ(0, Exec(L"UPDATE t SET name = 'y' WHERE id > 99"));
    EXPECT_EQ(1, Exec(L"DELETE FROM t WHERE id = 1"));
    _variant_t affected;
    _RecordsetPtr pRs =
        m_pConn->Execute(L"SELECT id, name FROM t ORDER BY id", &affected, adCmdText);
    ASSERT_TRUE(pRs);
    EXPECT_EQ(-1, affected.lVal);
    EXPECT_EQ((Rows{{L"2", L"z"}, {L"3", L"z"}}), AdoReadRows(pRs));
    // A result without rows is still a result.
    pRs = Query(L"SELECT id FROM t WHERE id < 0");
    ASSERT_TRUE(pRs);
    EXPECT_EQ(VARIANT_TRUE, pRs->GetadoEOF());
    EXPECT_EQ(1, pRs->GetFields()->GetCount());
}

TEST_P(Conformance, ValuesComeAsTheVariantsOfTheirSqlTypes) {
    CreateValueTable();
    Exec(std::wstring(L"INSERT INTO v VALUES (-7, -300, 5000000000, ") + D().pszTrue +
         L", 2.25, '1234567.891', '2024-01-02 03:04:05', '2024-01-02', 'caf\u00e9 \u4e2d', " +
         D().pszBytes + L")");
    Exec(L"INSERT INTO v(i) VALUES (NULL)");
    struct Expected {
        const wchar_t* pszName;
        VARTYPE vt;
        const wchar_t* pszText;
    };
    // SQLite's ODBC driver describes decimal columns as text: their values stay text there.
    const VARTYPE vtDecimal = Is(Backend::kSqliteOdbc) ? VT_BSTR : VT_DECIMAL;
    const Expected kFirst[] = {
        {L"i", VT_I4, L"-7"},
        {L"si", VT_I2, L"-300"},
        {L"bi", VT_I8, L"5000000000"},
        {L"b", VT_BOOL, L"-1"},
        {L"f", VT_R8, L"2.25"},
        {L"d", vtDecimal, L"1234567.891"},
        {L"dt", VT_DATE, L"2024-01-02 03:04:05"},
        {L"dd", VT_DATE, L"2024-01-02"},
        {L"s", VT_BSTR, L"caf\u00e9 \u4e2d"},
    };
    _RecordsetPtr pRs = Query(L"SELECT * FROM v ORDER BY i DESC");
    FieldsPtr pFields = pRs->GetFields();
    // Nulls sort last on PostgreSQL and first on SQLite: find the row with values.
    if (pFields->GetItem(L"i")->GetValue().vt == VT_NULL)
        pRs->MoveNext();
    for (const Expected& e : kFirst) {
        _variant_t v = pFields->GetItem(e.pszName)->GetValue();
        EXPECT_EQ(e.vt, v.vt) << e.pszName;
        _variant_t text;
        EXPECT_EQ(S_OK, VariantChangeType(&text, &v, 0, VT_BSTR)) << e.pszName;
        EXPECT_EQ(_bstr_t(e.pszText), _bstr_t(text)) << e.pszName;
    }
    EXPECT_EQ((std::vector<BYTE>{0, 1, 2, 0xFF}), AdoBytesOf(pFields->GetItem(L"bl")->GetValue()));
    EXPECT_EQ(4, pFields->GetItem(L"bl")->GetActualSize());
    EXPECT_EQ(6, pFields->GetItem(L"s")->GetActualSize()); // characters, not bytes

    pRs = Query(L"SELECT * FROM v WHERE i IS NULL");
    for (LONG i = 0; i < pRs->GetFields()->GetCount(); ++i) {
        FieldPtr pField = pRs->GetFields()->GetItem(i);
        EXPECT_EQ(VT_NULL, pField->GetValue().vt) << static_cast<const char*>(pField->GetName());
        EXPECT_EQ(0, pField->GetActualSize());
    }
}

TEST_P(Conformance, ColumnsAreDescribedFromTheTableAndFromAQuery) {
    CreateValueTable();
    const std::set<DataTypeEnum> kText = {adVarChar, adVarWChar};
    const std::set<DataTypeEnum> kBinary = {adBinary, adVarBinary, adLongVarBinary};
    _RecordsetPtr pTable = OpenTable(L"v");
    EXPECT_EQ(VARIANT_TRUE, pTable->GetadoEOF());
    for (_RecordsetPtr pRs : {pTable, Query(L"SELECT * FROM v")}) {
        FieldsPtr pFields = pRs->GetFields();
        ASSERT_EQ(10, pFields->GetCount());
        EXPECT_EQ(_bstr_t(L"i"), pFields->GetItem(0L)->GetName());
        EXPECT_EQ(adInteger, pFields->GetItem(L"i")->GetType());
        EXPECT_EQ(4, pFields->GetItem(L"i")->GetDefinedSize());
        EXPECT_EQ(adSmallInt, pFields->GetItem(L"si")->GetType());
        EXPECT_EQ(adBigInt, pFields->GetItem(L"bi")->GetType());
        EXPECT_EQ(adBoolean, pFields->GetItem(L"b")->GetType());
        EXPECT_EQ(adDouble, pFields->GetItem(L"f")->GetType());
        EXPECT_EQ(Is(Backend::kSqliteOdbc) ? adVarChar : adNumeric,
                  pFields->GetItem(L"d")->GetType()); // text there, as above
        EXPECT_EQ(adDBTimeStamp, pFields->GetItem(L"dt")->GetType());
        EXPECT_EQ(adDBDate, pFields->GetItem(L"dd")->GetType());
        EXPECT_EQ(1u, kText.count(pFields->GetItem(L"s")->GetType()));
        EXPECT_EQ(20, pFields->GetItem(L"s")->GetDefinedSize());
        EXPECT_EQ(1u, kBinary.count(pFields->GetItem(L"bl")->GetType()));
    }
}

TEST_P(Conformance, RowsStreamInOrderToTheEnd) {
    Exec(L"CREATE TABLE n(id int, label varchar(12), amount " + std::wstring(D().pszDouble) + L")");
    Exec(
        L"INSERT INTO n(id, label, amount) WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
        L"FROM c WHERE x < 1500) SELECT x, 'row', x * 0.5 FROM c");
    _RecordsetPtr pRs = Query(L"SELECT id, label, amount FROM n ORDER BY id");
    FieldsPtr pFields = pRs->GetFields();
    FieldPtr pId = pFields->GetItem(0L), pAmount = pFields->GetItem(2L);
    long long nSum = 0;
    LONG nRows = 0;
    double dAmount = 0;
    for (; !pRs->GetadoEOF(); pRs->MoveNext()) {
        ++nRows;
        EXPECT_EQ(nRows, pId->GetValue().lVal);
        nSum += pId->GetValue().lVal;
        dAmount += pAmount->GetValue().dblVal;
    }
    EXPECT_EQ(1500, nRows);
    EXPECT_EQ(1500LL * 1501 / 2, nSum);
    EXPECT_EQ(1500.0 * 1501 / 4, dAmount);
    EXPECT_EQ(adErrNoCurrentRecord, AdoCatch([&] { pRs->MoveNext(); }).hr);

    // GetRows from the middle takes the rest.
    pRs = Query(L"SELECT id FROM n WHERE id > 1000 ORDER BY id");
    pRs->Move(498);
    _variant_t rows = pRs->GetRows(adGetRowsRest);
    LONG nUpper = -1;
    SafeArrayGetUBound(rows.parray, 2, &nUpper);
    EXPECT_EQ(1, nUpper);
    EXPECT_EQ(VARIANT_TRUE, pRs->GetadoEOF());
}

TEST_P(Conformance, FailuresCarryTheCodeAndTheDatabasesText) {
    Exec(L"CREATE TABLE u(id int PRIMARY KEY, name varchar(10) NOT NULL)");
    Exec(L"INSERT INTO u VALUES (1, 'a')");
    AdoRaised r = AdoCatch([&] { Query(L"SELEC 1"); });
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, r.hr);
    EXPECT_EQ(SourceName(), r.source);
    EXPECT_NE(std::wstring::npos, Lower(r.description).find(L"selec")) << r.description;

    r = AdoCatch([&] { Query(L"SELECT * FROM nosuch"); });
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, r.hr);
    EXPECT_NE(std::wstring::npos, r.description.find(L"nosuch")) << r.description;

    // SQLite's ODBC driver reports every failure with the general state HY000, so a
    // constraint violation cannot be told from other failures there.
    const HRESULT hrIntegrity =
        Is(Backend::kSqliteOdbc) ? DB_E_ERRORSINCOMMAND : DB_E_INTEGRITYVIOLATION;
    r = AdoCatch([&] { Exec(L"INSERT INTO u VALUES (1, 'b')"); });
    EXPECT_EQ(hrIntegrity, r.hr);
    EXPECT_FALSE(r.description.empty());
    EXPECT_EQ(hrIntegrity, AdoCatch([&] { Exec(L"INSERT INTO u(id) VALUES (2)"); }).hr);
    EXPECT_EQ(1, Count(L"u"));

    _RecordsetPtr pRs;
    ASSERT_EQ(S_OK, pRs.CreateInstance(L"ADODB.Recordset"));
    r = AdoCatch([&] {
        pRs->Open(L"nosuch", _variant_t(static_cast<IDispatch*>(m_pConn.GetInterfacePtr())),
                  adOpenForwardOnly, adLockReadOnly, adCmdTable);
    });
    EXPECT_EQ(DB_E_NOTABLE, r.hr);
    EXPECT_EQ(SourceName(), r.source);
    EXPECT_NE(std::wstring::npos, r.description.find(L"nosuch")) << r.description;
    // The connection goes on after failures.
    EXPECT_EQ(1, Count(L"u"));
}

TEST_P(Conformance, AddNewStoresValuesDefaultsAndLongBinaryInPieces) {
    Exec(std::wstring(L"CREATE TABLE f(id int PRIMARY KEY, name varchar(40) NOT NULL, qty int "
                      L"DEFAULT 7, data ") +
         D().pszBinary + L")");
    const size_t kSize = 3000000, kChunk = 65536;
    std::vector<BYTE> bytes(kSize);
    for (size_t i = 0; i < kSize; ++i)
        bytes[i] = static_cast<BYTE>(i * 131 + (i >> 13));
    const wchar_t kName[] = L"first \u00e9 \u4e2d \U0001F600";

    _RecordsetPtr pRs = OpenTable(L"f");
    FieldsPtr pFields = pRs->GetFields();
    pRs->AddNew();
    pFields->GetItem(L"id")->PutValue(_variant_t(1L));
    pFields->GetItem(L"name")->PutValue(kName);
    for (size_t nOffset = 0; nOffset < kSize; nOffset += kChunk)
        pFields->GetItem(L"data")->AppendChunk(
            AdoBytes(bytes.data() + nOffset, std::min(kChunk, kSize - nOffset)));
    pRs->Update();
    pRs->AddNew();
    pFields->GetItem(L"id")->PutValue(_variant_t(2L));
    pFields->GetItem(L"name")->PutValue(L"second");
    pFields->GetItem(L"qty")->PutValue(_variant_t(3L));
    pRs->Update();

    // A row the database refuses leaves nothing behind, and the next one goes in.
    const HRESULT hrIntegrity =
        Is(Backend::kSqliteOdbc) ? DB_E_ERRORSINCOMMAND : DB_E_INTEGRITYVIOLATION;
    pRs->AddNew();
    pFields->GetItem(L"id")->PutValue(_variant_t(3L));
    EXPECT_EQ(hrIntegrity, AdoCatch([&] { pRs->Update(); }).hr);
    pRs->AddNew();
    pFields->GetItem(L"id")->PutValue(_variant_t(4L));
    pFields->GetItem(L"name")->PutValue(L"fourth");
    pRs->Update();

    _RecordsetPtr pCheck = Query(L"SELECT id, name, qty, data FROM f ORDER BY id");
    FieldsPtr pCheckFields = pCheck->GetFields();
    EXPECT_EQ(_bstr_t(kName), _bstr_t(pCheckFields->GetItem(L"name")->GetValue()));
    EXPECT_EQ(7, pCheckFields->GetItem(L"qty")->GetValue().lVal);
    EXPECT_EQ(static_cast<LONG>(kSize), pCheckFields->GetItem(L"data")->GetActualSize());
    EXPECT_TRUE(bytes == AdoBytesOf(pCheckFields->GetItem(L"data")->GetValue()));
    pCheck->MoveNext();
    EXPECT_EQ(3, pCheckFields->GetItem(L"qty")->GetValue().lVal);
    EXPECT_EQ(VT_NULL, pCheckFields->GetItem(L"data")->GetValue().vt);
    pCheck->MoveNext();
    EXPECT_EQ(4, pCheckFields->GetItem(L"id")->GetValue().lVal);
    pCheck->MoveNext();
    EXPECT_EQ(VARIANT_TRUE, pCheck->GetadoEOF());
}

TEST_P(Conformance, TablesRowsetListsTablesAndViewsByRestriction) {
    Exec(L"CREATE TABLE t_one(a int)");
    Exec(L"CREATE TABLE txone(a int)"); // would match t_one if '_' were a wildcard
    Exec(L"CREATE VIEW v_one AS SELECT a FROM t_one");
    auto tables = [&](const _variant_t& restrictions) {
        std::set<std::pair<std::wstring, std::wstring>> found;
        _RecordsetPtr pRs = m_pConn->OpenSchema(adSchemaTables, restrictions);
        FieldsPtr pFields = pRs->GetFields();
        const wchar_t* const kNames[] = {L"TABLE_CATALOG", L"TABLE_SCHEMA", L"TABLE_NAME",
                                         L"TABLE_TYPE", L"DESCRIPTION"};
        for (LONG i = 0; i < 5; ++i)
            EXPECT_EQ(_bstr_t(kNames[i]), pFields->GetItem(i)->GetName());
        for (; !pRs->GetadoEOF(); pRs->MoveNext())
            found.insert(
                {static_cast<const wchar_t*>(_bstr_t(pFields->GetItem(L"TABLE_NAME")->GetValue())),
                 static_cast<const wchar_t*>(
                     _bstr_t(pFields->GetItem(L"TABLE_TYPE")->GetValue()))});
        return found;
    };
    auto restrict = [](std::vector<_variant_t> values) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_ARRAY | VT_VARIANT;
        v.parray = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
        for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i)
            SafeArrayPutElement(v.parray, &i, &values[i]);
        _variant_t result;
        result.Attach(v);
        return result;
    };
    std::set<std::pair<std::wstring, std::wstring>> all = tables(vtMissing);
    for (const auto& expected : std::set<std::pair<std::wstring, std::wstring>>{
             {L"t_one", L"TABLE"}, {L"txone", L"TABLE"}, {L"v_one", L"VIEW"}})
        EXPECT_EQ(1u, all.count(expected)) << expected.first;
    const _variant_t empty;
    EXPECT_EQ((std::set<std::pair<std::wstring, std::wstring>>{{L"t_one", L"TABLE"}}),
              tables(restrict({empty, empty, _variant_t(L"t_one")})));
    std::set<std::pair<std::wstring, std::wstring>> views =
        tables(restrict({empty, empty, empty, _variant_t(L"VIEW")}));
    EXPECT_EQ(1u, views.count({L"v_one", L"VIEW"}));
    EXPECT_EQ(0u, views.count({L"t_one", L"TABLE"}));
}

TEST_P(Conformance, TransactionsCommitOrRollBack) {
    Exec(L"CREATE TABLE x(a int)");
    EXPECT_EQ(1, m_pConn->BeginTrans());
    Exec(L"INSERT INTO x VALUES (1)");
    EXPECT_EQ(1, Count(L"x")); // seen inside the transaction
    m_pConn->RollbackTrans();
    EXPECT_EQ(0, Count(L"x"));
    m_pConn->BeginTrans();
    Exec(L"INSERT INTO x VALUES (2)");
    m_pConn->CommitTrans();
    EXPECT_EQ(1, Count(L"x"));
    EXPECT_EQ(XACT_E_NOTRANSACTION, AdoCatch([&] { m_pConn->CommitTrans(); }).hr);
    EXPECT_EQ(XACT_E_NOTRANSACTION, AdoCatch([&] { m_pConn->RollbackTrans(); }).hr);
    // Back to committing every statement.
    Exec(L"INSERT INTO x VALUES (3)");
    _ConnectionPtr pOther = Open(m_pDb->Connection());
    EXPECT_EQ(2, static_cast<LONG>(pOther->Execute(L"SELECT count(*) FROM x", nullptr, adCmdText)
                                       ->GetFields()
                                       ->GetItem(0L)
                                       ->GetValue()));
}

INSTANTIATE_TEST_SUITE_P(Backends, Conformance,
                         ::testing::Values(Backend::kSqlite, Backend::kSqliteOdbc,
                                           Backend::kPostgres),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                             return std::string(BackendName(info.param));
                         });

} // namespace

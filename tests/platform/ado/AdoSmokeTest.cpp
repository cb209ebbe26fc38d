#include <gtest/gtest.h>

#include "platform/ado/AdoInterfaces.h"

TEST(AdoSmoke, OpenExecuteRead) {
    CoInitialize(nullptr);
    {
        _ConnectionPtr pConn;
        ASSERT_EQ(S_OK, pConn.CreateInstance(L"ADODB.Connection"));
        pConn->Open(L"Provider=SQLite; Data Source=:memory:", L"", L"", adConnectUnspecified);
        pConn->Execute(L"CREATE TABLE t(id int, name nvarchar(20), d datetime, b image)", nullptr,
                       adCmdText);
        pConn->Execute(
            L"INSERT INTO t VALUES (1, 'ab', '2024-01-02 03:04:05', x'0102'), (2, NULL, 'x', NULL)",
            nullptr, adCmdText);
        _RecordsetPtr pRs = pConn->Execute(L"SELECT * FROM t", nullptr, adCmdText);
        ASSERT_TRUE(pRs);
        FieldsPtr pFields = pRs->GetFields();
        EXPECT_EQ(4, pFields->GetCount());
        EXPECT_EQ(adVarWChar, pFields->GetItem(1L)->GetType());
        EXPECT_EQ(20, pFields->GetItem(L"NAME")->GetDefinedSize());
        _variant_t v = pFields->GetItem(2L)->GetValue();
        EXPECT_EQ(VT_DATE, v.vt);
        EXPECT_FALSE(pRs->GetadoEOF());
        pRs->MoveNext();
        EXPECT_EQ(VT_NULL, pFields->GetItem(1L)->GetValue().vt);
        EXPECT_EQ(VT_BSTR, pFields->GetItem(2L)->GetValue().vt);
        pRs->MoveNext();
        EXPECT_TRUE(pRs->GetadoEOF());
        bool bRaised = false;
        try {
            pConn->Execute(L"SELEC nonsense", nullptr, adCmdText);
        } catch (_com_error& e) {
            bRaised = true;
            EXPECT_EQ(DB_E_ERRORSINCOMMAND, e.Error());
            EXPECT_STREQ(L"SQLite", static_cast<const wchar_t*>(e.Source()));
        }
        EXPECT_TRUE(bRaised);
        pConn->Close();
    }
    CoUninitialize();
}

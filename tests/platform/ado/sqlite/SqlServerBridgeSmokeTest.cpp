#include <gtest/gtest.h>

#include "platform/ado/AdoInterfaces.h"

TEST(BridgeSmoke, CreateAndReadCatalogue) {
    CoInitialize(nullptr);
    {
        _ConnectionPtr pConn;
        pConn.CreateInstance(L"ADODB.Connection");
        pConn->Open(L"Provider=SQLite; Data Source=:memory:; Initial Catalog=db", L"", L"", -1);
        pConn->Execute(L"CREATE TABLE [db].[dbo].[T] ([ID] int PRIMARY KEY,[Name] varchar (50) NULL,[Created] datetime DEFAULT GETDATE(),[Photo] image NULL,[Memo] text NULL,[Score] float NOT NULL)", nullptr, 1);
        _RecordsetPtr pRs = pConn->Execute(L"SELECT name, xtype, length FROM db.dbo.syscolumns WHERE id = (SELECT id FROM db.dbo.sysobjects WHERE name = 'T') ORDER BY colid", nullptr, 1);
        std::wstring got;
        while (!pRs->GetadoEOF()) {
            for (long i = 0; i < 3; ++i) {
                _variant_t v = pRs->GetFields()->GetItem(i)->GetValue();
                v.ChangeType(VT_BSTR);
                got += v.bstrVal;
                got += L' ';
            }
            got += L'|';
            pRs->MoveNext();
        }
        EXPECT_EQ(L"ID 56 4 |Name 167 50 |Created 61 8 |Photo 34 16 |Memo 35 16 |Score 62 8 |", got);
        pConn->Execute(L"INSERT INTO db..T (ID, Score) VALUES (1, 2.5)", nullptr, 1);
        _RecordsetPtr pTop = pConn->Execute(L"SELECT TOP 1 Created, LEN(N'ab  '), ISNULL(Memo, 'none') FROM dbo.T -- trailing", nullptr, 1);
        _variant_t created = pTop->GetFields()->GetItem(0L)->GetValue();
        EXPECT_EQ(VT_DATE, created.vt);
        EXPECT_EQ(2, (int)pTop->GetFields()->GetItem(1L)->GetValue());
        try {
            pConn->Execute(L"SELECT name FROM other.dbo.sysobjects", nullptr, 1);
            ADD_FAILURE();
        } catch (_com_error& e) {
            EXPECT_EQ(DB_E_ERRORSINCOMMAND, e.Error());
            EXPECT_STREQ(L"Database 'other' does not exist. Make sure that the name is entered correctly.", (const wchar_t*)e.Description());
        }
    }
    CoUninitialize();
}

#include <filesystem>
#include <map>

#include "platform/ado/ConnectionString.h"
#include "platform/win/TextEncoding.h"
#include "AdoTestSupport.h"

namespace {

typedef std::map<std::wstring, std::wstring> Pairs;

Pairs Parse(const std::wstring& text, bool* pbOk) {
    Pairs pairs{{L"stale", L"x"}};
    *pbOk = AdoParseConnectionString(text, &pairs);
    return pairs;
}

} // namespace

TEST(ConnectionString, PairsKeysAndQuotedValues) {
    bool bOk = false;
    EXPECT_EQ((Pairs{{L"provider", L"SQLite"}, {L"data source", L"/tmp/a b.db"}}),
              Parse(L"  PROVIDER = SQLite ;Data Source=  /tmp/a b.db  ", &bOk));
    EXPECT_TRUE(bOk);
    // Quotes keep separators and blanks; a doubled quote stands for one, the other kind is
    // plain text.
    EXPECT_EQ((Pairs{{L"a", L" x;y "}, {L"b", L"it's"}, {L"c", L"say \"hi\""}, {L"d", L"o'k"}}),
              Parse(L"a=' x;y ' ; b='it''s';c=\"say \"\"hi\"\"\";d=\"o'k\"", &bOk));
    EXPECT_TRUE(bOk);
    // Empty pieces, empty values, '=' inside a value, the last of repeated keys.
    EXPECT_EQ((Pairs{{L"pwd", L"a=b"}, {L"uid", L""}, {L"dsn", L"second"}}),
              Parse(L";; DSN=first;;PWD=a=b; UID=;dsn=second;  ; ", &bOk));
    EXPECT_TRUE(bOk);
    EXPECT_EQ(Pairs{}, Parse(L"", &bOk));
    EXPECT_TRUE(bOk);
    EXPECT_EQ(Pairs{}, Parse(L" ; ;", &bOk));
    EXPECT_TRUE(bOk);
    EXPECT_EQ((Pairs{{L"x", L"\u00e9\U0001D11E"}}), Parse(L"X='\u00e9\U0001D11E'", &bOk));
    EXPECT_TRUE(bOk);
}

TEST(ConnectionString, MalformedTextIsRejected) {
    for (const wchar_t* psz :
         {L"Provider", L"Provider=SQLite; Data Source", L"=x", L" = x;a=1", L"a=1;b;c=2",
          L"a='unclosed", L"a=\"x\"\"", L"a='x' y;b=1", L"a=\"x\"z"}) {
        bool bOk = true;
        Parse(psz, &bOk);
        EXPECT_FALSE(bOk) << WinWideToUtf8(psz);
    }
}

class ConnectionStringOpen : public AdoTest {};

TEST_F(ConnectionStringOpen, KeysAndQuotedPathsReachTheProvider) {
    // A quoted Data Source keeps ';' and blanks; characters beyond the basic plane reach the
    // file system as UTF-8.
    const std::string name = "a;b c \xC3\xA9\xF0\x9D\x84\x9E.db";
    const std::wstring strConnection = L"  pRoViDeR = sqlite ;;DATA SOURCE=\"" +
                                       m_dir.WideFile("a;b c ") + L"\u00e9\U0001D11E.db\"; ";
    _ConnectionPtr pConn = Open(strConnection);
    ASSERT_TRUE(pConn);
    EXPECT_EQ(adStateOpen, pConn->GetState());
    EXPECT_EQ(strConnection, std::wstring(pConn->GetConnectionString()));
    pConn->Execute(L"CREATE TABLE t(a int)", nullptr, adCmdText);
    EXPECT_TRUE(std::filesystem::exists(m_dir.File(name)));
    pConn->Close();
    EXPECT_EQ(1u, ComRefCount(pConn));
}

TEST_F(ConnectionStringOpen, MissingOrUnknownProviderAndBadText) {
    const std::wstring strNotFound = L"Provider cannot be found. It may not be properly installed.";
    _ConnectionPtr pConn;
    ASSERT_EQ(S_OK, pConn.CreateInstance(L"ADODB.Connection"));
    // No provider (or ODBC) goes to the driver manager, which knows no data source "zqk_x".
    for (const wchar_t* psz : {L"DSN=zqk_x; UID=sa; PWD=pw", L"Provider=odbc; DSN=zqk_x"}) {
        AdoRaised r = AdoCatch([&] { pConn->Open(psz, L"", L"", adConnectUnspecified); });
        EXPECT_EQ(E_FAIL, r.hr) << WinWideToUtf8(psz);
        EXPECT_EQ(L"ODBC", r.source);
        EXPECT_NE(std::wstring::npos, r.description.find(L"Data source name not found"))
            << WinWideToUtf8(r.description);
        EXPECT_EQ(adStateClosed, pConn->GetState());
    }
    for (const wchar_t* psz :
         {L"Provider=Jet; Data Source=:memory:", L"Provider=; Data Source=x"}) {
        AdoRaised r = AdoCatch([&] { pConn->Open(psz, L"", L"", adConnectUnspecified); });
        EXPECT_EQ(static_cast<HRESULT>(0x800A0E7A), r.hr) << WinWideToUtf8(psz);
        EXPECT_EQ(L"ADODB.Connection", r.source);
        EXPECT_EQ(strNotFound, r.description);
        EXPECT_EQ(adStateClosed, pConn->GetState());
    }
    AdoRaised r = AdoCatch(
        [&] { pConn->Open(L"Provider=SQLite; Data Source", L"", L"", adConnectUnspecified); });
    EXPECT_EQ(E_FAIL, r.hr);
    EXPECT_EQ(L"ADODB.Connection", r.source);
    EXPECT_EQ(adStateClosed, pConn->GetState());
    // Without a Data Source the embedded provider has nothing to open.
    r = AdoCatch([&] { pConn->Open(L"Provider=SQLite", L"", L"", adConnectUnspecified); });
    EXPECT_EQ(E_FAIL, r.hr);
    EXPECT_EQ(L"SQLite", r.source);
    // The string set as the property is used when Open is given none.
    pConn->PutConnectionString(L"Provider=SQLite;Data Source=:memory:");
    pConn->Open(L"", L"", L"", adConnectUnspecified);
    EXPECT_EQ(adStateOpen, pConn->GetState());
    EXPECT_EQ(std::wstring(L"Provider=SQLite;Data Source=:memory:"),
              std::wstring(pConn->GetConnectionString()));
    pConn->Close();
    EXPECT_EQ(1u, ComRefCount(pConn));
}

// Whole binary values between fields and files. This library's fields lend their stored bytes to
// the file and take the file's array over; a Field of any other implementation goes through
// GetChunk and AppendChunk. Both must give the same files and values.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/FieldTransfer.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "zqk_vododuvod.h"

namespace {

class Packer : public CZORPackageDbOper {
public:
    using CZORPackageDbOper::MakeFileFromVariant;
    void AppendVariantToField(Field* pField, VARIANT& var) {
        ZqkAppendChunkTakingOver(pField, var);
    }
    // As the unpacker writes a field: lent where it can be, through GetChunk otherwise.
    int MakeFileFromField(CString& strFile, Field* pField, long nSize) {
        if (ZqkWriteLentField(strFile, pField, nSize))
            return 1;
        _variant_t varData = pField->GetChunk(nSize);
        return MakeFileFromVariant(strFile, varData, nSize);
    }
};

std::vector<BYTE> Pattern(size_t n) {
    std::vector<BYTE> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<BYTE>((i * 13 + i / 509) % 256);
    return bytes;
}

_variant_t ByteArray(const std::vector<BYTE>& bytes) {
    _variant_t v;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    v.vt = VT_ARRAY | VT_UI1;
    if (!bytes.empty())
        std::memcpy(v.parray->pvData, bytes.data(), bytes.size());
    return v;
}

// A Field of another implementation: its value in memory, handed out in pieces by GetChunk as
// the interface describes, and the chunks appended to it collected.
class CForeignField : public CComDispatchStub<CComObjectRoot<Field>> {
public:
    std::vector<BYTE> m_value;
    size_t m_nOffset = 0;
    std::vector<BYTE> m_appended;

    HRESULT get_Value(VARIANT*) override { return E_NOTIMPL; }
    HRESULT put_Value(VARIANT) override { return E_NOTIMPL; }
    HRESULT get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_Type(DataTypeEnum*) override { return E_NOTIMPL; }
    HRESULT get_DefinedSize(LONG*) override { return E_NOTIMPL; }
    HRESULT get_Precision(BYTE*) override { return E_NOTIMPL; }
    HRESULT get_NumericScale(BYTE*) override { return E_NOTIMPL; }
    HRESULT get_ActualSize(LONG* pl) override {
        *pl = static_cast<LONG>(m_value.size());
        return S_OK;
    }
    HRESULT raw_AppendChunk(VARIANT Data) override {
        if (Data.vt != (VT_ARRAY | VT_UI1))
            return E_INVALIDARG;
        auto* p = static_cast<const BYTE*>(Data.parray->pvData);
        m_appended.insert(m_appended.end(), p, p + Data.parray->rgsabound[0].cElements);
        return S_OK;
    }
    HRESULT raw_GetChunk(LONG Length, VARIANT* pvar) override {
        VariantInit(pvar);
        if (m_nOffset >= m_value.size()) {
            pvar->vt = VT_NULL;
            return S_OK;
        }
        size_t n = std::min(static_cast<size_t>(Length), m_value.size() - m_nOffset);
        std::vector<BYTE> piece(m_value.begin() + m_nOffset, m_value.begin() + m_nOffset + n);
        m_nOffset += n;
        *pvar = ByteArray(piece).Detach();
        return S_OK;
    }
};

class FieldFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(S_OK, m_pConn.CreateInstance(L"ADODB.Connection"));
        std::string db = m_dir.File("f.db");
        m_pConn->Open(
            (L"Provider=SQLite; Data Source=" + std::wstring(db.begin(), db.end())).c_str(), L"",
            L"", adConnectUnspecified);
        m_pConn->Execute(L"CREATE TABLE docs(id integer PRIMARY KEY, data image)", nullptr,
                         adCmdText);
    }
    void TearDown() override {
        m_pConn = nullptr;
        CoUninitialize();
    }

    TempDir m_dir;
    _ConnectionPtr m_pConn;
    Packer m_packer;
};

TEST_F(FieldFileTest, ValuesGoInAndOutWithExactlyTheirBytesThroughEitherKindOfField) {
    const size_t kSizes[] = {0, 1, 4097, 3000001};
    // In: this library's field takes the array over; the foreign one is appended a copy.
    _RecordsetPtr pAdd;
    ASSERT_EQ(S_OK, pAdd.CreateInstance(L"ADODB.Recordset"));
    pAdd->Open(L"docs", _variant_t(static_cast<IDispatch*>(m_pConn.GetInterfacePtr())),
               adOpenKeyset, adLockOptimistic, adCmdTable);
    for (size_t n : kSizes) {
        SCOPED_TRACE(n);
        pAdd->AddNew();
        _variant_t value = ByteArray(Pattern(n));
        m_packer.AppendVariantToField(pAdd->GetFields()->GetItem(L"data"), value);
        EXPECT_EQ(VT_EMPTY, value.vt);
        pAdd->Update();

        auto* pForeign = new CForeignField;
        _variant_t copy = ByteArray(Pattern(n));
        SAFEARRAY* psa = copy.parray;
        m_packer.AppendVariantToField(pForeign, copy);
        EXPECT_EQ(psa, copy.parray); // still the caller's
        EXPECT_TRUE(pForeign->m_appended == Pattern(n));
        pForeign->Release();
    }
    pAdd->Close();

    // Out, whole and as a shorter prefix, from both kinds of field.
    _RecordsetPtr pRs = m_pConn->Execute(L"SELECT data FROM docs ORDER BY id", nullptr, adCmdText);
    FieldPtr pField = pRs->GetFields()->GetItem(L"data");
    CString strOut(m_dir.File("out.bin").c_str());
    for (size_t n : kSizes) {
        SCOPED_TRACE(n);
        ASSERT_EQ(static_cast<LONG>(n), pField->GetActualSize());
        if (n == 0) {
            pRs->MoveNext();
            continue; // nothing to write: the packer returns before
        }
        EXPECT_EQ(1, m_packer.MakeFileFromField(strOut, pField, static_cast<long>(n)));
        EXPECT_TRUE(ReadFile(m_dir.File("out.bin")) == Pattern(n));
        // The value was handed out whole: what is left of it is nothing.
        EXPECT_EQ(VT_NULL, pField->GetChunk(1).vt);
        pRs->MoveNext();

        auto* pForeign = new CForeignField;
        pForeign->m_value = Pattern(n);
        EXPECT_EQ(1, m_packer.MakeFileFromField(strOut, pForeign, static_cast<long>(n)));
        EXPECT_TRUE(ReadFile(m_dir.File("out.bin")) == Pattern(n));
        pForeign->Release();
    }
    pRs->Close();

    pRs = m_pConn->Execute(L"SELECT data FROM docs WHERE id = 3", nullptr, adCmdText);
    std::vector<BYTE> prefix = Pattern(4000);
    EXPECT_EQ(1, m_packer.MakeFileFromField(strOut, pRs->GetFields()->GetItem(L"data"), 4000));
    EXPECT_TRUE(ReadFile(m_dir.File("out.bin")) == prefix);
    auto* pForeign = new CForeignField;
    pForeign->m_value = Pattern(4097);
    EXPECT_EQ(1, m_packer.MakeFileFromField(strOut, pForeign, 4000));
    EXPECT_TRUE(ReadFile(m_dir.File("out.bin")) == prefix);
    pForeign->Release();

    // A file that cannot be created is not reported, from either kind of field.
    pRs = m_pConn->Execute(L"SELECT data FROM docs WHERE id = 2", nullptr, adCmdText);
    CString strBad(m_dir.File("no-such-folder/out.bin").c_str());
    EXPECT_EQ(1, m_packer.MakeFileFromField(strBad, pRs->GetFields()->GetItem(L"data"), 1));
    struct stat st;
    EXPECT_NE(0, ::stat(m_dir.File("no-such-folder").c_str(), &st));
}

} // namespace

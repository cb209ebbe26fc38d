#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "ZORPackageDbOper.h"
#include "platform/afx/afx.h"
#include "platform/com/comdef.h"
#include "support/RecordingApp.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

namespace {

// The conversions are the packer's own helpers; the test reaches them as a derived class.
class Packer : public CZORPackageDbOper {
public:
    using CZORPackageDbOper::GetConvertValue;
    using CZORPackageDbOper::MakeFileFromVariant;
    using CZORPackageDbOper::MakeVariantFromFile;
    CZORADORXServer* Server() const { return m_pDbSrv; }
};

std::vector<unsigned char> Pattern(size_t n) {
    std::vector<unsigned char> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<unsigned char>((i * 7 + i / 251) % 256);
    return bytes;
}

// A file of that many zero bytes, without writing them.
void SparseFile(const std::string& path, off_t nSize) {
    WriteFile(path, {});
    ASSERT_EQ(0, ::truncate(path.c_str(), nSize));
}

std::vector<unsigned char> ArrayBytes(VARIANT& var) {
    EXPECT_EQ(VT_ARRAY | VT_UI1, var.vt);
    LONG lower = -1, upper = -2;
    EXPECT_EQ(S_OK, SafeArrayGetLBound(var.parray, 1, &lower));
    EXPECT_EQ(S_OK, SafeArrayGetUBound(var.parray, 1, &upper));
    EXPECT_EQ(0, lower);
    void* p = nullptr;
    SafeArrayAccessData(var.parray, &p);
    auto* b = static_cast<unsigned char*>(p);
    std::vector<unsigned char> bytes(b, b + (upper + 1));
    SafeArrayUnaccessData(var.parray);
    return bytes;
}

} // namespace

TEST(CZORPackageDbOper, ConstructionCopyAndServer) {
    Packer a;
    EXPECT_EQ(nullptr, a.Server());
    auto* pFake = reinterpret_cast<CZORADORXServer*>(0x1000); // never used, only stored
    a.SetDbSrv(pFake);
    Packer b(a);
    EXPECT_EQ(pFake, b.Server());
    Packer c;
    c = a;
    EXPECT_EQ(pFake, c.Server());
    a.SetDbSrv(nullptr);
    EXPECT_EQ(nullptr, a.Server());
    EXPECT_EQ(pFake, b.Server());
}

TEST(CZORPackageDbOper, FilesBecomeByteArrays) {
    RecordingApp app;
    TempDir dir;
    Packer packer;

    WriteFile(dir.File("empty.bin"), {});
    VARIANT var;
    VariantInit(&var);
    CString strEmpty(dir.File("empty.bin").c_str());
    EXPECT_EQ(1, packer.MakeVariantFromFile(var, strEmpty));
    EXPECT_TRUE(ArrayBytes(var).empty());
    VariantClear(&var);

    // One full block and one block of a single byte, in order.
    std::vector<unsigned char> bytes = Pattern(4097);
    WriteFile(dir.File("block.bin"), bytes);
    CString strBlock(dir.File("block.bin").c_str());
    EXPECT_EQ(1, packer.MakeVariantFromFile(var, strBlock));
    EXPECT_EQ(bytes, ArrayBytes(var));
    VariantClear(&var);
    EXPECT_EQ((std::vector<int>{1, -1, 1, -1}), app.m_waitCodes);

    // A missing file leaves the variant alone.
    var.vt = VT_I4;
    var.lVal = 77;
    CString strMissing(dir.File("missing.bin").c_str());
    EXPECT_EQ(0, packer.MakeVariantFromFile(var, strMissing));
    EXPECT_EQ(VT_I4, var.vt);
    EXPECT_EQ(77, var.lVal);
    // So does an empty name: it names no file, not the current folder's first one.
    CString strNoName;
    EXPECT_EQ(0, packer.MakeVariantFromFile(var, strNoName));
    EXPECT_EQ(VT_I4, var.vt);
    EXPECT_EQ(77, var.lVal);
    EXPECT_TRUE(app.m_boxes.empty());

    // A folder is found but cannot be read as a file.
    ASSERT_EQ(0, ::mkdir(dir.File("folder").c_str(), 0755));
    CString strFolder(dir.File("folder").c_str());
    bool bRaised = false;
    try {
        packer.MakeVariantFromFile(var, strFolder);
    } catch (CFileException* e) {
        bRaised = true;
        e->Delete();
    }
    EXPECT_TRUE(bRaised);
    EXPECT_EQ(VT_I4, var.vt);

    // A file holding more than its length says (as those under /proc do) does not fit.
    CString strLonger(L"/proc/self/status");
    SCODE sc = S_OK;
    try {
        packer.MakeVariantFromFile(var, strLonger);
    } catch (COleException* e) {
        sc = e->m_sc;
        e->Delete();
    }
    EXPECT_EQ(DISP_E_BADINDEX, sc);
    EXPECT_EQ(VT_I4, var.vt);

    // A file holding less than its length says (as those under /sys do) ends in zeros, also
    // where the array's memory held other bytes before.
    const char kShort[] = "/sys/devices/system/cpu/online";
    struct stat st;
    if (::stat(kShort, &st) == 0 && st.st_size == 4096) {
        std::vector<unsigned char> content = ReadFile(kShort);
        ASSERT_LT(content.size(), 4096u);
        for (size_t n = 4096; n < 4200; n += 8) {
            void* pOld = std::malloc(n);
            std::memset(pOld, 0xAB, n);
            std::free(pOld);
        }
        CString strShort(kShort);
        ASSERT_EQ(1, packer.MakeVariantFromFile(var, strShort));
        content.resize(4096, 0);
        EXPECT_TRUE(ArrayBytes(var) == content);
        VariantClear(&var);
    }
}

TEST(CZORPackageDbOper, SizeLimit) {
    RecordingApp app;
    TempDir dir;
    Packer packer;

    SparseFile(dir.File("largest.bin"), 20020000);
    CString strLargest(dir.File("largest.bin").c_str());
    VARIANT var;
    VariantInit(&var);
    EXPECT_EQ(1, packer.MakeVariantFromFile(var, strLargest));
    LONG upper = 0;
    SafeArrayGetUBound(var.parray, 1, &upper);
    EXPECT_EQ(20019999, upper);
    VariantClear(&var);
    EXPECT_TRUE(app.m_boxes.empty());

    SparseFile(dir.File("over.bin"), 20020001);
    CString strOver(dir.File("over.bin").c_str());
    EXPECT_EQ(0, packer.MakeVariantFromFile(var, strOver));
    EXPECT_EQ(VT_EMPTY, var.vt);
    ASSERT_EQ(1u, app.m_boxes.size());
    EXPECT_EQ(L"选择的附件文件过大!建议压缩后再作附件!", app.m_boxes[0].strText);
    EXPECT_EQ(0u, app.m_boxes[0].nType);
    EXPECT_EQ(0u, app.m_boxes[0].nIDHelp);
}

TEST(CZORPackageDbOper, ByteArraysBecomeFiles) {
    TempDir dir;
    Packer packer;
    std::vector<unsigned char> bytes = Pattern(8193);

    COleSafeArray sa;
    sa.CreateOneDim(VT_UI1, static_cast<DWORD>(bytes.size()), bytes.data());
    VARIANT var = sa.Detach();
    CString strOut(dir.File("out.bin").c_str());
    EXPECT_EQ(1, packer.MakeFileFromVariant(strOut, var, 8193));
    EXPECT_EQ(VT_EMPTY, var.vt);
    EXPECT_EQ(bytes, ReadFile(dir.File("out.bin")));

    // A shorter count writes a prefix and empties an existing file first.
    sa.CreateOneDim(VT_UI1, static_cast<DWORD>(bytes.size()), bytes.data());
    var = sa.Detach();
    EXPECT_EQ(1, packer.MakeFileFromVariant(strOut, var, 5000));
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 5000),
              ReadFile(dir.File("out.bin")));

    // Zero or a negative count creates an empty file; a count beyond the array writes the array.
    for (long nSize : {0L, -5L, 100000L}) {
        sa.CreateOneDim(VT_UI1, 10, bytes.data());
        var = sa.Detach();
        EXPECT_EQ(1, packer.MakeFileFromVariant(strOut, var, nSize));
        EXPECT_EQ(nSize > 0 ? 10u : 0u, ReadFile(dir.File("out.bin")).size()) << nSize;
    }

    // A file that cannot be created is not reported; the array is still released.
    sa.CreateOneDim(VT_UI1, 10, bytes.data());
    var = sa.Detach();
    CString strBad(dir.File("no-such-folder/out.bin").c_str());
    EXPECT_EQ(1, packer.MakeFileFromVariant(strBad, var, 10));
    EXPECT_EQ(VT_EMPTY, var.vt);
    EXPECT_NE(0, ::access(dir.File("no-such-folder").c_str(), F_OK));
}

TEST(CZORPackageDbOper, TextBecomesTypedValues) {
    Packer packer;
    struct Case {
        const wchar_t* pszType;
        const wchar_t* pszValue;
        VARTYPE vt;
        double dExpected; // for numbers
    };
    const Case numbers[] = {
        {L"int", L" 42abc", VT_I4, 42},     {L"int", L"-17", VT_I4, -17},
        {L"int", L"x1", VT_I4, 0},          {L"int", L"99999999999", VT_I4, 2147483647},
        {L"float", L"", VT_R8, 0.0},        {L"float", L" 3.5e2x", VT_R8, 350.0},
        {L"float", L"-0.25", VT_R8, -0.25},
    };
    for (const Case& c : numbers) {
        _variant_t var;
        CString strValue(c.pszValue), strType(c.pszType);
        EXPECT_EQ(1, packer.GetConvertValue(var, strValue, strType)) << c.pszValue;
        ASSERT_EQ(c.vt, var.vt) << c.pszValue;
        EXPECT_EQ(c.dExpected, c.vt == VT_I4 ? var.lVal : var.dblVal) << c.pszValue;
    }
    for (const wchar_t* pszType : {L"varchar", L"text", L"datetime"}) {
        _variant_t var;
        CString strValue(L" 2024-01-02 x "), strType(pszType);
        EXPECT_EQ(1, packer.GetConvertValue(var, strValue, strType));
        ASSERT_EQ(VT_BSTR, var.vt);
        EXPECT_STREQ(L" 2024-01-02 x ", var.bstrVal);
    }
    for (const wchar_t* pszType : {L"INT", L"Varchar", L"nvarchar", L""}) {
        _variant_t var;
        CString strValue(L"5"), strType(pszType);
        EXPECT_EQ(0, packer.GetConvertValue(var, strValue, strType)) << pszType;
        EXPECT_EQ(VT_EMPTY, var.vt);
    }
}

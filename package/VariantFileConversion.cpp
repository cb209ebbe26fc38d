// Files to byte-array variants and back, and text to typed column values.
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>

#include "FieldTransfer.h"
#include "PackageMessages.h"
#include "ZORPackageDbOper.h"
#include "platform/afx/COleSafeArray.h"
#include "platform/afx/CFile.h"
#include "platform/afx/CFileFind.h"
#include "platform/afx/CWinApp.h"
#include "platform/afx/Exceptions.h"
#include "platform/win/WinError.h"

namespace {

// The largest file accepted is 20,020,000 bytes: the limit is tested as a ratio.
const double kSizeUnit = 20000000.0;
const double kSizeTolerance = 0.001;

// Keeps an array's data locked while it is read or written, on every way out.
class CAccessedData {
public:
    explicit CAccessedData(COleSafeArray& sa) : m_sa(sa) { m_sa.AccessData(&m_pData); }
    ~CAccessedData() {
        try {
            m_sa.UnaccessData();
        } catch (CException* e) {
            e->Delete();
        }
    }
    BYTE* Bytes() const { return static_cast<BYTE*>(m_pData); }

private:
    COleSafeArray& m_sa;
    void* m_pData = nullptr;
};

// _wtol: leading white space, an optional sign, decimal digits up to the first other
// character; 0 without digits; out-of-range values saturate.
long ParseLong(const wchar_t* psz) {
    errno = 0;
    long long n = wcstoll(psz, nullptr, 10);
    if (n > INT32_MAX)
        return INT32_MAX;
    if (n < INT32_MIN)
        return INT32_MIN;
    return static_cast<long>(n);
}

// _wtof: as wcstod, 0.0 when no number can be read.
double ParseDouble(const wchar_t* psz) {
    return wcstod(psz, nullptr);
}

} // namespace

int CZORPackageDbOper::MakeVariantFromFile(VARIANT& var, CString& strFile) {
    CFileFind finder;
    if (!finder.FindFile(strFile))
        return 0;
    finder.Close();

    CFile file;
    CFileException fe;
    if (!file.Open(strFile, CFile::modeRead, &fe))
        AfxThrowFileException(fe.m_cause, fe.m_lOsError, fe.m_strFileName);
    DWORD dwLength = static_cast<DWORD>(file.GetLength());
    if (dwLength / kSizeUnit - 1.0 > kSizeTolerance) {
        AfxMessageBox(kMsgAttachmentTooLarge, MB_OK);
        file.Close();
        return 0;
    }

    // The array is not cleared first: the read overwrites it, and only a file that shrank
    // leaves an end to clear.
    SAFEARRAY* psa = ZqkSafeArrayCreateVectorUnset(VT_UI1, 0, dwLength);
    if (psa == nullptr)
        AfxThrowMemoryException();
    VARIANT varArray;
    varArray.vt = VT_ARRAY | VT_UI1;
    varArray.parray = psa;
    COleSafeArray sa;
    sa.Attach(varArray);
    CWaitCursor wait;
    {
        // Straight into the array, which a file that shrank leaves zero-filled at the end.
        CAccessedData data(sa);
        UINT nRead = file.Read(data.Bytes(), dwLength);
        if (nRead < dwLength)
            std::memset(data.Bytes() + nRead, 0, dwLength - nRead);
        // A file that grew since its length was taken does not fit the array.
        BYTE byMore;
        if (file.Read(&byMore, 1) != 0)
            AfxThrowOleException(DISP_E_BADINDEX);
    }
    file.Close();
    var = sa.Detach();
    return 1;
}

int CZORPackageDbOper::MakeFileFromVariant(CString& strFile, VARIANT& var, long nSize) {
    COleSafeArray sa;
    sa.Attach(var);
    {
        CAccessedData data(sa);
        // Never more than the array holds.
        long long nAvailable = static_cast<long long>(sa.GetOneDimSize()) * sa.GetElemSize();
        long long nWrite = nSize < 0 ? 0 : (nSize < nAvailable ? nSize : nAvailable);
        ZqkWriteBytesToFile(strFile, data.Bytes(), static_cast<UINT>(nWrite));
    }
    sa.Clear();
    return 1;
}

int CZORPackageDbOper::GetConvertValue(_variant_t& var, CString& strValue, CString& strType) {
    if (strType == L"varchar" || strType == L"text" || strType == L"datetime") {
        var = static_cast<LPCWSTR>(strValue);
        return 1;
    }
    if (strType == L"int") {
        var = static_cast<int>(ParseLong(strValue));
        return 1;
    }
    if (strType == L"float") {
        var = ParseDouble(strValue);
        return 1;
    }
    return 0;
}

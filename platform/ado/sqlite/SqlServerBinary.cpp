#include "platform/ado/sqlite/SqlServerBinary.h"

#include "platform/win/TextEncoding.h"

namespace {

// The characters code page 1252 puts at 0x80 to 0x9F; 0 where a byte stands for itself there.
const wchar_t k1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                               0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Where a value's bytes are cut and padded.
enum class BinarySide { kRight, kLeft };

// The bytes fitted to the type: binary(n) holds exactly n, varbinary(n) at most n, varbinary(max)
// and image any number.
void Fit(const CSqlDeclaredType& to, BinarySide nSide, std::string* pBytes) {
    if (to.bMax || to.pRow->nLength != 0)
        return;
    size_t nLength = static_cast<size_t>(to.nLength);
    if (pBytes->size() > nLength)
        pBytes->erase(nSide == BinarySide::kRight ? nLength : 0, pBytes->size() - nLength);
    bool bFixed = to.pRow->nAdoType == adBinary;
    if (bFixed && pBytes->size() < nLength)
        pBytes->insert(nSide == BinarySide::kRight ? pBytes->size() : 0, nLength - pBytes->size(),
                       '\0');
}

int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// Text of hexadecimal digits (after "0x" for style 1, without it for style 2) as its bytes;
// false for an odd number of digits or anything that is no digit.
bool ReadHex(const std::string& text, int nStyle, std::string* pBytes) {
    size_t nFrom = 0;
    if (nStyle == 1) {
        if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
            return false;
        nFrom = 2;
    }
    if ((text.size() - nFrom) % 2 != 0)
        return false;
    pBytes->clear();
    for (size_t i = nFrom; i < text.size(); i += 2) {
        int nHigh = HexDigit(text[i]), nLow = HexDigit(text[i + 1]);
        if (nHigh < 0 || nLow < 0)
            return false;
        pBytes->push_back(static_cast<char>(nHigh * 16 + nLow));
    }
    return true;
}

// A character as the default collation's code page (1252) holds it; '?' where it has none.
unsigned char CodePage1252Byte(wchar_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return static_cast<unsigned char>(ch);
    for (int i = 0; i < 32; ++i)
        if (k1252High[i] != 0 ? k1252High[i] == ch : ch == 0x80 + i)
            return static_cast<unsigned char>(0x80 + i);
    return '?';
}

} // namespace

SqlBinaryResult SqlConvertToBinary(const CSqlDeclaredType& to, const CSqlDeclaredType& from,
                                   int nStyle, CSqlValue* pValue, std::wstring* pstrError) {
    CSqlValue& v = *pValue;
    const CSqlServerTypeRow& target = *to.pRow;
    if (target.nClass != SqlTypeClass::kBinary || target.nXtype == 189) // not timestamp
        return SqlBinaryResult::kKept;
    if (v.nClass == SQLITE_NULL)
        return SqlBinaryResult::kConverted;
    SqlTypeClass nFrom = from.pRow->nClass;
    std::string bytes;
    BinarySide nSide = BinarySide::kRight;
    if (v.nClass == SQLITE_BLOB) {
        bytes = v.s;
    } else if (v.nClass == SQLITE_TEXT && nFrom == SqlTypeClass::kChar &&
               (nStyle == 1 || nStyle == 2)) {
        if (!ReadHex(v.s, nStyle, &bytes)) {
            *pstrError =
                L"Error converting data type varchar to " + WinUtf8ToWide(target.pszName) + L".";
            return SqlBinaryResult::kFailed;
        }
    } else if (v.nClass == SQLITE_TEXT && nFrom == SqlTypeClass::kChar) {
        for (wchar_t ch : WinUtf8ToWide(v.s))
            bytes.push_back(static_cast<char>(CodePage1252Byte(ch)));
    } else if (v.nClass == SQLITE_TEXT && nFrom == SqlTypeClass::kNChar && nStyle != 1 &&
               nStyle != 2) {
        std::wstring w = WinUtf8ToWide(v.s);
        for (char16_t unit : WinWideToUtf16(w.data(), w.size())) {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
    } else if (v.nClass == SQLITE_INTEGER && nFrom == SqlTypeClass::kInteger &&
               target.nLength == 0) { // image takes text and bytes only
        long long nLo = 0, nHi = 0;
        if (SqlServerIntegerRange(*from.pRow, &nLo, &nHi) && (v.n < nLo || v.n > nHi))
            return SqlBinaryResult::kKept; // wider than its type says: no bytes to vouch for
        int nWidth = from.StorageLength();
        unsigned long long n = static_cast<unsigned long long>(v.n);
        for (int i = nWidth - 1; i >= 0; --i)
            bytes.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
        nSide = BinarySide::kLeft;
    } else {
        return SqlBinaryResult::kKept;
    }
    Fit(to, nSide, &bytes);
    v = CSqlValue();
    v.nClass = SQLITE_BLOB;
    v.s = std::move(bytes);
    return SqlBinaryResult::kConverted;
}

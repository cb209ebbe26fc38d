#include "platform/ado/sqlite/SqlServerBinary.h"

#include <cstdio>

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

// How values of a type become bytes.
enum class BinaryBytes {
    kCodePage, // characters as code page 1252 holds them
    kUtf16,    // characters as UTF-16LE
    kInteger,  // the number in the type's own width, most significant byte first
    kAsStored, // bytes as they are
    kNotKept,  // a layout of SQL Server's own, which the embedded database does not make
};

// Whether image takes the type's values (SQL Server's conversion table: text of a code page
// and bytes only).
enum class ImageTakes { kNo, kYes };

struct CBinarySource {
    SqlTypeClass nClass;
    BinaryBytes nBytes;
    ImageTakes nImage;
};

const CBinarySource kSources[] = {
    {SqlTypeClass::kInteger, BinaryBytes::kInteger, ImageTakes::kNo},
    {SqlTypeClass::kBit, BinaryBytes::kInteger, ImageTakes::kNo},
    {SqlTypeClass::kExact, BinaryBytes::kNotKept, ImageTakes::kNo},
    {SqlTypeClass::kFloat, BinaryBytes::kNotKept, ImageTakes::kNo},
    {SqlTypeClass::kDate, BinaryBytes::kNotKept, ImageTakes::kNo},
    {SqlTypeClass::kChar, BinaryBytes::kCodePage, ImageTakes::kYes},
    {SqlTypeClass::kNChar, BinaryBytes::kUtf16, ImageTakes::kNo},
    {SqlTypeClass::kBinary, BinaryBytes::kAsStored, ImageTakes::kYes},
    // Whether image takes a uniqueidentifier is not claimed: its layout is refused first.
    {SqlTypeClass::kGuid, BinaryBytes::kNotKept, ImageTakes::kYes},
};

const CBinarySource* SourceOf(SqlTypeClass nClass) {
    for (const CBinarySource& source : kSources)
        if (source.nClass == nClass)
            return &source;
    return nullptr;
}

const CSqlServerTypeRow& Row(const char* pszName) {
    return *SqlServerFindType(pszName);
}

// The type whose bytes the value gets: the rewriter's where the value can be one of it,
// otherwise its storage class's (text varchar, an integer int or, beyond, bigint; bytes
// varbinary); null for a number with a fraction of no known type.
const CSqlServerTypeRow* SourceRow(const CSqlServerTypeRow& from, const CSqlValue& v) {
    static const CSqlServerTypeRow& varbinary = Row("varbinary");
    static const CSqlServerTypeRow& varchar = Row("varchar");
    if (v.nClass == SQLITE_BLOB)
        return &varbinary;
    long long nLo = 0, nHi = 0;
    switch (from.nClass) {
    case SqlTypeClass::kInteger:
        if (v.nClass == SQLITE_INTEGER &&
            (!SqlServerIntegerRange(from, &nLo, &nHi) || (v.n >= nLo && v.n <= nHi)))
            return &from;
        break; // wider than its type says: its bytes are the value's own
    case SqlTypeClass::kBit:
        if (v.nClass == SQLITE_INTEGER)
            return &from;
        break;
    case SqlTypeClass::kExact:
    case SqlTypeClass::kFloat:
    case SqlTypeClass::kDate:
    case SqlTypeClass::kGuid:
    case SqlTypeClass::kChar:
    case SqlTypeClass::kNChar:
        return &from;
    case SqlTypeClass::kBinary:
    case SqlTypeClass::kVariant:
        break;
    }
    if (v.nClass == SQLITE_TEXT)
        return &varchar;
    if (v.nClass == SQLITE_INTEGER)
        return &SqlServerIntegerTypeOf(v.n);
    return nullptr;
}

// A value's characters: text as it is, a number as SQLite writes it.
std::wstring Characters(const CSqlValue& v) {
    if (v.nClass == SQLITE_INTEGER)
        return std::to_wstring(v.n);
    if (v.nClass == SQLITE_FLOAT) {
        char sz[32];
        snprintf(sz, sizeof(sz), "%.15g", v.d);
        return WinUtf8ToWide(sz);
    }
    return WinUtf8ToWide(v.s);
}

} // namespace

unsigned char SqlCodePage1252Byte(wchar_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return static_cast<unsigned char>(ch);
    for (int i = 0; i < 32; ++i)
        if (k1252High[i] != 0 ? k1252High[i] == ch : ch == 0x80 + i)
            return static_cast<unsigned char>(0x80 + i);
    return '?';
}

SqlBinaryResult SqlConvertToBinary(const CSqlDeclaredType& to, const CSqlDeclaredType& from,
                                   int nStyle, CSqlValue* pValue, std::wstring* pstrError) {
    CSqlValue& v = *pValue;
    const CSqlServerTypeRow& target = *to.pRow;
    if (target.nClass != SqlTypeClass::kBinary || target.nXtype == 189) // not timestamp
        return SqlBinaryResult::kKept;
    const std::wstring strTo = WinUtf8ToWide(target.pszName);
    // A type image never takes is refused whatever the value, as SQL Server refuses it when
    // it compiles the statement; NULL of a type not known converts.
    const CSqlServerTypeRow* pFrom = v.nClass == SQLITE_NULL ? from.pRow : SourceRow(*from.pRow, v);
    const CBinarySource* pSource = pFrom ? SourceOf(pFrom->nClass) : nullptr;
    const bool bImage = target.nLength != 0;
    if (bImage && pSource && pSource->nImage == ImageTakes::kNo) {
        *pstrError = L"Explicit conversion from data type " + WinUtf8ToWide(pFrom->pszName) +
                     L" to " + strTo + L" is not allowed.";
        return SqlBinaryResult::kRefused;
    }
    if (!pFrom || (pSource && pSource->nBytes == BinaryBytes::kNotKept)) {
        std::wstring strFrom =
            pFrom ? L"data type " + WinUtf8ToWide(pFrom->pszName) : L"a decimal or float value";
        *pstrError = L"Conversion of " + strFrom + L" to " + strTo +
                     L" is not supported by the embedded database: it does not lay out those "
                     L"bytes as SQL Server does.";
        return SqlBinaryResult::kRefused;
    }
    if (v.nClass == SQLITE_NULL)
        return SqlBinaryResult::kConverted;
    const bool bHex = nStyle == 1 || nStyle == 2;
    std::string bytes;
    BinarySide nSide = BinarySide::kRight;
    switch (pSource ? pSource->nBytes : BinaryBytes::kAsStored) {
    case BinaryBytes::kCodePage:
        if (bHex) {
            if (!ReadHex(WinWideToUtf8(Characters(v)), nStyle, &bytes)) {
                *pstrError = L"Error converting data type varchar to " + strTo + L".";
                return SqlBinaryResult::kFailed;
            }
            break;
        }
        for (wchar_t ch : Characters(v))
            bytes.push_back(static_cast<char>(SqlCodePage1252Byte(ch)));
        break;
    case BinaryBytes::kUtf16: {
        // CONVERT's hexadecimal styles are SQL Server's for char and varchar values.
        if (bHex) {
            *pstrError = L"CONVERT style " + std::to_wstring(nStyle) +
                         L" reads hexadecimal digits from char and varchar values only on the "
                         L"embedded database; convert the nvarchar value to varchar first.";
            return SqlBinaryResult::kRefused;
        }
        std::wstring w = Characters(v);
        for (char16_t unit : WinWideToUtf16(w.data(), w.size())) {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
        break;
    }
    case BinaryBytes::kInteger: {
        unsigned long long n = static_cast<unsigned long long>(v.n);
        if (pFrom->nClass == SqlTypeClass::kBit)
            n = v.n != 0;
        for (int i = pFrom->nLength - 1; i >= 0; --i)
            bytes.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
        nSide = BinarySide::kLeft;
        break;
    }
    case BinaryBytes::kAsStored:
    case BinaryBytes::kNotKept:
        bytes = v.s;
        break;
    }
    Fit(to, nSide, &bytes);
    v = CSqlValue();
    v.nClass = SQLITE_BLOB;
    v.s = std::move(bytes);
    return SqlBinaryResult::kConverted;
}

#include "platform/ado/sqlite/SqliteVariables.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cwctype>

#include "platform/win/TextEncoding.h"

namespace {

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string NumberText(double d) {
    char sz[64];
    snprintf(sz, sizeof(sz), "%.15g", d);
    return sz;
}

} // namespace

std::wstring CSqlBatchVariables::Undeclared(const std::wstring& strName) {
    return L"Must declare the scalar variable \"" + strName + L"\".";
}

void CSqlBatchVariables::Declare(const std::wstring& strName, const std::wstring& strType) {
    CVariable v;
    v.type = SqlServerParseType(strType);
    m_variables[Lower(strName)] = v;
}

bool CSqlBatchVariables::Bind(sqlite3_stmt* pStmt, std::wstring* pstrError) const {
    for (int i = 1; i <= sqlite3_bind_parameter_count(pStmt); ++i) {
        const char* pszName = sqlite3_bind_parameter_name(pStmt, i);
        if (pszName == nullptr || pszName[0] != '@')
            continue;
        std::wstring name = WinUtf8ToWide(pszName);
        auto it = m_variables.find(Lower(name));
        if (it == m_variables.end()) {
            *pstrError = Undeclared(name);
            return false;
        }
        const CValue& v = it->second.value;
        switch (v.nClass) {
        case SQLITE_INTEGER:
            sqlite3_bind_int64(pStmt, i, v.n);
            break;
        case SQLITE_FLOAT:
            sqlite3_bind_double(pStmt, i, v.d);
            break;
        case SQLITE_TEXT:
            sqlite3_bind_text(pStmt, i, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
            break;
        case SQLITE_BLOB:
            sqlite3_bind_blob(pStmt, i, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
            break;
        default:
            sqlite3_bind_null(pStmt, i);
        }
    }
    return true;
}

bool CSqlBatchVariables::Assign(const std::wstring& strName, sqlite3_stmt* pStmt, int nColumn,
                                std::wstring* pstrError) {
    auto it = m_variables.find(Lower(strName));
    if (it == m_variables.end()) {
        *pstrError = Undeclared(strName);
        return false;
    }
    CValue v;
    v.nClass = sqlite3_column_type(pStmt, nColumn);
    if (v.nClass == SQLITE_INTEGER) {
        v.n = sqlite3_column_int64(pStmt, nColumn);
    } else if (v.nClass == SQLITE_FLOAT) {
        v.d = sqlite3_column_double(pStmt, nColumn);
    } else if (v.nClass != SQLITE_NULL) {
        const void* p = sqlite3_column_blob(pStmt, nColumn);
        v.s.assign(static_cast<const char*>(p),
                   static_cast<size_t>(sqlite3_column_bytes(pStmt, nColumn)));
    }
    if (!Convert(it->second.type, &v, pstrError))
        return false;
    it->second.value = v;
    return true;
}

bool CSqlBatchVariables::Convert(const CSqlDeclaredType& type, CValue* pValue,
                                 std::wstring* pstrError) {
    CValue& v = *pValue;
    if (v.nClass == SQLITE_NULL)
        return true;
    const CSqlServerTypeRow& row = *type.pRow;
    std::wstring typeName = WinUtf8ToWide(row.pszName);
    switch (row.nClass) {
    case SqlTypeClass::kInteger:
    case SqlTypeClass::kBit:
        if (v.nClass == SQLITE_TEXT) {
            std::string s = Trim(v.s);
            char* pEnd = nullptr;
            errno = 0;
            long long n = std::strtoll(s.c_str(), &pEnd, 10);
            if (s.empty() || *pEnd || errno) {
                *pstrError = L"Conversion failed when converting the varchar value '" +
                             WinUtf8ToWide(v.s) + L"' to data type " + typeName + L".";
                return false;
            }
            v.n = n;
        } else if (v.nClass == SQLITE_FLOAT) {
            v.n = static_cast<sqlite3_int64>(std::trunc(v.d)); // numbers to integers truncate
        }
        v.nClass = SQLITE_INTEGER;
        if (row.nClass == SqlTypeClass::kBit)
            v.n = v.n != 0;
        return true;
    case SqlTypeClass::kExact:
    case SqlTypeClass::kFloat:
        if (v.nClass == SQLITE_TEXT) {
            std::string s = Trim(v.s);
            char* pEnd = nullptr;
            double d = std::strtod(s.c_str(), &pEnd);
            if (s.empty() || *pEnd || s.find_first_of("xXnN") != std::string::npos) {
                *pstrError = L"Error converting data type varchar to " +
                             std::wstring(row.nAdoType == adNumeric ? L"numeric" : typeName) + L".";
                return false;
            }
            v.nClass = SQLITE_FLOAT;
            v.d = d;
        } else if (v.nClass == SQLITE_INTEGER) {
            v.nClass = SQLITE_FLOAT;
            v.d = static_cast<double>(v.n);
        }
        if (row.nAdoType == adNumeric || row.nClass == SqlTypeClass::kExact) {
            int nScale = row.nAdoType == adNumeric ? type.nScale : 4;
            double scale = std::pow(10.0, nScale);
            v.d = std::round(v.d * scale) / scale;
        }
        return true;
    case SqlTypeClass::kChar:
    case SqlTypeClass::kNChar: {
        if (v.nClass == SQLITE_INTEGER)
            v.s = std::to_string(v.n);
        else if (v.nClass == SQLITE_FLOAT)
            v.s = NumberText(v.d);
        v.nClass = SQLITE_TEXT;
        if (type.bMax || row.nLength != 0)
            return true;
        // A variable keeps what fits, without an error.
        std::wstring w = WinUtf8ToWide(v.s);
        if (w.size() > static_cast<size_t>(type.nLength))
            v.s = WinWideToUtf8(w.substr(0, static_cast<size_t>(type.nLength)));
        return true;
    }
    default:
        return true;
    }
}

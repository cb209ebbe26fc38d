// Names as SQL Server writes them ([db].[owner].[object], db..object, #temp) and what they
// name on SQLite: the main or an attached database, an owner's object, tempdb, a catalogue view.
#include "platform/ado/sqlite/SqlServerRewriter.h"

namespace {

const wchar_t kGlobalTemp[] =
    L"Global temporary tables (##name) are not supported by the embedded database.";
const wchar_t kFourPart[] = L"Names of linked servers (server.database.owner.object) are not "
                            L"supported by the embedded database.";

bool IsCatalogName(const std::wstring& s) {
    return SqlEqualNoCase(s, L"sysobjects") || SqlEqualNoCase(s, L"syscolumns") ||
           SqlEqualNoCase(s, L"systypes");
}

} // namespace

bool SqlIsViewOwner(const std::wstring& s) {
    return SqlEqualNoCase(s, L"INFORMATION_SCHEMA") || SqlEqualNoCase(s, L"sys");
}

bool SqlIsViewOwner(const CSqlToken& owner) {
    return SqlNameIs(owner, L"INFORMATION_SCHEMA") || SqlNameIs(owner, L"sys");
}

bool CSqlRewriter::ObjectName(size_t i, size_t nEnd, CSqlObjectName* pName, size_t* pnNext,
                              CSqlBridgeError* pError) {
    const CSqlTokens& T = m_tokens;
    auto next = [&](size_t k) {
        while (k < nEnd && SqlIsBlank(T[k]))
            ++k;
        return k;
    };
    // Up to four parts separated by dots; a part may be empty (db..obj).
    // Token indexes, or npos for an empty part; five at most, so no allocation.
    struct CParts {
        size_t at[5];
        size_t n = 0;
        size_t size() const { return n; }
        size_t back() const { return at[n - 1]; }
        size_t operator[](size_t k) const { return at[k]; }
        void push_back(size_t v) { at[n++] = v; }
    } parts;
    size_t k = i;
    for (;;) {
        if (k < nEnd && SqlIsNamePart(T[k])) {
            parts.push_back(k);
            k = next(k + 1);
        } else {
            parts.push_back(std::wstring::npos);
        }
        if (k < nEnd && SqlIsPunct(T[k], L".") && parts.size() < 5)
            k = next(k + 1);
        else
            break;
    }
    *pnNext = k;
    if (parts.back() == std::wstring::npos || parts.size() > 4) {
        *pError =
            parts.size() > 4 ? SqlRefusal(kFourPart) : SqlRefusal(L"Incorrect syntax near '.'.");
        return false;
    }
    if (parts.size() == 4) {
        *pError = SqlRefusal(kFourPart);
        return false;
    }
    auto part = [&](size_t n) {
        return parts[n] == std::wstring::npos ? std::wstring() : SqlNameOf(T[parts[n]]);
    };
    const CSqlToken& obj = T[parts.back()];
    std::wstring strObject = SqlNameOf(obj);
    std::wstring strOwner = parts.size() >= 2 ? part(parts.size() - 2) : std::wstring();
    CSqlDatabaseRef ref;
    ref.nKind = CSqlDatabaseRef::kMain;
    pName->bQualified = parts.size() > 1;
    if (parts.size() == 3) {
        if (!SqlResolveDatabase(m_schema, part(0), &ref, pError))
            return false;
    } else if (parts.size() == 2 && !SqlEqualNoCase(strOwner, L"dbo") &&
               !SqlIsViewOwner(strOwner)) {
        // schema.table in SQLite's own spelling, or an owner of this database.
        std::wstring s = SqlLower(strOwner);
        CSqlDatabaseRef attached = m_schema.ResolveDatabase(strOwner);
        if (s == L"main" || s == L"temp" ||
            (attached.nKind == CSqlDatabaseRef::kAttached && attached.strSchema != L"temp")) {
            pName->strSchema = s == L"main" || s == L"temp" ? s : attached.strSchema;
            pName->strName = strObject;
            pName->strSql = T[parts[0]].strText + L"." + obj.strText;
            return true;
        }
    }
    if (!strObject.empty() && strObject[0] == L'#') {
        if (strObject.size() > 1 && strObject[1] == L'#') {
            *pError = SqlRefusal(kGlobalTemp);
            return false;
        }
        ref.nKind = CSqlDatabaseRef::kAttached;
        ref.strSchema = L"temp";
        strOwner.clear();
    }
    bool bDbo = strOwner.empty() || SqlEqualNoCase(strOwner, L"dbo");
    pName->strSchema = ref.nKind == CSqlDatabaseRef::kMain ? L"main" : ref.strSchema;
    pName->strName = bDbo ? strObject : strOwner + L"." + strObject;
    // Catalogue views: temporary, named after their database when it is not the main one.
    if ((bDbo && IsCatalogName(strObject)) || SqlIsViewOwner(strOwner)) {
        std::wstring strView = bDbo ? SqlLower(strObject) : pName->strName;
        if (ref.nKind == CSqlDatabaseRef::kAttached) {
            std::wstring strPrefix;
            if (!m_schema.AttachedCatalog(ref.strSchema, &strPrefix)) {
                *pError = SqlRefusal(SqlServerUnknownDatabaseText(part(0)));
                pError->bUnknownDatabase = true;
                return false;
            }
            strView = strPrefix + strView;
        }
        pName->strSchema = L"temp";
        pName->strName = strView;
        pName->strSql =
            bDbo && ref.nKind == CSqlDatabaseRef::kMain ? strView : SqlQuoteName(strView);
        return true;
    }
    std::wstring strLocal;
    if (!bDbo || strObject[0] == L'#')
        strLocal = SqlQuoteName(pName->strName);
    else if (obj.nKind == SqlTok::kWord && parts.size() == 2)
        strLocal = L"[" + obj.strText + L"]"; // a name, never a builtin or keyword (dbo.LEN)
    else
        strLocal = obj.strText;
    if (ref.nKind == CSqlDatabaseRef::kMain)
        pName->strSql = parts.size() == 3 ? L"main." + strLocal : strLocal;
    else
        pName->strSql = SqlQuoteName(ref.strSchema) + L"." + strLocal;
    return true;
}

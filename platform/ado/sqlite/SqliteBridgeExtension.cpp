// A loadable SQLite extension that lets other SQLite tools work with the embedded database's
// files as this library does:
//   sqlite3 shop.db ".load /usr/lib/x86_64-linux-gnu/zqk_sqlite_bridge" "SELECT ..."
// It installs the collations the tables declare and, where the loading program runs the same
// SQLite library as this one (the sqlite3 shell of the system does), the functions the bridge
// writes into views, defaults and checks (zqk_add, zqk_convert, ...), with SQL Server's LIKE,
// UPPER and LOWER as the provider has them.
#include <sqlite3ext.h>

#include "platform/ado/sqlite/SqlServerCollation.h"
#include "platform/ado/sqlite/SqlServerFunctions.h"

SQLITE_EXTENSION_INIT1

namespace {

// This library's own SQLite routine, not the loading program's (which the macro stands for).
#undef sqlite3_create_function_v2
const auto kOwnCreateFunction = &sqlite3_create_function_v2;

// The state behind @@IDENTITY, @@ROWCOUNT and friends for a program that is not the
// provider: one per process, as such a program has no batches of the provider's.
CSqlSession* Session() {
    // SQLite unloads the extension only when the last connection that loaded it closes.
    static CSqlSession s_session;
    return &s_session;
}

} // namespace

// The entry point SQLite derives from the file's name (zqk_sqlite_bridge).
extern "C" __attribute__((visibility("default"))) int
sqlite3_zqksqlitebridge_init(sqlite3* pDb, char** ppszError, const sqlite3_api_routines* pApi) {
    SQLITE_EXTENSION_INIT2(pApi);
    int rc = sqlite3_collation_needed(pDb, reinterpret_cast<void*>(pApi->create_collation_v2),
                                      &SqlCollationNeeded);
    if (rc != SQLITE_OK)
        return rc;
    // The functions call SQLite directly: only a program that runs this library's SQLite may
    // have them; another keeps the collations alone.
    if (pApi->create_function_v2 != kOwnCreateFunction)
        return SQLITE_OK;
    rc = SqlRegisterFunctions(pDb, Session());
    if (rc != SQLITE_OK && ppszError)
        *ppszError = sqlite3_mprintf("the SQL Server bridge's functions could not be installed");
    return rc;
}

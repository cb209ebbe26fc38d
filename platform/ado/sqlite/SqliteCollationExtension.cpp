// A loadable SQLite extension with the collations the embedded database's tables declare, so
// that other SQLite tools can compare and sort their text as this library does:
//   sqlite3 shop.db ".load /usr/lib/x86_64-linux-gnu/zqk_sqlite_collations" "SELECT ..."
// Every SQLite call goes through the loading program's own routines.
#include <sqlite3ext.h>

#include "platform/ado/sqlite/SqlServerCollation.h"

SQLITE_EXTENSION_INIT1

// The entry point SQLite derives from the file's name (zqk_sqlite_collations).
extern "C" __attribute__((visibility("default"))) int
sqlite3_zqksqlitecollations_init(sqlite3* pDb, char**, const sqlite3_api_routines* pApi) {
    SQLITE_EXTENSION_INIT2(pApi);
    return sqlite3_collation_needed(pDb, reinterpret_cast<void*>(pApi->create_collation_v2),
                                    &SqlCollationNeeded);
}

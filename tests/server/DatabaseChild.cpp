// A host program the process tests run as a child: it writes to a database file as told and
// reports each step on its standard output, one line each, flushed, so a test can kill it at a
// known point. Message boxes are reported as "box <text>" lines.
//
//   write <db> <first> <count>            one row per statement; exit 2 at the first failure
//   transactions <db> <first batch>       batches of rows, one transaction each, until killed
//   pack <db> <file> <first name>         the file packed into docs again and again until killed
//   full <db> <size limit> <file>         a large row and a large package under a file size
//                                         limit, then a small row
//   outfile <db> <size limit> <path>      the first package written to a file under the limit
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "DatabaseChild.h"
#include "platform/afx/CWinApp.h"
#include "platform/win/TextEncoding.h"
#include "zqk_vododuvod.h"

namespace {

void Say(const std::string& s) {
    std::printf("%s\n", s.c_str());
    std::fflush(stdout);
}

class ReportingApp : public CWinApp {
public:
    int DoMessageBox(LPCWSTR lpszPrompt, UINT, UINT) override {
        std::string s = WinWideToUtf8(lpszPrompt ? lpszPrompt : L"");
        for (char& c : s)
            if (c == '\n' || c == '\t')
                c = ' ';
        Say("box " + s);
        return IDOK;
    }
};

// Every further write of this process is refused past nBytes of file size, as by a full disk.
void LimitFileSize(const char* pszBytes) {
    ::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the process
    rlim_t nBytes = std::strtoull(pszBytes, nullptr, 10);
    rlimit limit = {nBytes, nBytes};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        Say("setrlimit failed");
        std::exit(4);
    }
}

std::wstring Insert(int nBatch, int n, const std::wstring& strText) {
    return L"INSERT INTO t(batch, n, txt) VALUES(" + std::to_wstring(nBatch) + L", " +
           std::to_wstring(n) + L", '" + strText + L"')";
}

int Write(CZORADORXServer& server, int nFirst, int nCount) {
    for (int n = nFirst; n < nFirst + nCount; ++n) {
        if (server.ExecuteSQL(Insert(-1, n, L"w").c_str()) != 1) {
            Say("failed " + std::to_string(n));
            return 2;
        }
        Say("ok " + std::to_string(n));
    }
    return 0;
}

int Transactions(CZORADORXServer& server, int nBatch) {
    for (;; ++nBatch) {
        server.BeginTrans();
        for (int n = 0; n < kChildRowsPerBatch; ++n)
            if (server.ExecuteSQL(Insert(nBatch, n, ChildPayload(nBatch, n)).c_str()) != 1)
                return 2;
        server.CommitTrans();
        Say("committed " + std::to_string(nBatch));
    }
}

CZORValueTable NameValue(const std::wstring& strName) {
    CZORValueTable values;
    CStringArray ar;
    ar.Add(L"name");
    ar.Add(strName.c_str());
    ar.Add(L"varchar");
    values.AddValueRecord(ar);
    return values;
}

int Pack(CZORADORXServer& server, const char* pszFile, int nName) {
    CZORPackageDbOper packer;
    packer.SetDbSrv(&server);
    CString strFile(WinUtf8ToWide(pszFile).c_str());
    for (;; ++nName) {
        CZORValueTable values = NameValue(std::to_wstring(nName));
        Say("packing " + std::to_string(nName));
        if (packer.PutPackageToDb(strFile, L"docs", L"data", values) != 1)
            return 2;
        Say("packed " + std::to_string(nName));
    }
}

int Full(CZORADORXServer& server, const char* pszFile) {
    std::wstring strLarge(1 << 20, L'x');
    Say(server.ExecuteSQL(Insert(-2, 0, strLarge).c_str()) == 1 ? "large row stored"
                                                                : "large row refused");
    CZORPackageDbOper packer;
    packer.SetDbSrv(&server);
    CString strFile(WinUtf8ToWide(pszFile).c_str());
    CZORValueTable values = NameValue(L"large");
    Say(packer.PutPackageToDb(strFile, L"docs", L"data", values) == 1 ? "package stored"
                                                                      : "package refused");
    Say(server.ExecuteSQL(Insert(-2, 1, L"small").c_str()) == 1 ? "small row stored"
                                                                : "small row refused");
    return 0;
}

int OutFile(CZORADORXServer& server, const char* pszPath) {
    CZORPackageDbOper packer;
    packer.SetDbSrv(&server);
    CString strFile(WinUtf8ToWide(pszPath).c_str());
    try {
        packer.OutPackageToFile(strFile, L"SELECT data FROM docs ORDER BY id", L"data", 1);
    } catch (CFileException* e) {
        Say("CFileException " + std::to_string(e->m_cause));
        e->Delete();
        return 0;
    }
    Say("written");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 64;
    std::string strRole = argv[1];
    ReportingApp app;
    CZORADORXServer server;
    if (server.InitADOServer(ChildConnection(argv[2]).c_str()) != 1) {
        Say("no connection");
        return 3;
    }
    try {
        if (strRole == "write" && argc == 5)
            return Write(server, std::atoi(argv[3]), std::atoi(argv[4]));
        if (strRole == "transactions" && argc == 4)
            return Transactions(server, std::atoi(argv[3]));
        if (strRole == "pack" && argc == 5)
            return Pack(server, argv[3], std::atoi(argv[4]));
        if (strRole == "full" && argc == 5) {
            LimitFileSize(argv[3]);
            return Full(server, argv[4]);
        }
        if (strRole == "outfile" && argc == 5) {
            LimitFileSize(argv[3]);
            return OutFile(server, argv[4]);
        }
    } catch (_com_error& e) {
        Say("_com_error " + WinWideToUtf8(static_cast<const wchar_t*>(e.Description())));
        return 5;
    }
    return 64;
}

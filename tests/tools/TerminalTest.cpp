// What zqk does on a terminal: the progress bar of pack and unpack (for large files only,
// ending at the whole size), and the password prompt of a data source, without echo.
#include <cerrno>
#include <cstdlib>

#include "ToolRunner.h"

namespace {

// Runs zqk in dir with standard error on a new pseudo-terminal, which is also its controlling
// terminal; returns what the terminal received (standard output and input stay off it).
// strTyped is typed on the terminal once strAwait has appeared there.
std::string RunWithTerminal(const TempDir& dir, const std::vector<std::string>& args,
                            std::string strAwait = "", const std::string& strTyped = "") {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return "(no pseudo-terminal)";
    std::string strSlave = ::ptsname(master);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        int slave = ::open(strSlave.c_str(), O_RDWR);
        int null = ::open("/dev/null", O_RDWR);
        if (slave < 0 || null < 0 || ::chdir(dir.Path().c_str()) != 0)
            ::_exit(127);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(slave, 2);
        ::setenv("TMPDIR", dir.Path().c_str(), 1);
        ::unsetenv("ZQK_CONNECT");
        std::vector<std::string> copies = args;
        std::string strTool = ZQK_TOOL;
        std::vector<char*> argv = {strTool.data()};
        for (std::string& str : copies)
            argv.push_back(str.data());
        argv.push_back(nullptr);
        ::execv(strTool.c_str(), argv.data());
        ::_exit(127);
    }
    std::string strSeen;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(master, buffer, sizeof(buffer));
        if (n > 0) {
            strSeen.append(buffer, static_cast<size_t>(n));
            if (!strAwait.empty() && strSeen.find(strAwait) != std::string::npos) {
                ssize_t nWritten = ::write(master, strTyped.data(), strTyped.size());
                (void)nWritten;
                strAwait.clear();
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EIO once the tool has closed its end
    }
    int nWait = 0;
    ::waitpid(pid, &nWait, 0);
    ::close(master);
    return strSeen;
}

} // namespace

TEST(ZqkTerminal, LargeTransfersDrawABarOnATerminalSmallOnesDoNot) {
    TempDir dir;
    ToolRunner zqk(dir);
    ASSERT_EQ(0, zqk.Run({"create", "Files", "ID:int!", "Body:image"}).nStatus);
    WriteFile(dir.File("big.bin"), std::string(3 * 1000 * 1000, 'x'));
    WriteFile(dir.File("small.bin"), std::string(1000, 'y'));

    std::string strPack = RunWithTerminal(dir, {"pack", "Files", "Body", "big.bin", "ID=1:int"});
    EXPECT_NE(std::string::npos, strPack.find("packing [##############################] 100% "
                                              "3.0/3.0 MB"))
        << strPack;
    std::string strUnpack =
        RunWithTerminal(dir, {"unpack", "Body", "back.bin", "SELECT Body FROM Files WHERE ID = 1"});
    EXPECT_NE(std::string::npos, strUnpack.find("unpacking [##############################] 100%"))
        << strUnpack;
    EXPECT_EQ(ReadFile(dir.File("big.bin")), ReadFile(dir.File("back.bin")));

    EXPECT_EQ("", RunWithTerminal(dir, {"pack", "Files", "Body", "small.bin", "ID=2:int"}));
    // Not on a terminal, not even a large file draws one.
    ToolResult quiet = zqk.Run({"pack", "Files", "Body", "big.bin", "ID=3:int"});
    EXPECT_EQ(0, quiet.nStatus);
    EXPECT_EQ("", quiet.strErr);
}

TEST(ZqkTerminal, DataSourcePasswordIsAskedWithoutEchoAndNeverShown) {
    TempDir dir;
    std::string strSeen = RunWithTerminal(dir, {"tables", "-d", "nosuchdsn", "-u", "alice"},
                                          "Password for alice@nosuchdsn: ", "TypedSecret9\n");
    EXPECT_NE(std::string::npos, strSeen.find("Password for alice@nosuchdsn: ")) << strSeen;
    EXPECT_EQ(std::string::npos, strSeen.find("TypedSecret9")) << strSeen;
    // Until a driver manager is there the data source cannot open; the attempt is named.
    EXPECT_NE(std::string::npos, strSeen.find("cannot open DSN=nosuchdsn; UID=alice; PWD=***"))
        << strSeen;
}

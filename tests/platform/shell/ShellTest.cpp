// The shell's folder picker (installed and default choosers) and the temporary folder.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/com/ComPtr.h"
#include "platform/shell/Shell.h"
#include "support/TempDir.h"

namespace {

// Restores the default chooser and the environment a test changed.
class ShellTest : public ::testing::Test {
protected:
    void TearDown() override {
        ShellSetFolderChooser(nullptr);
        Restore("DISPLAY", m_display);
        Restore("WAYLAND_DISPLAY", m_wayland);
        Restore("PATH", m_path);
        Restore("TMPDIR", m_tmpdir);
    }
    static std::string Saved(const char* name) {
        const char* p = std::getenv(name);
        return p ? std::string(p) + '\x01' : std::string(); // \x01 marks "was set"
    }
    static void Restore(const char* name, const std::string& saved) {
        if (saved.empty())
            ::unsetenv(name);
        else
            ::setenv(name, saved.substr(0, saved.size() - 1).c_str(), 1);
    }
    // The chosen path through the picker's own calls, or "<cancel>" / "<no path>".
    static std::wstring Pick(LPCWSTR lpszTitle = L"title", UINT ulFlags = 0) {
        wchar_t szName[MAX_PATH] = L"";
        BROWSEINFOW bi{};
        bi.pszDisplayName = szName;
        bi.lpszTitle = lpszTitle;
        bi.ulFlags = ulFlags;
        PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
        if (pidl == nullptr)
            return L"<cancel>";
        wchar_t szPath[MAX_PATH] = L"x";
        BOOL bOk = SHGetPathFromIDListW(pidl, szPath);
        CoTaskMemFree(pidl);
        return bOk ? std::wstring(szPath) : L"<no path>";
    }

    std::string m_display = Saved("DISPLAY"), m_wayland = Saved("WAYLAND_DISPLAY");
    std::string m_path = Saved("PATH"), m_tmpdir = Saved("TMPDIR");
    TempDir m_dir;
};

TEST_F(ShellTest, AnInstalledChooserAnswersThePicker) {
    std::wstring strTitle;
    UINT nFlags = 99;
    std::wstring strAnswer = L"/srv/data/";
    bool bAnswer = true;
    ZqkFolderChooser previous = ShellSetFolderChooser([&](LPCWSTR t, UINT f, CString& strPath) {
        strTitle = t;
        nFlags = f;
        strPath = strAnswer.c_str();
        return bAnswer;
    });
    EXPECT_FALSE(previous); // the default is no installed chooser

    wchar_t szName[MAX_PATH] = L"";
    BROWSEINFOW bi{};
    bi.pszDisplayName = szName;
    bi.lpszTitle = L"选择";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
    ASSERT_NE(nullptr, pidl);
    EXPECT_EQ(L"选择", strTitle);
    EXPECT_EQ(UINT(BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE), nFlags);
    EXPECT_EQ(std::wstring(L"data"), szName);
    wchar_t szPath[MAX_PATH];
    EXPECT_TRUE(SHGetPathFromIDListW(pidl, szPath));
    EXPECT_EQ(std::wstring(L"/srv/data/"), szPath);
    // Item lists belong to the shell allocator.
    IMalloc* pRaw = nullptr;
    ASSERT_EQ(S_OK, SHGetMalloc(&pRaw));
    _com_ptr_t<IMalloc> pMalloc(pRaw, false);
    pMalloc->Free(pidl);

    // Paths outside the file system, too long, or empty.
    strAnswer = L"relative/folder";
    EXPECT_EQ(L"<no path>", Pick());
    strAnswer = L"/" + std::wstring(MAX_PATH, L'a');
    EXPECT_EQ(L"<no path>", Pick());
    strAnswer = L"/" + std::wstring(MAX_PATH - 2, L'a'); // 259 characters and a terminator
    EXPECT_EQ(strAnswer, Pick());
    strAnswer = L"";
    EXPECT_EQ(L"", Pick());
    bAnswer = false;
    EXPECT_EQ(L"<cancel>", Pick());

    EXPECT_EQ(nullptr, SHBrowseForFolderW(nullptr));
    EXPECT_FALSE(SHGetPathFromIDListW(nullptr, szPath));
    EXPECT_EQ(std::wstring(), szPath);
    EXPECT_EQ(E_INVALIDARG, SHGetMalloc(nullptr));

    // Setting returns the previous chooser; an empty one restores the default.
    ZqkFolderChooser mine = ShellSetFolderChooser(nullptr);
    EXPECT_TRUE(mine);
}

TEST_F(ShellTest, TheDefaultChooserRunsADialogProgram) {
    // A stand-in zenity that records its arguments and answers with a folder.
    std::string bin = m_dir.File("bin");
    ::mkdir(bin.c_str(), 0700);
    std::string args = m_dir.File("args");
    {
        std::ofstream script(bin + "/zenity");
        script << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << args << "'\n"
               << "[ -n \"$ZQK_TEST_CANCEL\" ] && exit 1\necho '" << m_dir.Path() << "'\n";
    }
    ::chmod((bin + "/zenity").c_str(), 0700);
    ::setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);
    ::setenv("DISPLAY", ":99", 1);
    std::string dir = m_dir.Path();
    EXPECT_EQ(std::wstring(dir.begin(), dir.end()), Pick(L"Pick one"));
    std::ifstream in(args);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ("--file-selection\n--directory\n--title=Pick one\n", all);

    ::setenv("ZQK_TEST_CANCEL", "1", 1);
    EXPECT_EQ(L"<cancel>", Pick());
    ::unsetenv("ZQK_TEST_CANCEL");

    // No display and no terminal: cancel without asking.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    if (!::isatty(STDIN_FILENO)) {
        EXPECT_EQ(L"<cancel>", Pick());
    }
}

// Runs the default chooser in a child on a pseudo-terminal, types the lines, and returns what
// the terminal showed followed by the child's answer.
std::string PickOnTerminal(const std::string& typed) {
    int master = -1;
    pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ZqkFolderChooser none = ShellSetFolderChooser(nullptr);
        wchar_t szPath[MAX_PATH] = L"";
        BROWSEINFOW bi{};
        bi.lpszTitle = L"Where?";
        PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
        if (pidl && SHGetPathFromIDListW(pidl, szPath)) {
            std::wstring w(szPath);
            std::printf("\n=%s\n", std::string(w.begin(), w.end()).c_str());
        } else {
            std::printf("\n=<cancel>\n");
        }
        std::fflush(stdout);
        ::_exit(0);
    }
    if (pid < 0)
        return "forkpty failed";
    if (!typed.empty() && ::write(master, typed.data(), typed.size()) < 0)
        return "write failed";
    std::string shown;
    char buf[512];
    ssize_t n;
    while ((n = ::read(master, buf, sizeof buf)) > 0)
        shown.append(buf, static_cast<size_t>(n));
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return shown;
}

TEST_F(ShellTest, TheDefaultChooserAsksOnTheTerminal) {
    std::string dir = m_dir.Path();
    ::mkdir((dir + "/sub").c_str(), 0700);
    // A folder that does not exist is asked again; the answer is made absolute.
    ASSERT_EQ(0, ::chdir(dir.c_str()));
    std::string shown = PickOnTerminal("no-such-folder\nsub\n");
    EXPECT_NE(std::string::npos, shown.find("Where?\r\nFolder (empty to cancel): "));
    EXPECT_NE(std::string::npos, shown.find("No such folder: no-such-folder"));
    EXPECT_NE(std::string::npos, shown.find("=" + dir + "/sub\r\n")) << shown;
    // Empty text cancels.
    shown = PickOnTerminal("\n");
    EXPECT_NE(std::string::npos, shown.find("=<cancel>")) << shown;
    ASSERT_EQ(0, ::chdir("/"));
}

TEST_F(ShellTest, TheTemporaryFolderEndsWithASeparator) {
    wchar_t sz[MAX_PATH];
    ::setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(9u, GetTempPathW(MAX_PATH, sz));
    EXPECT_EQ(std::wstring(L"/var/tmp/"), sz);
    ::setenv("TMPDIR", "/scratch/", 1);
    EXPECT_EQ(9u, GetTempPathW(MAX_PATH, sz));
    EXPECT_EQ(std::wstring(L"/scratch/"), sz);
    ::unsetenv("TMPDIR");
    EXPECT_EQ(5u, GetTempPathW(MAX_PATH, sz));
    EXPECT_EQ(std::wstring(L"/tmp/"), sz);
    // Too small: the size needed with the terminator, nothing written.
    wchar_t small[5] = L"keep";
    EXPECT_EQ(6u, GetTempPathW(5, small));
    EXPECT_EQ(std::wstring(L"keep"), small);
    EXPECT_EQ(6u, GetTempPathW(0, nullptr));
}

} // namespace

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/afx/afx.h"
#include "support/TempDir.h"

namespace {

// The cause of the CFileException that fn raises (and the file it names), or -1 for none.
template <typename F> int FileCause(F fn, CString* pstrFile = nullptr) {
    try {
        fn();
    } catch (CFileException* e) {
        int cause = e->m_cause;
        if (pstrFile)
            *pstrFile = e->m_strFileName;
        e->Delete();
        return cause;
    }
    return -1;
}

std::string ReadAll(CFile& f) {
    f.SeekToBegin();
    std::string s(static_cast<size_t>(f.GetLength()), '\0');
    EXPECT_EQ(s.size(), f.Read(s.data(), static_cast<UINT>(s.size())));
    return s;
}

} // namespace

TEST(CFile, OpenModesTruncateOrKeepContent) {
    TempDir dir;
    std::wstring name = dir.WideFile("data.bin");
    CFile f;
    ASSERT_TRUE(f.Open(name.c_str(), CFile::modeCreate | CFile::modeWrite));
    f.Write("hello", 5);
    char c;
    EXPECT_NE(-1, FileCause([&] { f.Read(&c, 1); })); // write-only
    f.Close();
    EXPECT_EQ(CFile::hFileNull, f.m_hFile);

    ASSERT_TRUE(f.Open(name.c_str(), CFile::modeRead));
    EXPECT_EQ("hello", ReadAll(f));
    EXPECT_NE(-1, FileCause([&] { f.Write("x", 1); })); // read-only
    f.Close();

    UINT keep = CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite;
    ASSERT_TRUE(f.Open(name.c_str(), keep));
    EXPECT_EQ(5u, f.GetLength());
    f.SeekToEnd();
    f.Write("!", 1);
    EXPECT_EQ("hello!", ReadAll(f));
    f.Close();
    ASSERT_TRUE(f.Open(dir.WideFile("new.bin").c_str(), keep)); // still creates
    f.Close();

    ASSERT_TRUE(f.Open(name.c_str(), CFile::modeCreate | CFile::modeReadWrite));
    EXPECT_EQ(0u, f.GetLength());
    f.Close();
    EXPECT_EQ(0u, std::filesystem::file_size(dir.File("data.bin")));
}

TEST(CFile, OpenFailureReportsCauseAndConstructorThrows) {
    TempDir dir;
    std::wstring missing = dir.WideFile("missing.bin");
    std::wstring noFolder = dir.WideFile("nofolder/x.bin");
    CFile f;
    CFileException e;
    EXPECT_FALSE(f.Open(missing.c_str(), CFile::modeRead, &e));
    EXPECT_EQ(CFileException::fileNotFound, e.m_cause);
    EXPECT_STREQ(missing.c_str(), e.m_strFileName);
    EXPECT_EQ(CFile::hFileNull, f.m_hFile);
    EXPECT_FALSE(f.Open(missing.c_str(), CFile::modeRead)); // without an exception object

    CFileException e2;
    EXPECT_FALSE(f.Open(noFolder.c_str(), CFile::modeCreate | CFile::modeWrite, &e2));
    EXPECT_TRUE(e2.m_cause == CFileException::badPath || e2.m_cause == CFileException::fileNotFound)
        << e2.m_cause;
    EXPECT_STREQ(noFolder.c_str(), e2.m_strFileName);

    CString strFile;
    EXPECT_EQ(CFileException::fileNotFound,
              FileCause([&] { CFile g(missing.c_str(), CFile::modeRead); }, &strFile));
    EXPECT_STREQ(missing.c_str(), strFile);
    EXPECT_EQ(CFileException::fileNotFound, FileCause([&] { CFile::Remove(missing.c_str()); }));
}

TEST(CFile, ReadWriteSeekAndLength) {
    TempDir dir;
    std::wstring name = dir.WideFile("report.v1.txt");
    CFile f(name.c_str(), CFile::modeCreate | CFile::modeReadWrite);
    EXPECT_STREQ(name.c_str(), f.GetFilePath());
    EXPECT_STREQ(L"report.v1.txt", f.GetFileName());
    EXPECT_STREQ(L"report.v1", f.GetFileTitle());

    f.Write("0123456789", 10);
    EXPECT_EQ(10u, f.GetLength());
    EXPECT_EQ(10u, f.GetPosition());
    EXPECT_EQ(7u, f.Seek(-3, CFile::end));
    char buf[8] = {};
    EXPECT_EQ(3u, f.Read(buf, 5)); // short only because the file ends
    EXPECT_EQ(0, std::memcmp(buf, "789", 3));
    EXPECT_EQ(0u, f.Read(buf, 5));
    EXPECT_EQ(2u, f.Seek(2, CFile::begin));
    EXPECT_EQ(5u, f.Seek(3, CFile::current));
    EXPECT_EQ(2u, f.Read(buf, 2));
    EXPECT_EQ(0, std::memcmp(buf, "56", 2));
    EXPECT_EQ(7u, f.GetPosition());
    EXPECT_EQ(CFileException::badSeek, FileCause([&] { f.Seek(-1, CFile::begin); }));

    f.SetLength(4);
    f.SetLength(6); // grows with zeros
    EXPECT_EQ(std::string("0123\0\0", 6), ReadAll(f));
    f.Close();
    EXPECT_EQ(6u, std::filesystem::file_size(dir.File("report.v1.txt")));
    EXPECT_NE(-1, FileCause([&] { f.Write("x", 1); })); // closed

    // The name parts accept both separators and keep dot-files whole.
    EXPECT_FALSE(f.Open(L"no\\such\\dir\\.profile", CFile::modeRead));
    EXPECT_STREQ(L".profile", f.GetFileName());
    EXPECT_STREQ(L".profile", f.GetFileTitle());
}

TEST(CFile, WideNamesAreUtf8OnDisk) {
    TempDir dir;
    std::wstring folder(dir.Path().begin(), dir.Path().end());
    std::wstring name = folder + L"/数据.bin";
    {
        CFile f(name.c_str(), CFile::modeCreate | CFile::modeWrite);
        EXPECT_STREQ(L"数据", f.GetFileTitle());
        f.Write("abc", 3);
    } // closed by the destructor
    EXPECT_EQ(3u, std::filesystem::file_size(dir.File("\xE6\x95\xB0\xE6\x8D\xAE.bin")));
    CFile::Rename(name.c_str(), (folder + L"/€.bin").c_str());
    EXPECT_TRUE(std::filesystem::exists(dir.File("\xE2\x82\xAC.bin")));
}

TEST(CMemFile, GrowsAndZeroFillsGaps) {
    CMemFile f(16);
    char c = 0;
    EXPECT_EQ(0u, f.Read(&c, 1));
    std::string big(100, 'x'); // several growth steps
    f.Write(big.data(), 100);
    EXPECT_EQ(100u, f.GetLength());

    EXPECT_EQ(104u, f.Seek(4, CFile::current)); // past the end: no growth yet
    EXPECT_EQ(100u, f.GetLength());
    EXPECT_EQ(0u, f.Read(&c, 1));
    f.Write("yz", 2);
    EXPECT_EQ(big + std::string(4, '\0') + "yz", ReadAll(f));

    f.Seek(1, CFile::begin);
    f.Write("AB", 2); // overwriting keeps the length
    EXPECT_EQ(106u, f.GetLength());
    EXPECT_EQ(CFileException::badSeek, FileCause([&] { f.Seek(-107, CFile::end); }));

    // Shrinking pulls the position back; growing again gives zeros, not the old bytes.
    f.SeekToEnd();
    f.SetLength(3);
    EXPECT_EQ(3u, f.GetPosition());
    f.SetLength(5);
    EXPECT_EQ(std::string("xAB\0\0", 5), ReadAll(f));
}

TEST(CMemFile, FixedBufferAndDetach) {
    BYTE buf[4] = {'a', 'b', 'c', 'd'};
    CMemFile f(buf, sizeof buf);
    EXPECT_EQ("abcd", ReadAll(f)); // a fixed buffer is a file of its size
    f.Seek(2, CFile::begin);
    f.Write("XY", 2);
    EXPECT_EQ(0, std::memcmp(buf, "abXY", 4)); // written in place
    try {
        f.Write("Z", 1);
        ADD_FAILURE() << "a fixed buffer grew";
    } catch (CMemoryException* e) {
        e->Delete();
    }
    EXPECT_EQ(4u, f.GetLength());
    EXPECT_EQ(buf, f.Detach()); // the caller's own buffer, never freed by the file

    CMemFile g;
    g.Write("hello", 5);
    BYTE* p = g.Detach();
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0, std::memcmp(p, "hello", 5));
    EXPECT_EQ(0u, g.GetLength());
    std::free(p);
    g.Write("again", 5); // usable after handing the buffer over
    EXPECT_EQ("again", ReadAll(g));
}

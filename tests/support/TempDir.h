// A fresh folder under the temporary folder for one test, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/zqk-test-XXXXXX";
        char* p = ::mkdtemp(tmpl.data());
        if (p == nullptr)
            std::abort();
        m_path = p;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // The path of a name inside the folder, as UTF-8 and as a wide string.
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    std::wstring WideFile(const std::string& name) const {
        std::string s = File(name);
        return std::wstring(s.begin(), s.end());
    }

private:
    std::string m_path;
};

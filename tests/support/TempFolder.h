#pragma once
// A fresh folder under /tmp for one test, removed with everything in it when
// the test ends. Path() ends in '/'.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

class TempFolder {
public:
    explicit TempFolder(const std::string& Prefix = "quorvex-test")
    {
        std::string pattern = "/tmp/" + Prefix + "-XXXXXX";
        if (::mkdtemp(pattern.data()))
            Path_ = pattern + "/";
    }
    ~TempFolder()
    {
        if (!Path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(Path_, ignored);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool Valid() const { return !Path_.empty(); }
    const std::string& Path() const { return Path_; }
    std::string File(const std::string& Name) const { return Path_ + Name; }

    void Write(const std::string& Name, const std::string& Bytes) const
    {
        std::ofstream(File(Name), std::ios::binary) << Bytes;
    }
    std::string Read(const std::string& Name) const
    {
        std::ifstream in(File(Name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string Path_;
};

} // namespace testsupport

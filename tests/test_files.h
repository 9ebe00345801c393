#pragma once
// Scratch directories and wiring files for the tests.

#include <string>
#include <vector>

// A new empty directory below the system's temporary directory, removed with everything in it when the
// object goes.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The 24 lines of a good wiring file: X on pins 2/3, Y on 4/5, Z on 6/7, port 888, 100 steps.
std::vector<std::string> SampleLines();

// Writes the lines to path, each followed by lineEnd.
void WriteLines(const std::string& path, const std::vector<std::string>& lines, const std::string& lineEnd = "\r\n");
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

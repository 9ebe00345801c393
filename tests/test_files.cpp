#include "test_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "plottertest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> SampleLines() {
    return {"X Schritt", "2",   "X Richtung", "3",    "X Faktor",   "80,5", "Y Schritt",  "4",
            "Y Richtung", "5",  "Y Faktor",   "40.25", "Z Schritt", "6",    "Z Richtung", "7",
            "Z Faktor",   "x",  "Bemerkung",  " frei ", "Portadresse", "888", "Schritte", "100"};
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines, const std::string& lineEnd) {
    std::string text;
    for (const std::string& line : lines) text += line + lineEnd;
    WriteText(path, text);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

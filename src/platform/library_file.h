#pragma once
// What a file's first bytes say it is, for a port library that would not
// load: a Windows DLL or a Linux shared library, of which word size and
// processor, or neither. Read from the bytes alone, so both hosts share it.

#include <cstdint>
#include <string>

struct LibraryFile {
    enum class Format : std::uint8_t { Other, Pe, Elf };
    Format format = Format::Other;
    int bits = 0;         // 32 or 64; 0 when the header does not say
    std::string machine;  // the processor as users know it ("x86", "x86-64", "ARM64"), "" when unknown
};

// The header in the first bytes of a file (a few KiB are enough): a PE image
// ("MZ", then "PE\0\0" where the DOS header points) or an ELF file. Anything
// shorter, or of another kind, is Format::Other.
LibraryFile ReadLibraryHeader(const std::string& firstBytes);

// This program's own: what a port library must be to load into it.
LibraryFile OwnLibraryKind();

// How many of a file's first bytes ReadLibraryHeader needs at most.
constexpr std::size_t kLibraryHeaderBytes = 4096;

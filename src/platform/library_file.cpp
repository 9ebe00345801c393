#include "platform/library_file.h"

namespace {

unsigned Little(const std::string& bytes, std::size_t at, std::size_t size) {
    unsigned value = 0;
    for (std::size_t i = size; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::string PeMachine(unsigned machine) {
    switch (machine) {
    case 0x014C: return "x86";
    case 0x8664: return "x86-64";
    case 0xAA64: return "ARM64";
    case 0x01C4: return "ARM";
    default: return "";
    }
}

std::string ElfMachine(unsigned machine) {
    switch (machine) {
    case 3: return "x86";
    case 62: return "x86-64";
    case 183: return "ARM64";
    case 40: return "ARM";
    default: return "";
    }
}

}  // namespace

LibraryFile ReadLibraryHeader(const std::string& bytes) {
    LibraryFile file;
    if (bytes.size() >= 0x40 && bytes.compare(0, 2, "MZ") == 0) {
        const std::size_t pe = Little(bytes, 0x3C, 4);
        // The COFF header (24 bytes with the signature) and the optional header's magic.
        if (pe > bytes.size() || bytes.size() - pe < 26 || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
            return file;
        file.format = LibraryFile::Format::Pe;
        file.machine = PeMachine(Little(bytes, pe + 4, 2));
        const unsigned magic = Little(bytes, pe + 24, 2);
        file.bits = magic == 0x10B ? 32 : magic == 0x20B ? 64 : 0;
    } else if (bytes.size() >= 20 && bytes.compare(0, 4, "\x7f" "ELF") == 0) {
        file.format = LibraryFile::Format::Elf;
        const char elfClass = bytes[4];
        file.bits = elfClass == 1 ? 32 : elfClass == 2 ? 64 : 0;
        if (bytes[5] == 1) file.machine = ElfMachine(Little(bytes, 18, 2));  // little-endian files only
    }
    return file;
}

LibraryFile OwnLibraryKind() {
    LibraryFile own;
#if defined(_WIN32)
    own.format = LibraryFile::Format::Pe;
#else
    own.format = LibraryFile::Format::Elf;
#endif
    own.bits = static_cast<int>(sizeof(void*) * 8);
#if defined(__x86_64__) || defined(_M_X64)
    own.machine = "x86-64";
#elif defined(__i386__) || defined(_M_IX86)
    own.machine = "x86";
#elif defined(__aarch64__)
    own.machine = "ARM64";
#elif defined(__arm__)
    own.machine = "ARM";
#endif
    return own;
}

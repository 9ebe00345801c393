// The executable's directory and the files read there, past MAX_PATH too.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/textfile.h"
#include "platform/win32/win32.h"

namespace host {

std::wstring win32::LongPath(const std::string& path) {
    std::wstring wide = win32::Wide(path);
    if (wide.size() < MAX_PATH || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
    if (wide.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + wide.substr(2);
    return L"\\\\?\\" + wide;
}

std::string PathInProgramDirectory(const std::string& name) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return name;  // cannot happen for the running program; the working directory then
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    // "C:\plottertest.exe" gives "C:" + "\Pinbelegung.txt": no doubled backslash at a drive root.
    const std::size_t separator = path.find_last_of(L"\\/");
    path.resize(separator == std::wstring::npos ? 0 : separator);
    return win32::Utf8(path) + "\\" + name;
}

bool IsOrdinaryFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(win32::LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

TextFile* OpenTextFile(const std::string& path) {
    // CreateFileW rather than _wfopen, so the failure carries the system's own reason.
    HANDLE handle = CreateFileW(win32::LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw Failure{FailureKind::FileCannotBeOpened, path + ": " + win32::SystemMessage(GetLastError())};
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    std::FILE* stream = descriptor == -1 ? nullptr : _fdopen(descriptor, "rb");
    if (stream == nullptr) {
        if (descriptor == -1) CloseHandle(handle); else _close(descriptor);
        throw Failure{FailureKind::FileCannotBeOpened, path + ": keine Dateinummer frei"};
    }
    return textfile::Adopt(stream);
}

bool ReadTextLine(TextFile* file, std::string& line) { return textfile::ReadLine(file, line); }

void CloseTextFile(TextFile* file) { textfile::Close(file); }

}  // namespace host

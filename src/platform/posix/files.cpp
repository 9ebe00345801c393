// The program's directory, from /proc, and the files read there.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/textfile.h"

namespace host {

namespace {

std::string ProgramDirectory() {
    std::string path(4096, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) return ".";  // no /proc: the working directory is the best there is
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string PathInProgramDirectory(const std::string& name) {
    const std::string directory = ProgramDirectory();
    return directory == "/" ? "/" + name : directory + "/" + name;
}

bool IsOrdinaryFile(const std::string& path) {
    struct stat status{};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

TextFile* OpenTextFile(const std::string& path) {
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr)
        throw Failure{FailureKind::FileCannotBeOpened, path + ": " + std::strerror(errno)};
    return textfile::Adopt(stream);
}

bool ReadTextLine(TextFile* file, std::string& line) { return textfile::ReadLine(file, line); }

void CloseTextFile(TextFile* file) { textfile::Close(file); }

}  // namespace host

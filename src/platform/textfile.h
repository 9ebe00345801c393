#pragma once
// Line reading over an open stdio stream, shared by every host's
// OpenTextFile/ReadTextLine/CloseTextFile, so that line ends and the
// byte-order mark are handled alike everywhere.

#include <cstdio>
#include <string>

#include "platform/platform.h"

struct host::TextFile {
    std::FILE* stream;
    bool atStart;  // nothing read yet: a byte-order mark may follow
};

namespace textfile {

// Takes ownership of an open binary-mode stream.
host::TextFile* Adopt(std::FILE* stream);

// As host::ReadTextLine.
bool ReadLine(host::TextFile* file, std::string& line);

// Closes the stream and frees file; nullptr is allowed.
void Close(host::TextFile* file);

}  // namespace textfile

#include "platform/textfile.h"

namespace textfile {

host::TextFile* Adopt(std::FILE* stream) { return new host::TextFile{stream, true}; }

bool ReadLine(host::TextFile* file, std::string& line) {
    std::FILE* stream = file->stream;
    line.clear();
    if (file->atStart) {
        file->atStart = false;
        // A file saved as "UTF-8 with BOM" by an editor must read like one without.
        const char bom[] = "\xEF\xBB\xBF";
        int matched = 0;
        int c = 0;
        while (matched < 3 && (c = std::getc(stream)) == static_cast<unsigned char>(bom[matched])) ++matched;
        if (matched < 3) {
            line.append(bom, static_cast<std::size_t>(matched));
            if (c != EOF) std::ungetc(c, stream);
        }
    }
    bool any = !line.empty();
    for (int c; (c = std::getc(stream)) != EOF;) {
        any = true;
        if (c == '\n') break;
        line += static_cast<char>(c);
    }
    if (!any) return false;
    // CR LF files are the rule; a CR before the end of the file ends the last line too.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

void Close(host::TextFile* file) {
    if (file == nullptr) return;
    std::fclose(file->stream);
    delete file;
}

}  // namespace textfile

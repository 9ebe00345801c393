#include "platform/failure.h"

#include <cstddef>
#include <cstdio>

const char* FailureKindName(FailureKind kind) {
    switch (kind) {
    case FailureKind::FileCannotBeOpened: return "Datei kann nicht geöffnet werden";
    case FailureKind::InputPastEndOfFile: return "Einlesen hinter Dateiende";
    case FailureKind::TypeMismatch: return "Typen unverträglich";
    case FailureKind::Overflow: return "Überlauf";
    case FailureKind::SubscriptOutOfRange: return "Index außerhalb des gültigen Bereichs";
    case FailureKind::PortLibraryNotFound: return "Portbibliothek nicht gefunden";
    case FailureKind::PortLibraryNotLoadable: return "Portbibliothek nicht ladbar";
    case FailureKind::EntryPointNotFound: return "Einsprungpunkt nicht gefunden";
    case FailureKind::PortInUse: return "Port belegt";
    case FailureKind::PortDriverNotOpen: return "Porttreiber nicht geöffnet";
    case FailureKind::PortFailed: return "Port nicht verfügbar";
    case FailureKind::PortRejectsValues: return "Port nimmt die Werte nicht an";
    case FailureKind::InputsCannotBeRead: return "Eingänge nicht lesbar";
    case FailureKind::OutOfMemory: return "Speicher reicht nicht";
    // The drive window's report reads as it always has.
    case FailureKind::WindowCannotBeOpened: return "Unerwarteter Fehler";
    case FailureKind::PinAssignmentMissing: return "Datei fehlt";
    case FailureKind::Unexpected: return "Unerwarteter Fehler";
    }
    return "Unbekannter Fehler";
}

std::string FailureReportText(const Failure& failure) {
    return std::string("Laufzeitfehler: ") + FailureKindName(failure.kind) + "\n" + failure.detail;
}

namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 if there is none.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no UTF-16 surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

// At most so many characters of a text read from a file, then "…": a broken
// file cannot fill a report or a window with one line.
constexpr std::size_t kMaxCharacters = 40;

// The text as characters: each well-formed UTF-8 sequence and each printable
// ASCII byte as it is, any other byte as `other` makes it.
template <typename Other>
std::string Characters(const std::string& text, Other other) {
    std::string shown;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        if (characters == kMaxCharacters) return shown + "…";
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t sequence = c >= 0x80 ? Utf8SequenceLength(text, i) : 0;
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else if (sequence != 0) {
            shown.append(text, i, sequence);
            i += sequence;
            continue;
        } else {
            shown += other(c);
        }
        ++i;
    }
    return shown;
}

}  // namespace

std::string QuoteForReport(const std::string& text) {
    return "„" + Characters(text, [](unsigned char c) {
               char escaped[8];
               std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
               return std::string(escaped);
           }) + "“";
}

std::string TextToShow(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    const std::string trimmed = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    // The file is written in the Windows code page, whose German letters are Latin-1's.
    return Characters(trimmed, [](unsigned char c) {
        if (c < 0xA0) return std::string(c == '\t' ? " " : "?");
        return std::string{static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    });
}

#include "drive/read_back.h"

#include <optional>
#include <vector>

#include "config/conversions.h"
#include "drive/drive.h"
#include "platform/platform.h"
#include "text/wording.h"

namespace {

constexpr unsigned kAllLines = 0xFF;

// The signals on data line `line`, "X-Schritt", "X-Schritt und Y-Richtung", or "".
std::string SignalsOn(int line, const port::SignalBits& bits) {
    const struct {
        short bit;
        const char* name;
    } signals[] = {{bits.xStep, "X-Schritt"}, {bits.xDir, "X-Richtung"}, {bits.yStep, "Y-Schritt"},
                   {bits.yDir, "Y-Richtung"}, {bits.zStep, "Z-Schritt"}, {bits.zDir, "Z-Richtung"}};
    std::vector<std::string> names;
    for (const auto& signal : signals)
        if (signal.bit == (1 << line)) names.emplace_back(signal.name);
    return wording::Listed(names);
}

// The lines of `mask` by their pins, "Pin 2 (D0, X-Schritt) und Pin 9 (D7)".
std::string LinesText(unsigned mask, const port::SignalBits& bits) {
    std::vector<std::string> lines;
    for (int line = 0; line < 8; ++line)
        if ((mask >> line) & 1u) lines.push_back(DataLineText(line, bits));
    return wording::Listed(lines);
}

std::string Value(unsigned value) {
    return std::to_string(value) + " (" + wording::Hex(value, value <= kAllLines ? 2 : 0) + ")";
}

int Count(unsigned mask) {
    int lines = 0;
    for (; mask != 0; mask &= mask - 1) ++lines;
    return lines;
}

// "blieb aus" / "blieben an", for one line or several.
std::string Stayed(unsigned mask, bool on) {
    return std::string(Count(mask) == 1 ? " blieb " : " blieben ") + (on ? "an" : "aus");
}

std::string CauseText(const NotTaken& what, const std::string& addressText) {
    const std::uint16_t address = what.address;
    switch (CauseOf(what.written, what.read, address, what.followed, what.seenBefore)) {
    case ReadBackCause::NoPort: {
        std::string text = "Ursache: Alle Datenleitungen lesen 1. An dieser Adresse antwortet kein Port, oder der Port "
                           "ist im BIOS abgeschaltet.";
        if (const std::optional<std::string> meant = MeantPortAddress(addressText))
            text += " Die Portadresse " + QuoteForReport(addressText) + " ist dezimal gelesen " + Value(address) +
                    "; gemeint ist wohl " + *meant + ": dann „" + *meant + "“ in Pinbelegung.txt schreiben.";
        return text + "\n" + host::PortAddressHelp();
    }
    case ReadBackCause::DriverDead:
        return std::string("Ursache: Der Port liest ") +
               (what.read == 0 ? "0, was auch geschrieben wird" : "das untere Byte seiner Adresse") +
               ": Der Treiber der Portbibliothek arbeitet nicht, es kommt nichts am Port an.\n" + host::PortDriverHelp();
    case ReadBackCause::LineOrDriver:
        return "Ursache: Geschrieben war nur " + LinesText(what.written & kAllLines, {}) +
               ", und der Port liest 0. Entweder hält die Verdrahtung diesen Pin fest, etwa ein Kurzschluss nach Masse "
               "oder eine Last, die der Port nicht treiben kann, oder der Treiber der Portbibliothek arbeitet nicht. "
               "Was davon, zeigt eine neue Fahrt mit abgezogenem Stecker: nimmt der Port die Werte dann an, liegt es "
               "an der Verdrahtung an diesem Pin, sonst am Treiber.\n" +
               host::PortDriverHelp();
    case ReadBackCause::LinesHeld:
        return std::string((what.followed | (what.written & what.read)) != 0
                               ? "Ursache: Andere Leitungen folgen den geschriebenen Werten, diese nicht: "
                               : "Ursache: Vor dem ersten Schreibzugriff las der Port Leitungen als 1, sein Treiber "
                                 "arbeitet also; diese Leitungen folgen den geschriebenen Werten nicht: ") +
               "Was an ihnen angeschlossen ist, "
               "hält sie fest, etwa ein Kurzschluss nach Masse (blieb aus) oder nach 5 V (blieb an), oder eine Last, die "
               "der Port nicht treiben kann. Abhilfe: die Verdrahtung an " +
               LinesText((what.written ^ what.read) & kAllLines, {}) +
               " prüfen; mit abgezogenem Stecker zeigt eine neue Fahrt, ob der Port allein die Werte annimmt.";
    case ReadBackCause::PortMode:
        break;
    }
    return "Ursache: Der Port arbeitet wohl in einer Betriebsart, in der sein Datenregister die Leitungen nicht treibt. "
           "Abhilfe: im BIOS den Parallelport auf SPP (auch „Normal“, „Standard“ oder „Bidirectional“) oder EPP "
           "stellen, nicht ECP.";
}

}  // namespace

std::string DataLineText(int line, const port::SignalBits& bits) {
    const std::string signals = SignalsOn(line, bits);
    return "Pin " + std::to_string(line + 2) + " (D" + std::to_string(line) + (signals.empty() ? "" : ", " + signals) +
           ")";
}

ReadBackCause CauseOf(unsigned written, unsigned read, std::uint16_t address, unsigned followed,
                      unsigned seenBefore) {
    written &= kAllLines;
    read &= kAllLines;
    if (read == kAllLines) return ReadBackCause::NoPort;
    // A line that followed a write shows a driver that works: then the lines
    // that differ are held, also where they read the address' low byte (0 at 0xE800).
    if ((followed | (written & read)) != 0) return ReadBackCause::LinesHeld;
    if (seenBefore == 0) {
        // inpout32.dll without its driver answers a read with the address' low byte.
        if (read == (address & kAllLines) && read != 0) return ReadBackCause::DriverDead;
        if (read == 0) return Count(written) == 1 ? ReadBackCause::LineOrDriver : ReadBackCause::DriverDead;
    }
    // A port that read before, and now reads no line that was not written: those written are held.
    if (seenBefore != 0 && (read & ~written) == 0) return ReadBackCause::LinesHeld;
    return ReadBackCause::PortMode;
}

Failure PortDidNotTake(const NotTaken& what, const port::SignalBits& bits, const std::string& addressText) {
    const unsigned stayedOff = what.written & ~what.read & kAllLines;
    const unsigned stayedOn = what.read & ~what.written & kAllLines;
    std::string lines;
    if (stayedOff != 0) lines += LinesText(stayedOff, bits) + Stayed(stayedOff, false) + ".";
    if (stayedOn != 0) lines += (lines.empty() ? "" : " ") + LinesText(stayedOn, bits) + Stayed(stayedOn, true) + ".";
    return {FailureKind::PortRejectsValues,
            wording::Port(what.address) + ": geschrieben " + Value(what.written) + ", zurückgelesen " +
                Value(what.read) + " " + what.when +
                (what.zeroFollows ? "; danach wurde nur noch 0 geschrieben.\n" : "; danach wurde nichts mehr geschrieben.\n") +
                lines + "\n" +
                CauseText(what, addressText) + "\n" +
                "Manche Ports lesen ihre Leitungen statt ihres Registers zurück, und eine stark belastete Leitung kann "
                "0 lesen, obwohl der Port sie treibt: Für einen solchen Port fährt das Programm mit " +
                kReadBackVariable + "=aus ohne Vergleich."};
}

std::string HighBeforeNote(unsigned before, unsigned first, const port::SignalBits& bits) {
    before &= kAllLines;
    if (before == 0) return "";
    const unsigned falling = before & ~first & kAllLines;
    std::vector<std::string> axes;
    for (const auto& [bit, axis] : {std::pair{bits.xStep, "X"}, {bits.yStep, "Y"}, {bits.zStep, "Z"}})
        if (bit != 0 && (falling & static_cast<unsigned>(bit)) != 0) axes.push_back(std::string(axis) + "-Achse");
    std::string note = "Vor dem ersten Schreibzugriff las der Port " + Value(before) + ": an waren " +
                       LinesText(before, bits) + ", wie BIOS oder Kernel den Port beim Prüfen oft hinterlassen. ";
    if (falling == 0) return note + "Der erste Schreibzugriff lässt sie an.";
    note += "Der erste Schreibzugriff schaltet " + LinesText(falling, {}) + " ab";
    if (axes.empty()) return note + "; keine Schrittleitung fällt dabei.";
    return note + "; ein Treiber, der bei fallender Flanke schaltet, macht dabei einen Schritt auf der " +
           wording::Listed(axes) + ".";
}

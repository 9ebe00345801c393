// libFuzzer target: arbitrary bytes as "Pinbelegung.txt", loaded through the
// fake host, then converted and driven as the program would. Every input must
// load or raise a Failure; another exception, a crash, a sanitizer report or a
// hang is a finding. A failure report must be valid UTF-8, so that every host
// can show it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/pin_assignment.h"
#include "drive/drive.h"
#include "fake_host.h"
#include "platform/failure.h"
#include "test_files.h"

namespace {

bool IsUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4                ? 4
                                                                                  : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

void CheckReport(const Failure& failure) {
    const std::string report = FailureReportText(failure);
    if (failure.detail.empty() || !IsUtf8(report)) {
        std::fprintf(stderr, "unfit failure report: %s\n", report.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchDirectory dir;
    WriteText(dir / "Pinbelegung.txt", std::string(reinterpret_cast<const char*>(data), size));
    fake::Reset();
    fake::programDirectory = dir.path();
    fake::msPerEventPass = StepPauseMs;
    // A few pulses show how a file drives; a step count of billions would only repeat them.
    fake::writeLimit = 64;
    try {
        LoadPinAssignment();
        DriveTestRectangle();
    } catch (const Failure& failure) {
        CheckReport(failure);
    } catch (const fake::WriteLimitReached&) {
    }
    return 0;
}

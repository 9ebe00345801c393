#include "fake_host.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <sys/stat.h>

#include "platform/platform.h"
#include "platform/textfile.h"

namespace fake {

std::vector<std::string> transcript;
std::string programDirectory;
std::deque<int> answers;
double clockMs = 0;
double msPerRead = 0;
double msPerSpinRead = 0.25;
double msPerEventPass = 0.25;
double waitStretchMs = 1;
std::map<long long, double> lateMsAtWait;
std::optional<Failure> bindFailure;
long long writeLimit = -1;
long long failingWrite = -1;
long long progressFailsAt = -1;
long long progressCalls = 0;
PortReads portReads;
StatusReads statusReads;
long long statusReadCount = 0;
int held = 0;  // what the port holds
short lastAddress = 0;
short lastWritten = 0;  // the last Out32's value, all of it
int endShownFor = 0;
double stopAtMs = -1;
int stopSignal = 2;
long long waits = 0;
bool bound = false;
long long writes = 0;

void Reset() {
    transcript.clear();
    programDirectory = "/nonexistent";
    answers.clear();
    clockMs = 0;
    msPerRead = 0;
    msPerSpinRead = 0.25;
    msPerEventPass = 0.25;
    waitStretchMs = 1;
    lateMsAtWait.clear();
    bindFailure.reset();
    writeLimit = -1;
    failingWrite = -1;
    progressFailsAt = -1;
    progressCalls = 0;
    portReads = {};
    statusReads = {};
    statusReadCount = 0;
    held = 0;
    lastAddress = 0;
    lastWritten = 0;
    endShownFor = 0;
    stopAtMs = -1;
    stopSignal = 2;
    waits = 0;
    bound = false;
    writes = 0;
}

namespace {
void Record(const std::string& call) { transcript.push_back(call); }
bool StopAsked() { return stopAtMs >= 0 && clockMs >= stopAtMs; }
}  // namespace

std::vector<std::string> DriveTranscript() {
    std::vector<std::string> drive;
    std::copy_if(transcript.begin(), transcript.end(), std::back_inserter(drive), [](const std::string& call) {
        return call.rfind("Clock ", 0) != 0 && call != "Events" && call.find(" refused") == std::string::npos;
    });
    return drive;
}

}  // namespace fake

namespace host {

int ShowMessageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon) {
    fake::Record("MessageBox " + title + (buttons == Buttons::Ok ? " [OK]" : " [OK|Abbrechen]") +
                 (icon == Icon::Critical ? " critical: " : ": ") + text);
    if (buttons == Buttons::Ok) return kOk;
    if (fake::answers.empty()) return kCancel;  // as closing the box
    const int answer = fake::answers.front();
    fake::answers.pop_front();
    return answer;
}

std::string PathInProgramDirectory(const std::string& name) {
    fake::Record("PathInProgramDirectory " + name);
    return fake::programDirectory + "/" + name;
}

bool IsOrdinaryFile(const std::string& path) {
    fake::Record("IsOrdinaryFile");
    struct stat status{};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

TextFile* OpenTextFile(const std::string& path) {
    fake::Record("OpenTextFile");
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) throw Failure{FailureKind::FileCannotBeOpened, path + ": " + std::strerror(errno)};
    return textfile::Adopt(stream);
}

bool ReadTextLine(TextFile* file, std::string& line) {
    const bool read = textfile::ReadLine(file, line);
    fake::Record(read ? "ReadTextLine" : "ReadTextLine: Dateiende");
    return read;
}

void CloseTextFile(TextFile* file) {
    fake::Record("CloseTextFile");
    textfile::Close(file);
}

double ClockMilliseconds() {
    if (!fake::transcript.empty() && fake::transcript.back().rfind("Clock ", 0) == 0) fake::clockMs += fake::msPerSpinRead;
    const double now = fake::clockMs;
    fake::clockMs += fake::msPerRead;
    std::ostringstream call;
    call << "Clock " << now;
    fake::Record(call.str());
    return now;
}

bool WaitForEvents(double deadlineMs) {
    std::ostringstream call;
    call << "Wait " << deadlineMs;
    const double wakeMs = deadlineMs - fake::waitStretchMs;
    if (fake::clockMs >= wakeMs) {
        fake::Record(call.str() + " refused");
        return false;
    }
    fake::Record(call.str());
    if (fake::StopAsked()) return true;
    const auto late = fake::lateMsAtWait.find(++fake::waits);
    const double endMs = wakeMs + (late != fake::lateMsAtWait.end() ? late->second : 0);
    // A stop that comes meanwhile ends the wait when it comes.
    fake::clockMs = fake::stopAtMs >= 0 && fake::stopAtMs < endMs ? fake::stopAtMs : endMs;
    return true;
}

int ProcessPendingEvents() {
    fake::Record("Events");
    const bool stop = fake::StopAsked();
    fake::clockMs += fake::msPerEventPass;
    return stop ? fake::stopSignal : 0;
}

void BeginDrive(long long totalSteps) { fake::Record("BeginDrive " + std::to_string(totalSteps)); }

void EndDrive() { fake::Record("EndDrive"); }

void ShowProgress(const std::string& text, long long stepsDone) {
    if (++fake::progressCalls == fake::progressFailsAt) throw Failure{FailureKind::OutOfMemory, "Fortschritt"};
    fake::Record("Progress " + text + " (" + std::to_string(stepsDone) + ")");
}

void ReportStop(const std::string& text) { fake::Record("ReportStop " + text); }

void ReportLateSteps(const std::string& text) { fake::Record("ReportLateSteps " + text); }

void ShowWiring(const WiringFacts& wiring) {
    fake::Record("ShowWiring " + wiring.port + "; " + wiring.steps + " (" + std::to_string(wiring.warnings.size()) +
                 " warnings)");
}

void ConsoleLine(Channel channel, const std::string& text) {
    fake::Record(std::string(channel == Channel::Output ? "Console: " : "Console error: ") + text);
}

void ReportFailure(const std::string& report) { fake::Record("ReportFailure " + report); }

void SetSignalBits(const SignalBits& bits) {
    std::ostringstream call;
    call << "SetSignalBits " << bits.xStep << " " << bits.xDir << " " << bits.yStep << " " << bits.yDir << " "
         << bits.zStep << " " << bits.zDir;
    fake::Record(call.str());
}

namespace {
void Bind() {
    if (!fake::bound && fake::bindFailure) throw *fake::bindFailure;
    fake::bound = true;
}
}  // namespace

int Inp32(short address) {
    Bind();
    const fake::PortReads& reads = fake::portReads;
    const int value = !reads.canRead      ? kCannotRead
                      : reads.fixed >= 0 ? reads.fixed
                                          : static_cast<int>((static_cast<unsigned>(fake::writes == 0 ? reads.before : fake::held) |
                                                              reads.stuckHigh) &
                                                             ~reads.stuckLow & 0xFFu);
    fake::Record("Inp32 " + std::to_string(address) + " -> " + (value == kCannotRead ? "none" : std::to_string(value)));
    return value;
}

int ReadStatus(short address) {
    Bind();
    ++fake::statusReadCount;
    int value = fake::statusReads.byte;
    for (const auto& [write, byte] : fake::statusReads.fromWrite)
        if (fake::writes >= write) value = byte;
    if (const auto once = fake::statusReads.atRead.find(fake::statusReadCount); once != fake::statusReads.atRead.end())
        value = once->second;
    if (!fake::portReads.canRead) value = kCannotRead;
    fake::Record("Status " + std::to_string(address) + " -> " + (value == kCannotRead ? "none" : std::to_string(value)));
    return value;
}

void ShowInputs(const std::string& text, bool end) { fake::Record(std::string(end ? "InputsEnd " : "Inputs ") + text); }

bool EndShown(double waitMs) {
    std::ostringstream call;
    call << "EndShown " << waitMs;
    fake::Record(call.str());
    fake::clockMs += waitMs;
    return fake::endShownFor-- > 0;
}

void MarkOnWay(long long stepsDone, const std::string& name) {
    fake::Record("MarkOnWay " + std::to_string(stepsDone) + " " + name);
}

std::string PortAddressHelp() { return "Adresshilfe."; }

std::string PortDriverHelp() { return "Abhilfe: Treiberhilfe."; }

void ShowPortNote(const std::string& text) { fake::Record("PortNote " + text); }

void ReportDone(const std::string& text) { fake::Record("ReportDone " + text); }

void Out32(short address, short value) {
    Bind();
    if (fake::writeLimit >= 0 && fake::writes >= fake::writeLimit) throw fake::WriteLimitReached{};
    if (++fake::writes == fake::failingWrite) throw Failure{FailureKind::OutOfMemory, "Out32"};
    std::ostringstream call;
    fake::held = value & 0xFF;
    fake::lastAddress = address;
    fake::lastWritten = value;
    call << "Out32 " << address << " " << value << " at " << fake::clockMs;
    fake::Record(call.str());
}

// As the host's: a 0 where the last write went, unless that wrote 0.
void SwitchPortOff() {
    if (fake::lastWritten == 0) return;
    std::ostringstream call;
    call << "Out32 " << fake::lastAddress << " 0 at " << fake::clockMs << ", SwitchPortOff";
    fake::Record(call.str());
    fake::lastWritten = 0;
    fake::held = 0;
}

}  // namespace host

// The message boxes on the console: keys at a terminal, one line per box from a script.

#include <algorithm>
#include <cstdio>
#include <csignal>
#include <iostream>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace host {

namespace {

using posix::kCtrlBackslash;
using posix::kCtrlC;
using posix::kCtrlD;
using posix::kEsc;
using posix::ReadByte;

// The rest of an escape sequence after its Esc: "[" parameters and a final
// byte (arrows, Home/End, function keys), "O" and one byte, or one key (Alt+key).
void SkipEscapeSequence() {
    const int introducer = ReadByte();
    if (introducer == '[') {
        while (posix::InputWithin(posix::kEscapeSequenceMs)) {
            const int c = ReadByte();
            if (c == EOF || (c >= 0x40 && c <= 0x7E)) return;
        }
    } else if (introducer == 'O' && posix::InputWithin(posix::kEscapeSequenceMs)) {
        ReadByte();
    }
}

// A key at a terminal box: 1 for OK, 2 for Cancel, 0 for a key that does not answer.
int AnswerOfKey(Buttons buttons) {
    const int key = ReadByte();
    if (key == kCtrlC) posix::RecordStopSignal(SIGINT);
    if (key == kCtrlBackslash) posix::RecordStopSignal(SIGQUIT);
    posix::EndIfStopped();
    if (key == kEsc) {
        if (!posix::InputWithin(posix::kEscapeSequenceMs)) return kCancel;
        SkipEscapeSequence();
        return buttons == Buttons::Ok ? kOk : 0;
    }
    if (buttons == Buttons::Ok) return kOk;
    if (key == EOF || key == kCtrlD || key == 'a' || key == 'A') return kCancel;
    if (key == '\n' || key == '\r' || key == 'o' || key == 'O') return kOk;
    return 0;
}

int AskKey(Buttons buttons) {
    int answer = 0;
    while (answer == 0) answer = AnswerOfKey(buttons);
    posix::RestoreTerminal();
    return buttons == Buttons::Ok ? kOk : answer;
}

std::string Lowercase(std::string text) {
    // ASCII only: the answers are ASCII words, and no locale is ever set.
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// One line of a script's answers, without its line end; false at the end of input.
bool ReadAnswerLine(std::string& line) {
    line.clear();
    int c = 0;
    while ((c = ReadByte()) != EOF && c != '\n') line += static_cast<char>(c);
    if (c == EOF && line.empty()) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

// The answer from a script: one line per box.
int AskLine(Buttons buttons) {
    std::string line;
    for (;;) {
        if (!ReadAnswerLine(line)) return buttons == Buttons::Ok ? kOk : kCancel;  // as closing the box
        if (buttons == Buttons::Ok) return kOk;
        const std::string answer = Lowercase(line);
        if (answer.empty() || answer == "ok") return kOk;
        if (answer == "a" || answer == "abbrechen" || answer == "c" || answer == "cancel" || answer[0] == kEsc)
            return kCancel;
        std::cout << "Bitte mit Enter (OK) oder \"a\" (Abbrechen) antworten.\n" << std::flush;
    }
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon) {
    posix::EndIfStopped();
    // Keys typed until now are discarded before the box shows, never after:
    // a key pressed once it is on the screen answers it.
    const bool terminal = posix::KeyMode(1, true);
    std::string body = text;
    std::replace(body.begin(), body.end(), '\r', '\n');
    std::cout << "\n== " << (icon == Icon::Critical ? "FEHLER: " : "") << title << " ==\n" << body << "\n";
    if (buttons == Buttons::Ok)
        std::cout << (terminal ? "[OK] mit Enter" : "[OK]") << "\n" << std::flush;
    else
        std::cout << (terminal ? "[OK] mit Enter, [Abbrechen] mit Esc" : "[OK] / [Abbrechen]") << "\n" << std::flush;
    return terminal ? AskKey(buttons) : AskLine(buttons);
}

}  // namespace host

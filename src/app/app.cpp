#include "app/app.h"

#include <algorithm>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "config/pin_assignment.h"
#include "drive/drive.h"
#include "drive/wiring_view.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "text/wording.h"

int ConfirmResult = 0;

namespace {

constexpr int kUsageStatus = 64;  // as sysexits.h's EX_USAGE: the command was mistyped
constexpr int kMissingFileStatus = 2;
constexpr int kInputStopStatus = 3;  // a stop input stopped the drive, or kept it from beginning

std::string HelpText() {
    return "plottertest " PLOTTERTEST_VERSION
           " – Testfahrt für einen Schrittmotor-Plotter am Parallelport\n"
           "\n"
           "Liest die Verdrahtung aus\n"
           "  " + host::PathInProgramDirectory(kPinAssignmentFileName) + "\n"
           "fragt, ob die Schlitten bereitstehen, und fährt dann ein Rechteck: die Schritte\n"
           "je Seite aus der Datei nach vorne, nach rechts, zurück und nach links, mit " +
           std::to_string(StepPauseMs) + " ms\n"
           "Pause vor jedem Schritt. Danach sind alle Datenleitungen auf 0.\n"
           "Vor der Frage zeigt es die Verdrahtung und den Weg, den ein Schrittmotortreiber\n"
           "daraus machen würde („Erwarteter Weg: …“): mit ihm vergleichen, was die Maschine\n"
           "zeichnet.\n"
           "\n"
           "Jeden Wert liest das Programm gleich nach dem Schreiben vom Port zurück. Das\n"
           "zeigt, dass er auf den Datenleitungen stand; ob der Treiber den Schritt nahm,\n"
           "zeigt erst der Vergleich mit dem erwarteten Weg. Nimmt der Port einen Wert nicht\n"
           "an, hält die Fahrt sofort an, schaltet alle Leitungen ab und nennt die Ursache:\n"
           "  255 gelesen               kein Port an der Adresse oder im BIOS abgeschaltet:\n"
           "                            die Portadresse prüfen\n"
           "  0 oder das untere Byte    der Treiber der Portbibliothek arbeitet nicht\n"
           "  der Adresse\n"
           "  einzelne Leitungen falsch was daran angeschlossen ist, hält sie fest: die\n"
           "                            Verdrahtung an diesen Pins prüfen\n"
           "  anderes                   die Betriebsart des Ports: im BIOS SPP oder EPP\n"
           "                            statt ECP einstellen\n"
           "Für einen Port, der seine Leitungen statt seines Registers zurückliest, fährt\n"
           "" + std::string(kReadBackVariable) + "=aus ohne Vergleich; gelesen und gezählt wird trotzdem.\n"
           "\n"
           "Die fünf Eingänge des Ports (Pin 10 ACK, 11 BUSY, 12 PAPER-OUT, 13 SELECT,\n"
           "15 ERROR) liest das Programm vor dem ersten Schritt und in jeder Pause; es sagt,\n"
           "wo einer wechselt, und nennt am Ende jeden mit seinen Pegeln. Pegel sind die am\n"
           "Stecker: 1 high, 0 low; Pin 11 kehrt der Port um, das Programm dreht ihn zurück.\n"
           "Nach Zeile 24 nennen Einträge aus zwei Zeilen Stoppeingänge: den Namen und\n"
           "„PIN PEGEL“, den Pegel, bei dem er anhält, etwa\n"
           "  Endschalter X rechts\n"
           "  11 0\n"
           "Ist ein Stoppeingang vor dem ersten Schritt ausgelöst, wird nichts geschrieben;\n"
           "löst er während der Fahrt aus und 1 ms später noch, hält die Fahrt vor dem\n"
           "nächsten Schritt an, alle Leitungen auf 0. Das prüft die Verdrahtung und ist\n"
           "keine Sicherheitsschaltung: ein Not-Halt muss in der Hardware den Strom oder\n"
           "die Freigabe der Treiber abschalten.\n"
           "\n"
           "Antworten am Terminal: Enter oder o für OK; Esc, a oder Strg+D für Abbrechen.\n"
           "Antworten aus einem Skript: eine Zeile je Frage; eine leere Zeile oder „ok“ für OK;\n"
           "„a“, „abbrechen“, „c“, „cancel“ oder das Ende der Eingabe für Abbrechen.\n"
           "Während der Fahrt halten Esc, Strg+C, Strg+\\ oder Strg+Z an, ebenso SIGTSTP und\n"
           "jedes Signal, das das Programm sonst beenden würde (SIGINT, SIGTERM, SIGHUP,\n"
           "SIGQUIT, SIGXCPU, SIGALRM, SIGUSR1 und weitere); alle Datenleitungen gehen dann\n"
           "auf 0. SIGPIPE und SIGXFSZ übergeht es: eine Ausgabe schlägt dann fehl, die Fahrt\n"
           "nicht.\n"
           "\n"
           "Zwischen den Schritten wartet das Programm, ohne einen Prozessorkern zu belegen;\n"
           "nur den letzten Bruchteil einer Millisekunde prüft es laufend die Uhr. So kommen\n"
           "die Schritte auch neben rechnenden Programmen pünktlich. Auf einem sehr\n"
           "ausgelasteten Rechner hilft die Echtzeit-Klasse SCHED_RR mit Priorität " +
           std::to_string(host::kDriveRealTimePriority) + ",\n"
           "die das Programm für die Fahrt nimmt, wo es darf: als root, mit CAP_SYS_NICE,\n"
           "oder ohne root nach einer Zeile wie\n"
           "  @lp  -  rtprio  " + std::to_string(host::kDriveRealTimePriority) + "\n"
           "in /etc/security/limits.d/plottertest.conf und einer neuen Anmeldung (für die\n"
           "Mitglieder der Gruppe lp). Sonst senkt es den nice-Wert auf " + std::to_string(host::kDriveNice) +
           ", soweit es darf\n"
           "(ohne root nach einer Zeile „@lp - nice " + std::to_string(host::kDriveNice) +
           "“); darf es auch das nicht, bittet es\n"
           "rtkit um SCHED_RR, und ohne rtkit fährt es wie zuvor. Mit chrt -f oder chrt -r\n"
           "gestartet, behält die Fahrt diese Echtzeit-Klasse. Kamen Schritte mehr als " +
           wording::Decimal(kLateByMs, 1, true) + " ms\n"
           "zu spät, sagt das am Ende eine Zeile „Achtung: …“.\n"
           "\n"
           "Rückgabewert:\n"
           "  0          Fahrt beendet, oder abgebrochen, bevor etwas geschrieben wurde\n"
           "  1          Fehler, gemeldet auf der Standardfehlerausgabe, auch ein Port,\n"
           "             der die Werte nicht annimmt\n"
           "  2          Pinbelegung.txt fehlt\n"
           "  3          ein Stoppeingang hat die Fahrt angehalten oder nicht beginnen lassen\n"
           "  64         unbekanntes Argument\n"
           "  130        angehalten mit Esc, Strg+C, Strg+\\ oder Strg+Z\n"
           "  128 + n    angehalten mit dem Signal n: 143 SIGTERM, 129 SIGHUP, 131 SIGQUIT\n"
           "             (auch Strg+\\ bei einer Frage), 148 SIGTSTP, 152 SIGXCPU (die\n"
           "             Grenze RLIMIT_RTTIME der Echtzeit-Klasse)\n"
           "\n"
           "Die Portbibliothek libinpout32.so neben dem Programm wird erst nach OK geladen.\n"
           "Mitgeliefert sind der simulierte Port, der keine Hardware ansteuert, und in\n"
           "parport/ ein echter Parallelport über ppdev (Rechte: Gruppe lp). Im Debian-Paket\n"
           "wählt\n"
           "  sudo update-alternatives --config plottertest-port\n"
           "zwischen beiden; die Wahl bleibt bei Aktualisierungen erhalten.\n"
           "\n"
           "Der simulierte Port liest:\n"
           "  PLOTTERTEST_PORT_VCD   Datei für den Signalverlauf der Datenleitungen\n"
           "                         (sonst plottertest-port.vcd im Arbeitsverzeichnis);\n"
           "                         daneben, mit .svg, ein Bild des Weges der Schlitten\n"
           "  PLOTTERTEST_PORT_LOG   Datei, an die jeder Schreibzugriff angehängt wird\n"
           "  PLOTTERTEST_DRIVER_US  was der Treiber verlangt, in µs: Impuls,Pause,Richtung\n"
           "                         davor,danach (sonst 10,10,200,200); die Zeile Signal:\n"
           "                         sagt, ob jeder Schritt dafür sauber war. Auch der\n"
           "                         erwartete Weg vor der Frage wird daran geprüft.\n"
           "  PLOTTERTEST_PORT_FAULT spielt einen Port, der die Werte nicht annimmt:\n"
           "                         kein-port (liest 255), treiber-aus (liest das untere\n"
           "                         Byte der Adresse), null (liest 0), D0=0 bis D7=1\n"
           "                         (eine Leitung bleibt aus oder an)\n"
           "  PLOTTERTEST_PORT_INPUTS die Pegel der Eingänge (sonst alle 1): 11=0 ab dem\n"
           "                         Start, 11=0@110 ab Schritt 110, 11=0@110/1 für einen\n"
           "                         Lesezugriff (ein Störimpuls); mehrere durch Kommas\n"
           "\n"
           "plottertest --version zeigt die Version.";
}

// The program's own message for a missing wiring file: the "Datei fehlt!" box,
// and on a console the path that was searched.
void ReportMissingPinAssignment(const std::string& path) {
    host::ShowMessageBox(
        "Achtung !\r"
        "Es fehlt die Datei :  Pinbelegung.txt !\r"
        "Ohne diese Datei kann dieses Programm leider nicht ordnungsgemäß funktionieren!",
        "Datei fehlt!", host::Buttons::Ok, host::Icon::Critical);
    host::ConsoleLine(host::Channel::Error,
                      "plottertest: Pinbelegung.txt fehlt; gesucht wurde " + path + " (neben dem Programm).");
}

// Answers --help and --version; any other argument is a mistake, and nothing
// is loaded or driven then.
int AnswerArguments(const std::vector<std::string>& arguments) {
    const auto unknown = std::find_if(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return argument != "--help" && argument != "-h" && argument != "--version";
    });
    if (unknown != arguments.end()) {
        host::ConsoleLine(host::Channel::Error,
                          "plottertest: unbekanntes Argument " + QuoteForReport(*unknown) + " – Hilfe mit plottertest --help");
        return kUsageStatus;
    }
    host::ConsoleLine(host::Channel::Output,
                      arguments.front() == "--version" ? "plottertest " PLOTTERTEST_VERSION : HelpText());
    return 0;
}

}  // namespace

int Main() {
    LoadPinAssignment();
    // What the file says, in the user's terms, before the user is asked to confirm.
    host::ShowWiring(DescribeWiring());
    // The text names 100 steps whatever the file says: it is the wording users know.
    ConfirmResult = host::ShowMessageBox(
        "Es wird ein Rechteck gefahren mit jeweils 100 Motorschritten nach vorne und 100 Motorschritten nach "
        "rechts!\r"
        "Bitte die Schlitten passend Positionieren , auch die Z-Achse , das geplottet werden kann und auf [OK] "
        "drücken !",
        "Tormal fahren", host::Buttons::OkCancel, host::Icon::None);
    if (ConfirmResult == host::kCancel) {
        host::ConsoleLine(host::Channel::Output, "Abgebrochen: es wurde nichts auf den Port geschrieben.");
        return 0;
    }
    // A stop asked for during the drive ends the program as the signal would
    // have, once every line is off again.
    const int stop = DriveTestRectangle();
    // On Windows the end stays in the window until the user closes it; the inputs live meanwhile.
    while (host::EndShown(kInputsAfterDriveMs)) WatchInputsAfterDrive();
    if (stop == kStoppedByInput) return kInputStopStatus;
    return stop == 0 ? 0 : 128 + stop;
}

int RunProgram(const std::vector<std::string>& arguments) {
    try {
        if (!arguments.empty()) return AnswerArguments(arguments);
        return Main();
    } catch (const Failure& failure) {
        if (failure.kind == FailureKind::PinAssignmentMissing) {
            ReportMissingPinAssignment(failure.detail);
            return kMissingFileStatus;
        }
        // A failure of the drive arrives with every line off: it came before the
        // first port write, or the drive switched off before passing it on.
        host::ReportFailure(FailureReportText(failure));
        return 1;
    } catch (const std::bad_alloc&) {
        // The memory the failed request wanted is free again; the report is short.
        host::ReportFailure(FailureReportText(
            {FailureKind::OutOfMemory, "Das Programm hat nicht genug Arbeitsspeicher bekommen."}));
        return 1;
    } catch (const std::exception& error) {
        host::ReportFailure(FailureReportText({FailureKind::Unexpected, QuoteForReport(error.what())}));
        return 1;
    }
}

#include "app/StartOptions.h"

namespace dorvanta {
namespace {

constexpr const char* kUsageLine = "Aufruf: dorvanta [DATEI]\n";

constexpr const char* kHelp = R"(Aufruf: dorvanta [DATEI]
       dorvanta /uninstall

Dorvanta verwaltet private Daten (Kontonamen, Nummern, Zugangsdaten, Notizen)
in Sammlungen: Einträge aus Titel, Wert und Info in Unterrubriken unter
Oberrubriken, gespeichert als .pdt-Datei, auf Wunsch mit Passwort oder
verschlüsselt als .pdt.age-Datei.

  DATEI        öffnet diese Sammlung; ohne DATEI die in den Einstellungen (F2)
               gewählte oder eine leere. Eine Datei, deren Name mit - beginnt,
               wird als ./-NAME angegeben.
  /uninstall   entfernt den Eintrag in der Liste der installierten Programme
               und die Einstellungen des Programms, keine Dateien.
  --help       zeigt diese Hilfe.
  --version    zeigt die Version.

Befehle ohne Fenster bietet dorvanta-cli (siehe dorvanta-cli --help).
)";

}  // namespace

std::optional<int> HandleStartOptions(const std::vector<std::string>& args,
                                      const std::string& version, std::ostream& out,
                                      std::ostream& err) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            out << kHelp;
            return 0;
        }
        if (arg == "--version") {
            out << "dorvanta " << version << "\n";
            return 0;
        }
        // A lone "-" is no file either: the program reads no standard input.
        if (!arg.empty() && arg.front() == '-') {
            err << "dorvanta: unbekannte Option \"" << arg << "\"\n"
                << kUsageLine << "Mehr unter: dorvanta --help\n";
            return 2;
        }
    }
    return std::nullopt;
}

}  // namespace dorvanta

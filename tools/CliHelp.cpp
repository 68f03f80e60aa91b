#include "tools/CliHelp.h"

namespace dorvanta::cli {

const char* const kHelp = R"(Aufruf: dorvanta-cli BEFEHL ...

Befehle:
  dump DATEI [PASSWORT]
      Gibt das Dokument als JSON aus, in der Reihenfolge der Datei:
      {"password": "...", "keys": [{"parent": "...", "name": "...",
        "entries": [{"title": "...", "value": "...", "info": "...", "date": 37622.5}]}]}
      Datumswerte sind die gespeicherte Zahl (Tage seit dem 30.12.1899).
  build JSON AUSGABE
      Schreibt JSON in dieser Form als pdt-Datei, ohne zu sortieren.
      Fehlt "password", hat die Datei kein Passwort. Eine JSON-Datei über
      256 MiB wird abgewiesen, ohne sie zu lesen.
  sort DATEI AUSGABE [PASSWORT]
      Lädt die Datei, sortiert Rubriken und Einträge und speichert sie.
  match MASKE TEXT
      Prüft, ob TEXT auf die Maske (*, ?, [a-z], [!a-z]) passt.
  search DATEI TEXT [PASSWORT] [--names] [--no-titles] [--no-values]
         [--no-info] [--exact] [--no-wildcard]
      Sucht TEXT in Titeln, Werten und Infos der Einträge, mit --names auch in
      den Rubriknamen; --no-titles, --no-values und --no-info lassen Felder aus.
      Ein Feld ist ein Treffer, wenn es TEXT enthält oder sonst als Ganzes auf
      TEXT als Maske passt (nicht mit --no-wildcard). Ohne --exact zählt
      Groß-/Kleinschreibung nicht. Gibt die Treffer als JSON aus:
      [{"source": "Titel", "value": "...", "key": 0, "entry": 2}]
      "source" ist Unterrubrikname, Titel, Wert oder Info; "key" und "entry"
      zählen ab 0, ein Treffer im Rubriknamen hat "entry": -1.
  import DATEI RUBRIK TEXTDATEI AUSGABE [PASSWORT]
         [--separator tab|space|ZEICHEN]
      Lädt die Datei, liest TEXTDATEI in die Rubrik an Position RUBRIK (ab 0)
      ein und speichert das Ergebnis mit demselben Passwort in AUSGABE. Jede
      Zeile wird ein Eintrag: Titel, Wert und Info, getrennt durch das
      Trennzeichen (Standard: tab); die Info erhält den Rest der Zeile.
      TEXTDATEI ist UTF-8 (mit oder ohne Byte Order Mark) oder Windows-1252.
      Enthält sie ein Zeichen, das Windows-1252 nicht kennt, nennt die Meldung
      Zeile und Zeichen, und es wird nichts gespeichert (Rückgabewert 2).
  encrypt DATEI AUSGABE [PASSWORT]
      Speichert die Datei verschlüsselt als age-Datei (age-encryption.org/v1,
      Passwort mit scrypt). Das angegebene Passwort öffnet eine geschützte DATEI
      und wird zum Passwort der verschlüsselten Datei; ohne Angabe gilt das
      Passwort des Dokuments, und für ein Dokument ohne Passwort wird ein neues
      zweimal abgefragt. Entschlüsseln ohne Dorvanta:
      age -d -o DATEI.pdt DATEI.pdt.age
  decrypt DATEI AUSGABE [PASSWORT]
      Speichert eine verschlüsselte Datei als unverschlüsselte pdt-Datei; deren
      Passwort ist das der verschlüsselten Datei.
  merge BASIS UNSERE IHRE AUSGABE [PASSWORT]
      Führt zwei Fassungen einer Sammlung zusammen, die aus BASIS hervorgegangen
      sind, und speichert das Ergebnis in AUSGABE im Format von UNSERE (AUSGABE
      darf UNSERE sein). Ein Eintrag, den beide Seiten geändert haben, bleibt
      zweimal: die neuere Fassung unter seinem Titel, die ältere mit dem Zusatz
      (Konflikt vom TT.MM.JJJJ hh:mm). Konflikte stehen auf der
      Standardfehlerausgabe (Rückgabewert 1). Ein Passwort öffnet alle drei
      Dateien. Eine leere BASIS heißt: keine gemeinsame Fassung. Bei einem
      Fehler wird nichts geschrieben. Als Merge-Treiber für git:
        .gitattributes:  *.pdt merge=dorvanta
                         *.pdt.age merge=dorvanta
        git config merge.dorvanta.driver "dorvanta-cli merge %O %A %B %A"
  --help
      Zeigt diese Hilfe.
  --version
      Zeigt die Version.

Passwörter:
  PASSWORT steht für --password-stdin oder --password TEXT. Ohne sie fragt ein
  Befehl nach dem Passwort, sobald eine Datei eines braucht: auf dem Terminal
  mit "Passwort: ", ohne die Eingabe anzuzeigen.
  --password-stdin
      Liest das Passwort aus der ersten Zeile der Standardeingabe.
  --password TEXT, --password=TEXT
      Nimmt das Passwort von der Befehlszeile. Vorsicht: andere Benutzer des
      Rechners sehen es in der Prozessliste; besser die Abfrage oder
      --password-stdin.
  Ohne Terminal und ohne diese Optionen endet ein Befehl, der ein Passwort
  braucht, mit dem Rückgabewert 3.
  Eine verschlüsselte Datei nimmt jedes Passwort in UTF-8; eine
  unverschlüsselte nur eines aus höchstens 255 Zeichen, die Windows-1252 kennt.

Optionen und Dateinamen:
  Ein Argument, das mit - beginnt, ist eine Option; eine unbekannte wird
  abgewiesen. Nach -- ist jedes Argument ein Dateiname oder Text, z. B.
  dorvanta-cli encrypt -- -alt.pdt -neu.pdt.age

Jeder Befehl, der eine Datei liest, liest pdt-Dateien und verschlüsselte
age-Dateien; "sort" und "import" speichern im Format der gelesenen Datei.

Texte auf der Befehlszeile und in JSON sind UTF-8; die Dateien speichern sie
in Windows-1252. Ein Zeichen, das Windows-1252 nicht kennt, wird abgewiesen.

Rückgabewerte:
  0  Erfolg (match: der Text passt; search: es gibt Treffer)
  1  match: der Text passt nicht; search: kein Treffer; merge: mit Konflikten
  2  Fehler (die Meldung steht auf der Standardfehlerausgabe)
  3  Passwort fehlt oder ist falsch, oder die Wiederholung weicht ab
)";

}  // namespace dorvanta::cli

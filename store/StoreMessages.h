#pragma once
// The store's German messages (UTF-8), shown to the user as they stand. A %s or
// %d is filled in by FormatMessage (store/StoreError.h). The texts are compared
// by tests and must not change.

namespace dorvanta {

// ---- file operations (load, save, whole-file reads) ----
inline constexpr const char* kMsgCannotOpen = "Datei %s kann nicht geöffnet werden";
inline constexpr const char* kMsgCannotCreate = "Datei %s kann nicht erstellt werden";
inline constexpr const char* kMsgChangedMeanwhile =
    "Datei %s wurde soeben von einem anderen Programm geändert und nicht überschrieben";
inline constexpr const char* kMsgReadError = "Stream-Lesefehler";
inline constexpr const char* kMsgBadValue = "Ungültiger Eigenschaftswert";
inline constexpr const char* kMsgWriteError = "Stream-Schreibfehler";
inline constexpr const char* kMsgPathTooLong =
    "Der Pfad der Datei ist zu lang (höchstens 4.095 Bytes): unter ihm ließe sich die Datei "
    "nicht wieder öffnen. Es wurde nichts gespeichert.";
inline constexpr const char* kMsgWrongPassword =
    "Das angegebene Passwort ist nicht gültig. Die Datei kann nicht angezeigt werden.";

inline constexpr const char* kMsgNoPassphrase =
    "Eine verschlüsselte Datei braucht ein Passwort. Legen Sie zuerst mit „Passwort...“ eines "
    "fest.";

// ---- import of a text file (store/Import.h) ----
inline constexpr const char* kMsgTooManyLines =
    "Die Datei %s hat zu viele Zeilen: eine Unterrubrik fasst höchstens %d Einträge.";
inline constexpr const char* kMsgImportFileTooBig =
    "Die Datei %s ist zu groß für einen Import: höchstens %d MB werden gelesen.";
inline constexpr const char* kMsgImportUnheldChar =
    "Zeile %d der Datei „%s“ enthält das Zeichen „%s“, das nicht gespeichert werden kann. Es "
    "wurde nichts importiert.";
inline constexpr const char* kMsgImportNotUtf8 =
    "Die Datei „%s“ beginnt als UTF-8-Text, doch Zeile %d ist kein gültiges UTF-8. Es wurde "
    "nichts importiert.";

// ---- errors in general (store/ErrorMessage.h) ----
inline constexpr const char* kMsgOutOfMemory = "Zu wenig Arbeitsspeicher";
inline constexpr const char* kMsgUnknownError = "Unbekannter Fehler";

// ---- masks and collation ----
inline constexpr const char* kMsgInvalidMask = "'%s' ist eine ungültige Maske für (%d)";
inline constexpr const char* kMsgNoCollator = "ICU-Sortierung kann nicht geladen werden";

}  // namespace dorvanta

// ---- encrypted files (store/AgeFile.h): patterns with %s for the file's path ----
namespace dorvanta::age {

inline constexpr const char* kMsgDamaged =
    "Die Datei %s ist beschädigt und kann nicht geöffnet werden.";
inline constexpr const char* kMsgWorkFactorTooHigh =
    "Die Datei %s verlangt zum Entschlüsseln den Arbeitsfaktor %s; Dorvanta öffnet Dateien "
    "bis zum Arbeitsfaktor %s, damit das Öffnen nicht Minuten und Gigabytes braucht.";
inline constexpr const char* kMsgSeveralStanzas =
    "Die Datei %s enthält mehr als einen Empfängerblock. Eine mit Passwort verschlüsselte Datei "
    "hat genau einen; die Datei kann nicht geöffnet werden.";
inline constexpr const char* kMsgNotPassphrase =
    "Die Datei %s ist nicht mit einem Passwort verschlüsselt, sondern für einen Schlüssel "
    "(Verfahren „%s“). Dorvanta öffnet nur mit einem Passwort verschlüsselte Dateien.";

}  // namespace dorvanta::age

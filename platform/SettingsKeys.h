#pragma once
// Every value the program keeps in the settings store, written down once: its
// hive, key, name, type and default. Readers and writers name an entry of this
// table, never a string of their own, so a value cannot be read under one name
// and written under another.

#include <cstdint>
#include <string>

#include "platform/Settings.h"

namespace dorvanta::settings {

enum class TValueType {
    Bool,  // an integer, 0 = off
    Integer,
    String,
    DateTime,  // days since 30.12.1899 as an 8-byte binary double
    Flag       // only its presence counts; stored as an empty string
};

struct TValueSpec {
    Hive hive;
    const char* key;  // from the hive's root
    const char* name;
    TValueType type;
    std::int32_t defaultValue;  // of Bool and Integer values; what a missing value means
};

// The program's own key.
inline constexpr const char* kProgramKey = "Software\\QZ\\Dorvanta";
// The update's key, beside the program's; the update component may move it to the
// per-user hive (its HKCU property) and name it after another program.
inline constexpr const char* kVendorKey = "Software\\QZ";
inline constexpr const char* kUpdateKeyDefault = "Software\\QZ\\Dorvanta";

// ---- the main window (per-user) ----
inline constexpr TValueSpec kShowData{Hive::CurrentUser, kProgramKey, "ShowData", TValueType::Bool,
                                      0};
inline constexpr TValueSpec kCompressView{Hive::CurrentUser, kProgramKey, "CompressView",
                                          TValueType::Bool, 0};
// The client area's size as the window last had it.
inline constexpr TValueSpec kWindowWidth{Hive::CurrentUser, kProgramKey, "Form1Width",
                                         TValueType::Integer, 790};
inline constexpr TValueSpec kWindowHeight{Hive::CurrentUser, kProgramKey, "Form1Height",
                                          TValueType::Integer, 327};
inline constexpr TValueSpec kClearClipboard{Hive::CurrentUser, kProgramKey, "ClearClipboard",
                                            TValueType::Bool, 0};
// Seconds a copied text stays on the clipboard while ClearClipboard is on.
inline constexpr TValueSpec kClearClipboardSeconds{
    Hive::CurrentUser, kProgramKey, "ClearClipboardSeconds", TValueType::Integer, 30};
// The delays the options menu offers; any other stored value counts as the default.
inline constexpr std::int32_t kClearClipboardChoices[] = {10, 30, 60, 120};
inline constexpr TValueSpec kBackupOnSave{Hive::CurrentUser, kProgramKey, "BackupOnSave",
                                          TValueType::Bool, 0};
// The collection opened at start; missing: none.
inline constexpr TValueSpec kAutoLoadFile{Hive::CurrentUser, kProgramKey, "AutoLoadFile",
                                          TValueType::String, 0};
// The collections whose sync conflict copies are not offered for merging: a key
// of its own below the program's, one value per collection (named 1, 2, ...)
// holding its path.
inline constexpr const char* kNoConflictMergeKey = "Software\\QZ\\Dorvanta\\NoConflictMerge";

// ---- the update (machine-wide unless the component says per-user) ----
// The command line that started the program, for the installer to start it again.
inline constexpr TValueSpec kApplicationFileName{Hive::LocalMachine, kUpdateKeyDefault,
                                                 "ApplicationFileName", TValueType::String, 0};
// The day from which the next automatic check is due; missing: yesterday.
inline constexpr TValueSpec kNextUpdate{Hive::LocalMachine, kUpdateKeyDefault, "Update",
                                        TValueType::DateTime, 0};
inline constexpr TValueSpec kUpdateInterval{Hive::LocalMachine, kUpdateKeyDefault, "UpdateInterval",
                                            TValueType::Integer, 7};
inline constexpr TValueSpec kNoUpdate{Hive::LocalMachine, kUpdateKeyDefault, "NoUpdate",
                                      TValueType::Flag, 0};
inline constexpr TValueSpec kOnlyUpdate{Hive::LocalMachine, kUpdateKeyDefault, "OnlyUpdate",
                                        TValueType::Flag, 0};

// ---- the system's list of installed programs (machine-wide unless the setup says
// per-user) ----
// The program's entry is the key named after it below this one; its values are all
// texts but for the two switches.
inline constexpr const char* kUninstallListKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The vendor key as the uninstall opens it to delete the program's key below it; the
// same key as kVendorKey, spelt as it is created when missing.
inline constexpr const char* kUninstallVendorKey = "SOFTWARE\\QZ";
// A value of the program's entry.
constexpr TValueSpec UninstallEntryValue(const char* name, TValueType type = TValueType::String) {
    return {Hive::LocalMachine, kUninstallListKey, name, type, 0};
}
inline constexpr TValueSpec kEntryDisplayName = UninstallEntryValue("DisplayName");
inline constexpr TValueSpec kEntryDisplayIcon = UninstallEntryValue("DisplayIcon");
inline constexpr TValueSpec kEntryDisplayVersion = UninstallEntryValue("DisplayVersion");
inline constexpr TValueSpec kEntryUninstallString = UninstallEntryValue("UninstallString");
inline constexpr TValueSpec kEntryModifyPath = UninstallEntryValue("ModifyPath");
inline constexpr TValueSpec kEntryReadme = UninstallEntryValue("Readme");
inline constexpr TValueSpec kEntryPublisher = UninstallEntryValue("Publisher");
inline constexpr TValueSpec kEntryURLInfoAbout = UninstallEntryValue("URLInfoAbout");
inline constexpr TValueSpec kEntryURLUpdateInfo = UninstallEntryValue("URLUpdateInfo");
inline constexpr TValueSpec kEntryHelpLink = UninstallEntryValue("HelpLink");
// Written as 1 when on; off, the value is missing.
inline constexpr TValueSpec kEntryNoModify = UninstallEntryValue("NoModify", TValueType::Bool);
inline constexpr TValueSpec kEntryNoRepair = UninstallEntryValue("NoRepair", TValueType::Bool);

// ---- helpers for the values a component may move to the per-user hive ----
// The hive of `value` when its component's per-user switch is `perUser`.
constexpr Hive HiveOf(const TValueSpec& value, bool perUser) {
    return perUser ? Hive::CurrentUser : value.hive;
}
// The update's key for the program registered as `registryKey`, beside the program's own.
inline std::string UpdateKeyPath(const std::string& registryKey) {
    return std::string(kVendorKey) + "\\" + registryKey;
}
// An Integer value of the key `store` has open, or its default when it is missing.
inline std::int32_t ReadIntegerOrDefault(const TSettingsStore& store, const TValueSpec& value) {
    return store.ValueExists(value.name) ? store.ReadInteger(value.name) : value.defaultValue;
}

// The lock: when the desktop's screen locks (on unless switched off), and after
// this many minutes without input (0: never).
inline constexpr TValueSpec kLockOnScreenLock{Hive::CurrentUser, kProgramKey, "LockOnScreenLock",
                                              TValueType::Bool, 1};
inline constexpr TValueSpec kLockAfterMinutes{Hive::CurrentUser, kProgramKey, "LockAfterMinutes",
                                              TValueType::Integer, 0};
inline constexpr std::int32_t kLockAfterChoices[] = {0, 5, 10, 15, 30, 60};
// A day: a longer wait protects nothing.
inline constexpr std::int32_t kMaxLockAfterMinutes = 1440;

// An Integer value of the key `store` has open, if `accept` takes it; a missing
// value, one of another type (the file may have been edited) or one refused gives
// the default.
template <typename Accept>
std::int32_t ReadAcceptedInteger(const TSettingsStore& store, const TValueSpec& value,
                                 Accept accept) {
    if (store.GetDataType(value.name) != RegDataType::Integer) return value.defaultValue;
    const std::int32_t stored = store.ReadInteger(value.name);
    return accept(stored) ? stored : value.defaultValue;
}

// The idle minutes: 0 (never) to a day.
inline std::int32_t ReadLockAfterMinutes(const TSettingsStore& store) {
    return ReadAcceptedInteger(store, kLockAfterMinutes, [](std::int32_t minutes) {
        return minutes >= 0 && minutes <= kMaxLockAfterMinutes;
    });
}

// Whether a lock of the screen locks the collection: anything but an Integer 0 means yes.
inline bool ReadLockOnScreenLock(const TSettingsStore& store) {
    return ReadAcceptedInteger(store, kLockOnScreenLock, [](std::int32_t) { return true; }) != 0;
}

// The clearing delay: one of the choices the options menu offers.
inline std::int32_t ReadClearClipboardSeconds(const TSettingsStore& store) {
    return ReadAcceptedInteger(store, kClearClipboardSeconds, [](std::int32_t seconds) {
        for (const std::int32_t choice : kClearClipboardChoices) {
            if (seconds == choice) return true;
        }
        return false;
    });
}

}  // namespace dorvanta::settings

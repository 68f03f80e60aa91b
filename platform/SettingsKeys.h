#pragma once
// Every value the program keeps in the settings store, written down once: its
// hive, key, name, type and default. Readers and writers name an entry of this
// table, never a string of their own, so a value cannot be read under one name
// and written under another.

#include <cstdint>

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
inline constexpr TValueSpec kBackupOnSave{Hive::CurrentUser, kProgramKey, "BackupOnSave",
                                          TValueType::Bool, 0};
// The collection opened at start; missing: none.
inline constexpr TValueSpec kAutoLoadFile{Hive::CurrentUser, kProgramKey, "AutoLoadFile",
                                          TValueType::String, 0};

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

}  // namespace dorvanta::settings

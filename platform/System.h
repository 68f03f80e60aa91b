#pragma once
// Program identity, version, files, folders and the shell: the operating-system
// services the windows and components use, so none of them calls the system itself.

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>

namespace dorvanta {

// --- Program identity ---------------------------------------------------------

// The full path of the running program file.
QString ProgramPath();
// The command-line arguments after the program name.
QStringList CommandLineArguments();
// The application title; "Dorvanta" unless changed.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);
// Last modification of a file as a date-time (days since 30.12.1899, local time);
// nothing when the file cannot be examined.
std::optional<double> FileDateTime(const QString& path);
// The same for the program file (0 when it cannot be examined).
double ProgramFileDateTime();

// --- Version ------------------------------------------------------------------

// The FileVersion text of the program ("1.5.0.0" for this release), built in from
// the project version. Empty when `path` names no existing file.
QString GetFileVersionString(const QString& path);
// GetFileVersionString of the program file.
QString GetFileVersionText();

// --- Drives -------------------------------------------------------------------

// The numbers of the Windows drive types.
enum class DriveType {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// The type of the drive (file system) that holds `path`; NoRootDir when the path
// does not exist.
DriveType GetDriveType(const QString& path);
// The mapping from a file-system type name (as /proc/self/mountinfo spells it,
// e.g. "ext4", "nfs4", "fuse.sshfs") and whether its block device is removable.
DriveType DriveTypeOfFilesystem(std::string_view fsType, bool removableDevice);

// --- Files and folders --------------------------------------------------------

// True for an existing regular file (a folder does not count); relative paths are
// taken from the current folder.
bool FileExists(const QString& path);
bool DeleteFile(const QString& path);

// The user's private temporary folder, ending in '/': created with mode 0700 and
// checked to belong to the user ($XDG_RUNTIME_DIR/Dorvanta, else
// $TMPDIR-or-/tmp/Dorvanta-<uid>), because the update keeps files with fixed
// names there that run later. Throws EStoreError when no
// such folder can be had.
QString TempFolder();
// Creates a new, empty file with a unique name that starts with `prefix` in
// TempFolder() and returns its path. Throws EStoreError on failure.
QString CreateTempFile(const QString& prefix);

// --- Shell --------------------------------------------------------------------

enum class BeepKind { Default, Information, Question, Exclamation, Error };
// The system beep (the kind does not change the sound on Linux). Silent in the
// message service's test mode, which counts the beeps instead.
void Beep(BeepKind kind = BeepKind::Default);
int BeepsInTestMode();

// Opens a web or mail target ("http://...", "mailto:...") in the user's program
// for it. False when nothing took it; callers may ignore that. In the message
// service's test mode nothing is opened; the targets are collected instead.
bool OpenUrl(const QString& url);
const QStringList& OpenedUrlsInTestMode();

// Starts a prepared shell script once the running program has ended: detached,
// in a session of its own, without terminal or window, not waited for. The script
// runs in its own folder. False when it does not exist or cannot be started.
bool RunAfterExit(const QString& scriptPath);

// The family of the program's message font (empty without a GUI): the first
// installed face with Arial's metrics (ArialMetricFamilies, the ones the windows
// were laid out for), else the system's general font.
QString MessageFontFamily();
// "Arial", "Liberation Sans" (installed by the setup script), "Arimo".
const QStringList& ArialMetricFamilies();

// Whether the machine has a network connection. When the system cannot tell, the
// answer is true, so that a check goes on to try the server.
bool IsConnected();

// The OEM code page of batch files is UTF-8 on Linux: Windows-1252 text to UTF-8.
std::string AnsiToOem(std::string_view cp1252);

}  // namespace dorvanta

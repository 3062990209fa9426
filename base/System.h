// SPDX-License-Identifier: MIT
// Operating-system services every layer may need: the own module, files,
// folders, processes and private-profile (INI) files. Nothing about screens
// or windows: those are the platform's (ui/Platform.h).
//
// Declared here, implemented once per operating system under platform/
// (platform/win32 on the real API, platform/posix for Linux). Nothing here
// pulls in an OS header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tevrin {

#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
// The folder under UserConfigDir() that holds our per-user settings.
inline constexpr const char* kAppConfigFolder = "Tevrin";
#else
inline constexpr char kPathDelim = '/';
inline constexpr const char* kAppConfigFolder = "tevrin";
#endif

// True for the characters that end a folder part of a path on this system.
constexpr bool IsPathDelim(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

// An owned OS file handle. Move-only; closes itself.
class TFile {
public:
    enum class TMode {
        // Read only; other processes may read the file but none may write it
        // while it is open.
        ReadShared,
        // Create always (an existing file is truncated), read and write, no
        // sharing.
        CreateExclusive,
        // Opened, or made when missing, as a lock: while it is open no other
        // opening of the file in this mode succeeds, in any process; the
        // lock ends when the file is closed or the process ends, however it
        // ends (on Windows the file goes with it). Not open when another
        // holds the lock.
        LockExclusive,
    };

    TFile() = default;
    TFile(const std::string& path, TMode mode);
    TFile(TFile&& other) noexcept;
    TFile& operator=(TFile&& other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    ~TFile();

    bool IsOpen() const { return handle_ != kInvalid; }
    // Reads up to `count` bytes; returns how many arrived (0 at the end).
    std::size_t Read(void* buffer, std::size_t count);
    bool Write(const void* buffer, std::size_t count);
    bool Seek(std::int64_t position);
    std::int64_t Position() const;
    std::int64_t Size() const;
    void Close();

private:
    static constexpr std::intptr_t kInvalid = -1;
    std::intptr_t handle_ = kInvalid;
};

// Full path of the running executable.
std::string ModuleFileName();

// The program's arguments after its name, as UTF-8: on Windows from the
// wide command line (argv holds them in the system's code page), elsewhere
// argv as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The user's temporary folder as the system reports it, normally ending in a
// path delimiter.
std::string GetTempDir();

// The base folder for per-user settings (%APPDATA% on Windows,
// $XDG_CONFIG_HOME or ~/.config elsewhere), without a trailing delimiter.
std::string UserConfigDir();

// The base folder for per-user data (%LOCALAPPDATA% on Windows,
// $XDG_DATA_HOME or ~/.local/share elsewhere), without a trailing delimiter.
std::string UserDataDir();

// The user's documents folder on Windows, the home folder elsewhere; empty
// when the system names none.
std::string UserDocumentsDir();

// An environment variable's value (UTF-8); nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const std::string& name);

// The user's home folder (%USERPROFILE% on Windows, $HOME elsewhere); empty
// when the system names none.
std::string UserHomeDir();

// The user's desktop settings (HKCU\Control Panel\Desktop on Windows) as
// text; elsewhere there are none.
std::optional<std::string> ReadDesktopSetting(const std::string& name);
// Sets one, or removes it when `value` is empty; false when refused or on a
// system without them.
bool WriteDesktopSetting(const std::string& name, const std::optional<std::string>& value);

// Lets go of the console when the system made it for this process alone
// (a program started from the file manager); true when it did so.
bool LeaveOwnConsole();

// Tells a failure in a window of the system's (Windows), for a program that
// has no console to print it to; elsewhere prints it to the standard error.
void ShowErrorBox(const std::string& title, const std::string& text);

// Creates a folder that only the current user can enter. False when it
// exists already or cannot be made.
bool MakePrivateDirectory(const std::string& path);

// True when `path` is a real folder (not a link) owned by the user this
// process runs as.
bool IsOwnPrivateDirectory(const std::string& path);

// True when `path` is a regular file (not a link) owned by the user this
// process runs as.
bool IsOwnRegularFile(const std::string& path);

// Writes what the system holds of the file, or of the folder's entries, to
// the disk and waits for it: after a crash the file's content, or a rename
// into the folder, is there. False when it could not be done.
bool SyncFileToDisk(const std::string& path);
bool SyncFolderToDisk(const std::string& path);

// The system's text for the error of the last call that failed on this
// thread (errno, GetLastError).
std::string LastErrorText();

int CurrentProcessId();
bool ProcessExists(int pid);

// From now on blocks of a megabyte or more (pictures) go back to the system
// as soon as they are freed, so the process's memory follows what it holds
// rather than what it once held.
void ReturnLargeBlocksAtOnce();
// Asks the system to back the whole large pages within [at, at + size)
// with its large pages where it offers them: a picture of several
// megabytes then takes a few page faults instead of thousands, each time
// it is made. A hint: where the system has none, nothing changes.
void PreferLargePages(void* at, std::size_t size);

// A moment on a calendar and a clock, in no particular time zone.
struct TDateTime {
    int Year = 0, Month = 0, Day = 0; // Month 1..12, Day 1..31
    int Hour = 0, Minute = 0, Second = 0;
};
// When a file was last written, in this machine's local time; nothing when
// it cannot be told.
std::optional<TDateTime> FileModifiedLocal(const std::string& path);

// A whole file's bytes. A FIFO or a device is refused rather than waited
// on. Raises EError naming the file.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
// The first `max_bytes` bytes of a regular file. Nothing when the path is
// missing, unreadable or no regular file: a link is not followed, and a FIFO
// or a device is not waited on.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t max_bytes);
// Replaces the file at `path` with `content` as one step: written to a new
// file in the same folder, flushed to the disk, then renamed over it, so a
// crash leaves the old file or the new one, never a part. False, with
// nothing changed, when `path` is there but no regular file (a link, a
// FIFO, a folder) or the folder cannot be written.
bool ReplaceFileContents(const std::string& path, std::string_view content);
// The same for a file only this user may read or write (a secret's file);
// an existing file's permissions are made so too.
bool ReplacePrivateFile(const std::string& path, std::string_view content);

// The system's ANSI code page: the one the system is set to on Windows,
// Windows-1252 elsewhere.
int AnsiCodePage();
// Text in the system's ANSI code page as UTF-8.
std::string AnsiToUtf8(std::string_view text);

// Private-profile (INI) files, read and written by our own parser on every
// system (base/IniFile.h). Section and key names compare without regard to
// case; blanks around a value are dropped; a missing file, section or key
// gives `fallback`. A file is read in the ANSI code page, or as UTF-8 when it
// starts with a UTF-8 byte order mark; values come back as UTF-8. Only
// regular files count, and only their first kMaxIniBytes bytes (the program
// reads a line or two). Writing creates the file and the section as needed,
// keeps every other line byte for byte and replaces the file as one step
// (ReplaceFileContents). Returns false when the file cannot be written, is no
// regular file, or is larger than kMaxIniBytes (its other lines could not
// be kept).
inline constexpr std::size_t kMaxIniBytes = 64 * 1024;
std::string ReadIniString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& fallback);
bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);

std::array<std::uint8_t, 32> Sha256(const void* data, std::size_t size);

// `size` bytes from the system's cryptographic generator; false when it
// gives none.
bool SecureRandomBytes(void* data, std::size_t size);

// Runs a program found on the PATH with `arguments` (its name first), its
// output discarded, and waits for it: its exit status, or -1 when it could
// not be started (always on Windows, where nothing needs it).
int RunQuietly(const std::vector<std::string>& arguments);

// Runs the program `path` with `arguments` (its name first), sharing this
// process's standard streams, and waits for it: its exit status, or -1
// when it could not be started or did not end by itself. Meanwhile the
// terminal's interrupt is the program's alone, so the caller can clean up.
int RunProgram(const std::string& path, const std::vector<std::string>& arguments);

// Opens an address in the user's default web browser (xdg-open,
// ShellExecute) without waiting for it; false when none could be started.
bool OpenInBrowser(const std::string& url);

} // namespace tevrin

// SPDX-License-Identifier: MIT
#include "base/System.h"

#include "platform/win32/Wide.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off: the system headers need windows.h first
#include <aclapi.h>
#include <bcrypt.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#include <algorithm>
#include <vector>

namespace tevrin {
namespace {

HANDLE AsHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

} // namespace

TFile::TFile(const std::string& path, TMode mode) {
    // A file opened without sharing is its own lock; it goes with its
    // handle, however the process ends.
    HANDLE h =
        mode == TMode::ReadShared
            ? CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
        : mode == TMode::LockExclusive
            ? CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr)
            : CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
    handle_ = h == INVALID_HANDLE_VALUE ? kInvalid : reinterpret_cast<std::intptr_t>(h);
}

std::size_t TFile::Read(void* buffer, std::size_t count) {
    std::size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(AsHandle(handle_), p + done, chunk, &got, nullptr) || got == 0) break;
        done += got;
    }
    return done;
}

bool TFile::Write(const void* buffer, std::size_t count) {
    auto* p = static_cast<const char*>(buffer);
    while (count > 0) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
        DWORD put = 0;
        if (!WriteFile(AsHandle(handle_), p, chunk, &put, nullptr) || put == 0) return false;
        p += put;
        count -= put;
    }
    return true;
}

bool TFile::Seek(std::int64_t position) {
    LARGE_INTEGER to;
    to.QuadPart = position;
    return position >= 0 && SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN);
}

std::int64_t TFile::Position() const {
    LARGE_INTEGER zero{}, at{};
    return SetFilePointerEx(AsHandle(handle_), zero, &at, FILE_CURRENT) ? at.QuadPart : -1;
}

std::int64_t TFile::Size() const {
    LARGE_INTEGER size{};
    return GetFileSizeEx(AsHandle(handle_), &size) ? size.QuadPart : -1;
}

void TFile::Close() {
    if (handle_ != kInvalid) CloseHandle(AsHandle(handle_));
    handle_ = kInvalid;
}

std::string ModuleFileName() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return Narrow({buffer.data(), n});
        buffer.resize(buffer.size() * 2);
    }
}

std::string GetTempDir() {
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    return n > 0 && n <= MAX_PATH ? Narrow({buffer, n}) : std::string();
}

std::string UserConfigDir() {
    wchar_t buffer[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return Narrow(buffer);
    return {};
}

std::string UserDataDir() {
    wchar_t buffer[MAX_PATH];
    if (SUCCEEDED(
            SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return Narrow(buffer);
    return {};
}

std::string UserDocumentsDir() {
    wchar_t buffer[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return Narrow(buffer);
    return {};
}

std::optional<std::string> EnvironmentVariable(const std::string& name) {
    const std::wstring wide = Widen(name);
    const DWORD size = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD got = GetEnvironmentVariableW(wide.c_str(), value.data(), size);
    if (got == 0 || got >= size) return std::nullopt;
    value.resize(got);
    return Narrow(value);
}

std::string UserHomeDir() {
    wchar_t buffer[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return Narrow(buffer);
    return EnvironmentVariable("USERPROFILE").value_or("");
}

namespace {

constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";

} // namespace

std::optional<std::string> ReadDesktopSetting(const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring wide_name = Widen(name);
    DWORD type = 0, size = 0;
    std::optional<std::string> result;
    if (RegQueryValueExW(key, wide_name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, wide_name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(value.data()), &size) == ERROR_SUCCESS) {
            value.resize(std::min<std::size_t>(size / sizeof(wchar_t), value.size()));
            while (!value.empty() && value.back() == L'\0')
                value.pop_back();
            result = Narrow(value);
        }
    }
    RegCloseKey(key);
    return result;
}

bool WriteDesktopSetting(const std::string& name, const std::optional<std::string>& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring wide_name = Widen(name);
    LSTATUS status;
    if (value) {
        const std::wstring text = Widen(*value);
        status = RegSetValueExW(key, wide_name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    } else {
        status = RegDeleteValueW(key, wide_name.c_str());
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool LeaveOwnConsole() {
    DWORD processes[2];
    if (GetConsoleWindow() == nullptr || GetConsoleProcessList(processes, 2) != 1) return false;
    return FreeConsole() != 0;
}

void ShowErrorBox(const std::string& title, const std::string& text) {
    MessageBoxW(nullptr, Widen(text).c_str(), Widen(title).c_str(), MB_OK | MB_ICONERROR);
}

bool MakePrivateDirectory(const std::string& path) {
    return CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

namespace {

// Whether the file or folder at `path` belongs to the user this process
// runs as.
bool OwnedByCurrentUser(const std::wstring& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool same = false;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<std::uint8_t> buffer(size);
        if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
            same = EqualSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, owner) != FALSE;
        CloseHandle(token);
    }
    LocalFree(descriptor);
    return same;
}

} // namespace

bool IsOwnPrivateDirectory(const std::string& path) {
    const std::wstring wide = Widen(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && OwnedByCurrentUser(wide);
}

std::optional<TDateTime> FileModifiedLocal(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    FILETIME local_file;
    SYSTEMTIME local;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local_file) ||
        !FileTimeToSystemTime(&local_file, &local))
        return std::nullopt;
    return TDateTime{local.wYear, local.wMonth,  local.wDay,
                     local.wHour, local.wMinute, local.wSecond};
}

bool IsOwnRegularFile(const std::string& path) {
    const std::wstring wide = Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
           OwnedByCurrentUser(wide);
}

bool SyncFileToDisk(const std::string& path) {
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return ok;
}

// Windows offers no flush of a folder's entries; NTFS journals a rename itself.
bool SyncFolderToDisk(const std::string&) {
    return true;
}

std::string LastErrorText() {
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n > 0 ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return Narrow(message);
}

int CurrentProcessId() {
    return static_cast<int>(GetCurrentProcessId());
}

void ReturnLargeBlocksAtOnce() {
    // The process heap already takes blocks this large straight from the
    // system and gives them back when freed.
}

void PreferLargePages(void*, std::size_t) {
    // Large pages need a privilege ordinary users do not have.
}

bool ProcessExists(int pid) {
    if (pid <= 0) return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return alive;
}

int AnsiCodePage() {
    return static_cast<int>(GetACP());
}

std::string AnsiToUtf8(std::string_view text) {
    return Narrow(WidenAnsi(text));
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t max_bytes) {
    // The link itself, not what it points at, so that a link shows as one.
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    std::optional<std::string> text;
    if (GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        text.emplace();
        char buffer[8192];
        while (text->size() < max_bytes) {
            DWORD got = 0;
            const DWORD want =
                static_cast<DWORD>(std::min(sizeof buffer, max_bytes - text->size()));
            if (!ReadFile(h, buffer, want, &got, nullptr) || got == 0) break;
            text->append(buffer, got);
        }
    }
    CloseHandle(h);
    return text;
}

bool ReplaceFileContents(const std::string& path, std::string_view content) {
    const std::wstring target = Widen(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
        return false;
    const std::wstring temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount()) + L".tmp";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < content.size();) {
        DWORD put = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 30));
        ok = WriteFile(h, content.data() + done, chunk, &put, nullptr) && put > 0;
        done += put;
    }
    ok = ok && FlushFileBuffers(h);
    ok = CloseHandle(h) && ok;
    ok = ok && MoveFileExW(temp.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}

// A file in the user's own profile folders inherits an access list that
// lets in only this user, the system and administrators.
bool ReplacePrivateFile(const std::string& path, std::string_view content) {
    return ReplaceFileContents(path, content);
}

std::array<std::uint8_t, 32> Sha256(const void* data, std::size_t size) {
    std::array<std::uint8_t, 32> digest{};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return digest;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
        BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(size),
                       0);
        BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return digest;
}

std::vector<std::string> ProgramArguments(int, char**) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i)
        args.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

bool SecureRandomBytes(void* data, std::size_t size) {
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(data), static_cast<ULONG>(size),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

int RunQuietly(const std::vector<std::string>&) {
    return -1;
}

namespace {

// One argument as the C runtime's parser splits a command line: quoted when
// it holds blanks or quotes, with the backslashes before a quote doubled.
std::wstring QuotedArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

} // namespace

int RunProgram(const std::string& path, const std::vector<std::string>& arguments) {
    std::wstring line;
    for (const std::string& argument : arguments)
        line += (line.empty() ? L"" : L" ") + QuotedArgument(Widen(argument));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(Widen(path).c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process.hProcess, &code) != 0;
    CloseHandle(process.hProcess);
    return ended ? static_cast<int>(code) : -1;
}

bool OpenInBrowser(const std::string& url) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", Widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

} // namespace tevrin

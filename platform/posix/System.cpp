// SPDX-License-Identifier: MIT
#include "base/System.h"

#include "base/Unicode.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <fstream>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tevrin {

TFile::TFile(const std::string& path, TMode mode) {
    if (mode == TMode::LockExclusive) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        struct stat st;
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
                        ::flock(fd, LOCK_EX | LOCK_NB) != 0)) {
            ::close(fd);
            fd = -1;
        }
        handle_ = fd;
        return;
    }
    // Not blocking: opening a FIFO would otherwise wait for a writer.
    int fd = mode == TMode::ReadShared
                 ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)
                 : ::open(path.c_str(),
                          O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd >= 0) {
        struct stat st;
        // Only regular files: a folder, a FIFO or a device is no payload and
        // no target.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            fd = -1;
        } else {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        }
    }
    handle_ = fd;
}

std::size_t TFile::Read(void* buffer, std::size_t count) {
    std::size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = ::read(static_cast<int>(handle_), p + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool TFile::Write(const void* buffer, std::size_t count) {
    auto* p = static_cast<const char*>(buffer);
    while (count > 0) {
        ssize_t n = ::write(static_cast<int>(handle_), p, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool TFile::Seek(std::int64_t position) {
    return position >= 0 && ::lseek(static_cast<int>(handle_), position, SEEK_SET) == position;
}

std::int64_t TFile::Position() const {
    return ::lseek(static_cast<int>(handle_), 0, SEEK_CUR);
}

std::int64_t TFile::Size() const {
    struct stat st;
    return ::fstat(static_cast<int>(handle_), &st) == 0 ? st.st_size : -1;
}

void TFile::Close() {
    if (handle_ != kInvalid) ::close(static_cast<int>(handle_));
    handle_ = kInvalid;
}

std::string ModuleFileName() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string GetTempDir() {
    const char* dir = std::getenv("TMPDIR");
    std::string result = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    if (result.back() != '/') result += '/';
    return result;
}

std::string UserConfigDir() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

std::string UserDataDir() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share";
}

std::string UserDocumentsDir() {
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

std::optional<std::string> EnvironmentVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::string UserHomeDir() {
    return EnvironmentVariable("HOME").value_or("");
}

std::optional<std::string> ReadDesktopSetting(const std::string&) {
    return std::nullopt;
}

bool WriteDesktopSetting(const std::string&, const std::optional<std::string>&) {
    return false;
}

bool LeaveOwnConsole() {
    return false;
}

void ShowErrorBox(const std::string& title, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
}

bool MakePrivateDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0;
}

bool IsOwnPrivateDirectory(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

std::optional<TDateTime> FileModifiedLocal(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    struct tm local;
    if (localtime_r(&info.st_mtime, &local) == nullptr) return std::nullopt;
    return TDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}

bool IsOwnRegularFile(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid();
}

namespace {

bool SyncPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

} // namespace

bool SyncFileToDisk(const std::string& path) {
    return SyncPath(path, O_RDONLY | O_NOFOLLOW);
}

bool SyncFolderToDisk(const std::string& path) {
    return SyncPath(path, O_RDONLY | O_DIRECTORY);
}

std::string LastErrorText() {
    return std::strerror(errno);
}

int CurrentProcessId() {
    return static_cast<int>(::getpid());
}

void ReturnLargeBlocksAtOnce() {
#ifdef __GLIBC__
    // A fixed threshold also stops glibc from raising it after each large
    // free, which would move later pictures into the heap, where freed
    // memory stays with the process.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

void PreferLargePages(void* at, std::size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLarge = 2u << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(at);
    const auto from = (start + kLarge - 1) & ~(kLarge - 1), to = (start + size) & ~(kLarge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)at, (void)size;
#endif
}

bool ProcessExists(int pid) {
    if (pid <= 0) return false;
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t max_bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st;
    std::optional<std::string> text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        text.emplace();
        char buffer[8192];
        while (text->size() < max_bytes) {
            const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, max_bytes - text->size()));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            text->append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return text;
}

namespace {

// `mode`: the new file's permissions; none keeps an existing file's.
bool ReplaceFile(const std::string& path, std::string_view content,
                 std::optional<mode_t> private_mode) {
    struct stat st;
    mode_t mode = 0644;
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return false;
        mode = st.st_mode & 07777;
    }
    if (private_mode) mode = *private_mode;
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp =
        path.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." + name + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0;
    for (std::size_t done = 0; ok && done < content.size();) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

} // namespace

bool ReplaceFileContents(const std::string& path, std::string_view content) {
    return ReplaceFile(path, content, std::nullopt);
}

bool ReplacePrivateFile(const std::string& path, std::string_view content) {
    return ReplaceFile(path, content, 0600);
}

int AnsiCodePage() {
    return 1252;
}
std::string AnsiToUtf8(std::string_view text) {
    return Cp1252ToUtf8(text);
}

std::array<std::uint8_t, 32> Sha256(const void* data, std::size_t size) {
    std::array<std::uint8_t, 32> digest{};
    unsigned int length = 0;
    EVP_Digest(data, size, digest.data(), &length, EVP_sha256(), nullptr);
    return digest;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

bool SecureRandomBytes(void* data, std::size_t size) {
    return RAND_bytes(static_cast<unsigned char*>(data), static_cast<int>(size)) == 1;
}

int RunQuietly(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunProgram(const std::string& path, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // As system() does: while the program runs, Ctrl+C and Ctrl+\ are its
    // own to answer, so this process lives on to clean up after it; the
    // program gets the signals' default handling back.
    struct sigaction ignore {
    }, old_int{}, old_quit{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &old_int);
    sigaction(SIGQUIT, &ignore, &old_quit);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, path.c_str(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    int status = 0;
    bool ended = failed == 0;
    while (ended && waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) ended = false;
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGQUIT, &old_quit, nullptr);
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool OpenInBrowser(const std::string& url) {
    // The opener is started with no terminal output of its own and is not
    // waited for: it may keep running as long as the browser does.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    pid_t pid = 0;
    const int failed =
        posix_spawnp(&pid, "xdg-open", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return false;
    // Reaped when it ends, so it leaves no zombie behind.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}

} // namespace tevrin

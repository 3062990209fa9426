// SPDX-License-Identifier: MIT
#include "platform/sdl/LinuxServices.h"

#include "base/System.h"
#include "platform/sdl/LinuxPlatform.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tevrin {

// SDL2_mixer plays one piece of music at a time and reports its end through
// one global hook on its own thread; the hook hands the end to the
// interface thread, where a stop or a later play may already have made it
// stale.
class TMixerSound final : public TMediaDevice {
public:
    TMixerSound(TLinuxPlatform& platform, Mix_Music* music) : platform_(platform), music_(music) {}
    ~TMixerSound() override {
        if (current_ == this) {
            current_ = nullptr;
            ++generation_;
            Mix_HaltMusic();
        }
        Mix_FreeMusic(music_);
    }

    void Play(std::function<void(TNotifyValue)> ended) override {
        // Whatever plays is halted as stale first, so no end of it can be
        // taken for an end of this play.
        current_ = nullptr;
        ++generation_;
        Mix_HaltMusic();
        ended_ = std::move(ended);
        current_ = this;
        const int generation = ++generation_;
        if (Mix_PlayMusic(music_, 0) != 0) Finish(generation, TNotifyValue::nvFailure);
    }

    void Stop() override {
        if (current_ != this) return;
        ++generation_;
        current_ = nullptr;
        Mix_HaltMusic();
    }

    // The mixer's hook, on the mixer's thread.
    static void MusicFinished() {
        const int generation = generation_.load();
        if (TMixerSound* sound = current_.load())
            sound->Finish(generation, TNotifyValue::nvSuccessful);
    }

private:
    void Finish(int generation, TNotifyValue how) {
        platform_.PostWork([generation, how, ended = ended_] {
            if (generation_ == generation && ended) ended(how);
        });
    }

    static inline std::atomic<TMixerSound*> current_{nullptr};
    static inline std::atomic<int> generation_{0};
    TLinuxPlatform& platform_;
    Mix_Music* music_;
    std::function<void(TNotifyValue)> ended_;
};

namespace {

// Whether any sound output can exist: a sound server's socket or a sound
// card. Without one, opening the mixer would only fill standard error
// with the sound library's complaints.
bool MayHaveSoundOutput() {
    std::string runtime;
    if (const char* r = std::getenv("XDG_RUNTIME_DIR")) runtime = r;
    for (const char* server : {"/pulse/native", "/pipewire-0"})
        if (!runtime.empty() && ::access((runtime + server).c_str(), F_OK) == 0) return true;
    // A driver chosen by hand (the dummy one of tests included) is tried.
    if (std::getenv("PULSE_SERVER") != nullptr || std::getenv("SDL_AUDIODRIVER") != nullptr)
        return true;
    return ::access("/dev/snd", F_OK) == 0;
}

} // namespace

TLinuxServices::TLinuxServices(TLinuxPlatform& platform) : platform_(platform) {}

TLinuxServices::~TLinuxServices() {
    if (audio_ == TAudio::Open) {
        Mix_HookMusicFinished(nullptr);
        Mix_CloseAudio();
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

std::unique_ptr<TMediaDevice> TLinuxServices::OpenMedia(const std::string& path) {
    if (audio_ == TAudio::Untried) {
        audio_ = TAudio::Failed;
        if (MayHaveSoundOutput() && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            Mix_Init(MIX_INIT_FLAC | MIX_INIT_MP3 | MIX_INIT_OGG | MIX_INIT_MID);
            if (Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 2048) == 0) {
                Mix_HookMusicFinished(TMixerSound::MusicFinished);
                audio_ = TAudio::Open;
            } else {
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
            }
        }
    }
    if (audio_ != TAudio::Open) return nullptr;
    Mix_Music* music = Mix_LoadMUS(path.c_str());
    if (music == nullptr) return nullptr;
    return std::make_unique<TMixerSound>(platform_, music);
}

std::string TLinuxServices::GuardFolder() {
    // A folder of ours that nobody else may enter: another user who made it
    // first, or a link put in its place, could otherwise hold our lock.
    auto private_to_us = [](const std::string& folder) {
        struct stat st;
        return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
               st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
    };
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime != 0 && private_to_us(runtime))
        return runtime;
    const std::string folder = GetTempDir() + "tevrin-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    return private_to_us(folder) ? folder : std::string();
}

bool TLinuxServices::AcquireInstanceGuard(const std::string& name) {
    if (guard_fd_ >= 0) return true;
    const std::string folder = GuardFolder();
    // Without a folder of our own or a lock file there is no way to tell; the
    // saver runs, as it does where the system makes no semaphore.
    if (folder.empty()) return true;
    const std::string path = folder + "/" + name + ".lock";
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return true;
    // The lock lives as long as the descriptor, which the system closes
    // however the process ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held;
    }
    guard_fd_ = fd;
    return true;
}

std::string TLinuxServices::ShellTarget(const std::string& target) {
    const bool has_scheme = target.find(':') != std::string::npos;
    if (!has_scheme && target.find('@') != std::string::npos) return "mailto:" + target;
    return target;
}

void TLinuxServices::ShellOpen(TWindowId, const std::string& target) {
    const std::string what = ShellTarget(target);
    // Twice forked, so the opener belongs to init and never waits as a
    // zombie; between fork and exec only async-signal-safe calls.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::fork() == 0) {
            ::execlp("xdg-open", "xdg-open", what.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::_exit(0);
    }
    if (child > 0) ::waitpid(child, nullptr, 0);
}

TXDisplay& TLinuxServices::X() {
    if (!x_) x_ = std::make_unique<TXDisplay>();
    return *x_;
}

std::pair<int, int> TLinuxServices::CursorPosition() {
    return X().PointerPosition();
}
bool TLinuxServices::ForeignWindowExists(TWindowId window) {
    return X().Exists(window);
}
bool TLinuxServices::ForeignWindowVisible(TWindowId window) {
    return X().Viewable(window);
}
TRect TLinuxServices::ForeignWindowRect(TWindowId window) {
    return X().ClientRect(window);
}

void TLinuxServices::ShowInForeignWindow(TWindowId window, const TBitmap24& bitmap) {
    // X keeps what is drawn into a window until it is exposed again; the
    // caller draws anew when the window's size changes.
    X().Draw(window, bitmap, {0, 0, bitmap.Width(), bitmap.Height()});
}

} // namespace tevrin

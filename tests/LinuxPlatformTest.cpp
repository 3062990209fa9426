// SPDX-License-Identifier: MIT
#include "platform/sdl/LinuxPlatform.h"

#include "platform/sdl/SdlPlatform.h"
#include "tests/TestSupport.h"
#include "ui/Forms.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace tevrin {
namespace {

using test::TScratchDir;

// The shared Linux machinery without a window system: waiting is waiting
// for a wake.
class TBarePlatform final : public TLinuxPlatform {
public:
    bool WaitEvent(TEvent& event, int timeout_ms) override {
        if (TakePending(event)) return true;
        WaitWake(timeout_ms);
        return TakePending(event);
    }
    TWindowId CreateWindow(const TWindowParams&) override { return ++windows_; }
    void DestroyWindow(TWindowId) override {}
    void SetWindowBounds(TWindowId, const TRect&) override {}
    void ShowWindow(TWindowId, bool) override {}
    void SetTopmost(TWindowId, bool) override {}
    void SetWindowBorder(TWindowId, bool) override {}
    void SetCaption(TWindowId, const std::string&) override {}
    void Present(TWindowId, const TBitmap24&, const TRect&, std::span<const TRect>) override {}
    std::vector<TMonitor> Monitors() override { return {{{0, 0, 640, 480}, 96, true}}; }
    void ShowCursor(bool) override {}
    void SetCursorShape(TCursorShape) override {}

protected:
    void Interrupt() override {}

private:
    TWindowId windows_ = 0;
};

// Handles messages until `done` holds or `rounds` waits of 10 ms pass.
template <typename F> bool RunUntil(TApplication& app, const F& done, int rounds = 200) {
    for (int i = 0; i < rounds && !done(); ++i) {
        app.ProcessMessages();
        app.WaitMessage(10);
    }
    return done();
}

TEST(LinuxPlatform, WorkFromAnotherThreadRunsOnTheInterfaceThread) {
    TBarePlatform platform;
    TApplication app(platform);
    std::thread::id ran_on;
    std::thread worker([&] { platform.PostWork([&] { ran_on = std::this_thread::get_id(); }); });
    worker.join();
    EXPECT_TRUE(RunUntil(app, [&] { return ran_on != std::thread::id(); }));
    EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(LinuxPlatform, TerminationSignalsCloseTheMainFormOnce) {
    for (int sig : {SIGTERM, SIGHUP}) {
        TBarePlatform platform;
        TApplication app(platform);
        TForm form(app);
        int closes = 0;
        form.OnClose = [&] { ++closes; };
        form.Show();
        ASSERT_EQ(::raise(sig), 0);
        EXPECT_TRUE(RunUntil(app, [&] { return app.Terminated(); })) << sig;
        EXPECT_TRUE(form.Closed());
        app.ProcessMessages();
        EXPECT_EQ(closes, 1);
    }
}

// Sets an environment variable for the life of the object.
class TEnvironment {
public:
    TEnvironment(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~TEnvironment() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

TEST(LinuxServices, TheGuardFolderMustBeOursAlone) {
    namespace fs = std::filesystem;
    TScratchDir runtime, temp;
    TEnvironment xdg("XDG_RUNTIME_DIR", runtime.Path());
    TEnvironment tmp("TMPDIR", temp.Path());
    const std::string fallback = temp.File("tevrin-" + std::to_string(::getuid()));
    // Others may enter the runtime folder: the private one in the temporary
    // folder is made instead.
    fs::permissions(runtime.Path(),
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_EQ(TLinuxServices::GuardFolder(), fallback);
    EXPECT_EQ(fs::status(fallback).permissions() & fs::perms::all, fs::perms::owner_all);
    // A folder others made or may write in, or a link in its place, is
    // refused: the saver runs without a guard.
    fs::permissions(fallback, fs::perms::all);
    EXPECT_EQ(TLinuxServices::GuardFolder(), "");
    fs::remove(fallback);
    fs::create_directory_symlink(runtime.Path(), fallback);
    EXPECT_EQ(TLinuxServices::GuardFolder(), "");
    TBarePlatform first, second;
    EXPECT_TRUE(first.Services().AcquireInstanceGuard("Sea.scrSemaphore"));
    EXPECT_TRUE(second.Services().AcquireInstanceGuard("Sea.scrSemaphore"));
    EXPECT_TRUE(fs::is_empty(runtime.Path())) << "nothing was written through the link";
}

TEST(LinuxServices, TheInstanceGuardIsHeldUntilTheProcessEnds) {
    TScratchDir dir;
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    ::setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    EXPECT_EQ(TLinuxServices::GuardFolder(), dir.Path());
    {
        TBarePlatform first, second;
        EXPECT_TRUE(first.Services().AcquireInstanceGuard("Sea.scrSemaphore"));
        EXPECT_TRUE(first.Services().AcquireInstanceGuard("Sea.scrSemaphore")); // its own again
        EXPECT_FALSE(second.Services().AcquireInstanceGuard("Sea.scrSemaphore"));
        EXPECT_TRUE(second.Services().AcquireInstanceGuard("Lake.scrSemaphore"));
    }
    if (old)
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(LinuxServices, LinksAndSoundsAnswerWithoutThrowing) {
    EXPECT_EQ(TLinuxServices::ShellTarget("ann@example.com"), "mailto:ann@example.com");
    EXPECT_EQ(TLinuxServices::ShellTarget("mailto:ann@example.com"), "mailto:ann@example.com");
    EXPECT_EQ(TLinuxServices::ShellTarget("https://example.com/@ann"), "https://example.com/@ann");
    EXPECT_EQ(TLinuxServices::ShellTarget("example.com"), "example.com");
    TBarePlatform platform;
    TScratchDir dir;
    EXPECT_EQ(platform.Services().OpenMedia(dir.File("missing.wav")), nullptr);
    EXPECT_EQ(platform.Services().CreateMoviePlayer(1), nullptr);
    EXPECT_FALSE(platform.Services().VerifySaverPassword(1).has_value());
    EXPECT_FALSE(platform.Services().InstallInputHook([](const TEvent&) {}));
}

// A mono 8-bit wave of `ms` milliseconds of silence.
void WriteSilence(const std::string& path, int ms) {
    const std::uint32_t rate = 8000, samples = rate * ms / 1000;
    auto u32 = [](std::uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    std::string wav = "RIFF" + u32(36 + samples) + "WAVEfmt " + u32(16) +
                      std::string("\x01\x00\x01\x00", 4) + u32(rate) + u32(rate) +
                      std::string("\x01\x00\x08\x00", 4) + "data" + u32(samples) +
                      std::string(samples, '\x80');
    test::WriteBytes(path, test::AsBytes(wav));
}

TEST(LinuxServices, ASoundsEndReachesTheInterfaceThreadUnlessStopped) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    TScratchDir dir;
    WriteSilence(dir.File("short.wav"), 150);
    TBarePlatform platform;
    TApplication app(platform);
    std::unique_ptr<TMediaDevice> sound = platform.Services().OpenMedia(dir.File("short.wav"));
    ::unsetenv("SDL_AUDIODRIVER");
    ASSERT_NE(sound, nullptr);
    std::vector<TNotifyValue> ends;
    std::thread::id ended_on;
    sound->Play([&](TNotifyValue how) {
        ends.push_back(how);
        ended_on = std::this_thread::get_id();
    });
    EXPECT_TRUE(RunUntil(app, [&] { return !ends.empty(); }));
    EXPECT_EQ(ends, std::vector<TNotifyValue>{TNotifyValue::nvSuccessful});
    EXPECT_EQ(ended_on, std::this_thread::get_id());
    // A stopped play reports nothing, not even later.
    sound->Play([&](TNotifyValue how) { ends.push_back(how); });
    sound->Stop();
    RunUntil(
        app, [] { return false; }, 40);
    EXPECT_EQ(ends.size(), 1u);
    // Played again after the stop, it ends again.
    sound->Play([&](TNotifyValue how) { ends.push_back(how); });
    EXPECT_TRUE(RunUntil(app, [&] { return ends.size() == 2; }));
}

TEST(SdlPlatform, KeysGetTheClassicVirtualKeyCodes) {
    struct {
        int sdl, vk;
    } cases[] = {{'a', 'A'}, {'z', 'Z'}, {'0', '0'}, {'9', '9'},
                 {'\r', 13}, {27, 27},   {' ', 32},  {'\t', 9}};
    for (const auto& c : cases)
        EXPECT_EQ(TSdlPlatform::VirtualKey(c.sdl), c.vk) << c.sdl;
    // Keys without a code of their own still count as keys.
    EXPECT_EQ(TSdlPlatform::VirtualKey(0x40000000 | 0x7F), 0xFF);
}

} // namespace
} // namespace tevrin

// SPDX-License-Identifier: MIT
#include "platform/headless/HeadlessServices.h"

#include "base/Paths.h"
#include "platform/headless/HeadlessPlatform.h"

#include <algorithm>
#include <memory>

namespace tevrin {
namespace {

class THeadlessSound final : public TMediaDevice {
public:
    THeadlessSound(THeadlessServices& services, std::string name, std::uint32_t length, bool fails)
        : services_(services), name_(std::move(name)), length_(length), fails_(fails),
          generation_(std::make_shared<int>(0)) {}
    ~THeadlessSound() override {
        ++*generation_;
        services_.Log.push_back("close " + name_);
    }

    void Play(std::function<void(TNotifyValue)> ended) override {
        services_.Log.push_back("play " + name_);
        const int generation = ++*generation_;
        auto alive = generation_;
        THeadlessPlatform& platform = services_.Platform();
        const TNotifyValue how = fails_ ? TNotifyValue::nvFailure : TNotifyValue::nvSuccessful;
        platform.ScriptCall(platform.TickCount() + (fails_ ? 0 : length_),
                            [alive, generation, ended, how] {
                                if (*alive == generation) ended(how);
                            });
        ended_ = std::move(ended);
    }

    void Stop() override {
        services_.Log.push_back("stop " + name_);
        ++*generation_;
    }

private:
    THeadlessServices& services_;
    std::string name_;
    std::uint32_t length_;
    bool fails_;
    std::shared_ptr<int> generation_; // a later play or a stop cancels a pending end
    std::function<void(TNotifyValue)> ended_;
};

class THeadlessMovie final : public TMoviePlayerControl {
public:
    explicit THeadlessMovie(THeadlessServices& services) : services_(services) {}
    void SetMovie(const std::string& path) override {
        services_.Log.push_back("movie " + ExtractFileName(path));
    }
    void Play() override {
        services_.Log.push_back("movie play");
        started_ = services_.Platform().TickCount();
        playing_ = true;
    }
    void Stop() override {
        services_.Log.push_back("movie stop");
        playing_ = false;
    }
    int TotalFrames() override { return services_.MovieFrames; }
    int CurrentFrame() override {
        if (!playing_) return 0;
        const std::uint32_t shown = (services_.Platform().TickCount() - started_) * 12 / 1000;
        return static_cast<int>(std::min<std::uint32_t>(shown, services_.MovieFrames - 1));
    }
    void SetBounds(const TRect&) override {}
    void SetVisible(bool visible) override {
        services_.Log.push_back(visible ? "movie show" : "movie hide");
    }

private:
    THeadlessServices& services_;
    std::uint32_t started_ = 0;
    bool playing_ = false;
};

} // namespace

std::unique_ptr<TMediaDevice> THeadlessServices::OpenMedia(const std::string& path) {
    const std::string name = ExtractFileName(path);
    Log.push_back("open " + name);
    if (UnopenableSounds.count(name)) return nullptr;
    auto length = SoundLengths.find(name);
    return std::make_unique<THeadlessSound>(
        *this, name, length != SoundLengths.end() ? length->second : DefaultSoundLength,
        FailingSounds.count(name) > 0);
}

std::unique_ptr<TMoviePlayerControl> THeadlessServices::CreateMoviePlayer(TWindowId) {
    Log.push_back(MoviePlayerInstalled ? "movie player" : "movie player missing");
    if (!MoviePlayerInstalled) return nullptr;
    return std::make_unique<THeadlessMovie>(*this);
}

bool THeadlessServices::AcquireInstanceGuard(const std::string& name) {
    Log.push_back("guard " + name);
    return !GuardsHeldElsewhere.count(name) && guards_.insert(name).second;
}

std::optional<std::string> THeadlessServices::ChooseFolder(TWindowId, const std::string& initial) {
    Log.push_back("choose folder " + initial);
    return FolderAnswer;
}

void THeadlessServices::ShellOpen(TWindowId, const std::string& target) {
    Log.push_back("shell " + target);
}

std::optional<std::string> THeadlessServices::ReadUserRegistry(const std::string& key,
                                                               const std::string& value) {
    auto found = Registry.find(key + "\\" + value);
    if (found == Registry.end()) return std::nullopt;
    return found->second;
}

std::optional<bool> THeadlessServices::VerifySaverPassword(TWindowId) {
    Log.push_back("verify password");
    return PasswordAnswer;
}

bool THeadlessServices::ChangeSaverPassword(TWindowId) {
    Log.push_back("change password");
    return PasswordChangeAvailable;
}

void THeadlessServices::SetSaverRunning(bool running) {
    Log.push_back(running ? "saver running" : "saver ended");
    SaverRunning = running;
}

bool THeadlessServices::InstallInputHook(TInputHook hook) {
    Log.push_back(InputHookAllowed ? "hook" : "hook refused");
    if (!InputHookAllowed) return false;
    hook_ = std::move(hook);
    return true;
}

void THeadlessServices::RemoveInputHook() {
    if (hook_) Log.push_back("unhook");
    hook_ = nullptr;
}

void THeadlessServices::FeedHook(const TEvent& event) {
    if (hook_) hook_(event);
}

bool THeadlessServices::ForeignWindowExists(TWindowId window) {
    return ForeignWindows.count(window) > 0;
}

bool THeadlessServices::ForeignWindowVisible(TWindowId window) {
    auto found = ForeignWindows.find(window);
    return found != ForeignWindows.end() && found->second.Visible;
}

TRect THeadlessServices::ForeignWindowRect(TWindowId window) {
    auto found = ForeignWindows.find(window);
    return found != ForeignWindows.end() ? found->second.Rect : TRect{};
}

void THeadlessServices::ShowInForeignWindow(TWindowId window, const TBitmap24& bitmap) {
    auto found = ForeignWindows.find(window);
    if (found == ForeignWindows.end()) return;
    ++found->second.Draws;
    found->second.Last = bitmap;
}

} // namespace tevrin

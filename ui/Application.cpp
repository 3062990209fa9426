// SPDX-License-Identifier: MIT
#include "ui/Application.h"

#include "base/Errors.h"
#include "ui/Forms.h"
#include "ui/MessageForm.h"

#include <algorithm>
#include <cstdio>

namespace tevrin {
TTimer::TTimer(TApplication& app) : app_(app) {
    app_.timers_.push_back(this);
}

TTimer::~TTimer() {
    std::erase(app_.timers_, this);
}

void TTimer::SetInterval(std::uint32_t ms) {
    interval_ = ms;
    due_ = app_.TickCount() + interval_;
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled && !enabled_) due_ = app_.TickCount() + interval_;
    enabled_ = enabled;
}

TApplication::TApplication(TPlatform& platform)
    : platform_(platform), main_thread_(std::this_thread::get_id()) {}

TApplication::~TApplication() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return live_threads_ == 0; });
}

void TApplication::ThreadStarting() {
    std::lock_guard lock(mutex_);
    ++live_threads_;
}

void TApplication::ThreadFinished() {
    std::lock_guard lock(mutex_);
    --live_threads_;
    done_.notify_all();
}

void TApplication::PostMessage(TForm* form, int message, std::intptr_t wparam,
                               std::intptr_t lparam) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back({form, message, wparam, lparam});
    }
    if (!IsMainThread()) platform_.Wake();
}

void TApplication::Synchronize(const std::function<void()>& call) {
    if (IsMainThread()) {
        call();
        return;
    }
    bool done = false;
    std::exception_ptr error;
    {
        std::lock_guard lock(mutex_);
        posted_.push_back({nullptr, 0, 0, 0, &call, &done, &error});
    }
    // Wake first: a virtual clock must never see this thread idle while the
    // interface thread has not yet been told that a call waits.
    platform_.Wake();
    platform_.ThreadBlocked();
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return done; });
    }
    if (error) std::rethrow_exception(error);
}

void TApplication::RunCall(const TPosted& item) {
    std::exception_ptr error;
    try {
        (*item.Call)();
    } catch (...) {
        error = std::current_exception();
    }
    // The caller counts as running again before it is released, so a
    // virtual clock never moves between the call and its return.
    platform_.ThreadUnblocked();
    std::lock_guard lock(mutex_);
    *item.Error = error;
    *item.Done = true;
    done_.notify_all();
}

bool TApplication::HandlePosted() {
    TPosted item;
    {
        std::lock_guard lock(mutex_);
        if (posted_.empty()) return false;
        item = posted_.front();
        posted_.pop_front();
    }
    if (item.Call != nullptr)
        RunCall(item);
    else if (item.Form != nullptr &&
             std::find(forms_.begin(), forms_.end(), item.Form) != forms_.end())
        Guarded([&] { item.Form->HandleMessage(item.Message, item.WParam, item.LParam); });
    return true;
}

int TApplication::NextTimerDelay() {
    int delay = -1;
    const std::uint32_t now = TickCount();
    for (TTimer* t : timers_) {
        if (!t->enabled_ || t->interval_ == 0 || !t->OnTimer) continue;
        const auto left = static_cast<std::int32_t>(t->due_ - now);
        const int d = std::max(left, 0);
        if (delay < 0 || d < delay) delay = d;
    }
    return delay;
}

bool TApplication::FireTimers() {
    const std::uint32_t now = TickCount();
    for (TTimer* t : std::vector<TTimer*>(timers_)) {
        if (std::find(timers_.begin(), timers_.end(), t) == timers_.end()) continue;
        if (!t->enabled_ || t->interval_ == 0 || !t->OnTimer) continue;
        if (static_cast<std::int32_t>(now - t->due_) < 0) continue;
        t->due_ = now + t->interval_;
        Guarded(t->OnTimer);
        return true; // one timer per pass, as timer messages come one at a time
    }
    return false;
}

TForm* TApplication::FormOf(TWindowId window) {
    for (TForm* f : forms_)
        if (f->window_ == window && window != 0) return f;
    return nullptr;
}

void TApplication::Dispatch(const TEvent& event) {
    if (event.Kind == TEvent::Wake || event.Kind == TEvent::None) return;
    if (event.Kind == TEvent::Work) {
        if (event.Call) Guarded(event.Call);
        return;
    }
    if (event.Kind == TEvent::Quit) {
        if (main_form_ != nullptr) main_form_->Close();
        Terminate();
        return;
    }
    TForm* form = FormOf(event.Window);
    const bool input = event.Kind == TEvent::KeyDown || event.Kind == TEvent::KeyUp ||
                       event.Kind == TEvent::MouseDown || event.Kind == TEvent::MouseUp ||
                       event.Kind == TEvent::MouseMove;
    if (input && modal_form_ != nullptr && form != modal_form_) return;
    if (form) form->HandleEvent(event);
}

bool TApplication::HandleWaiting() {
    if (HandlePosted()) return true;
    TEvent event;
    if (platform_.WaitEvent(event, 0)) {
        Dispatch(event);
        return true;
    }
    // Paints and timers come only when nothing else waits.
    for (TForm* f : std::vector<TForm*>(forms_))
        if (std::find(forms_.begin(), forms_.end(), f) != forms_.end() && !f->invalid_.IsEmpty()) {
            f->Update();
            return true;
        }
    return FireTimers();
}

void TApplication::ProcessMessages() {
    while (!terminated_ && HandleWaiting()) {
    }
}

bool TApplication::WaitMessage(int timeout_ms) {
    {
        std::lock_guard lock(mutex_);
        if (!posted_.empty()) return true;
    }
    int timer = NextTimerDelay();
    int wait = timeout_ms;
    if (timer >= 0 && (wait < 0 || timer < wait)) wait = timer;
    TEvent event;
    if (platform_.WaitEvent(event, wait)) {
        Dispatch(event);
        return true;
    }
    return NextTimerDelay() == 0;
}

void TApplication::Run() {
    while (!terminated_) {
        if (HandleWaiting()) continue;
        bool done = true;
        if (OnIdle) Guarded([&] { OnIdle(done); });
        if (terminated_) break;
        if (done) WaitMessage(-1);
        if (platform_.Exhausted()) Terminate();
    }
}

bool TApplication::ServeSynchronize() {
    bool served = false;
    for (;;) {
        TPosted item;
        {
            std::lock_guard lock(mutex_);
            auto call = std::find_if(posted_.begin(), posted_.end(),
                                     [](const TPosted& p) { return p.Call != nullptr; });
            if (call == posted_.end()) return served;
            item = *call;
            posted_.erase(call);
        }
        RunCall(item);
        served = true;
    }
}

void TApplication::ServeSynchronizeUntil(const std::function<bool()>& finished) {
    while (true) {
        ServeSynchronize();
        if (finished()) return;
        platform_.WaitWake(-1);
    }
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, int buttons) {
    if (const std::optional<int> answer = platform_.MessageBox(text, caption, buttons))
        return *answer;
    // A topmost window (the saver's) would stay over the box.
    std::vector<TForm*> lowered;
    for (TForm* form : forms_)
        if (form->Visible() && form->Topmost()) lowered.push_back(form);
    for (TForm* form : lowered)
        form->SetTopmost(false);
    int answer;
    {
        TMessageForm box(*this, text, caption, buttons);
        answer = box.Run();
    }
    for (TForm* form : lowered)
        form->SetTopmost(true);
    return answer;
}

void TApplication::ShowException(const std::exception& error) {
    NoteFailure(error.what());
    MessageBox(error.what(), Title, kMbOk);
}

void TApplication::Note(std::string line) {
    std::fprintf(stderr, "tevrin-saver: %s\n", line.c_str());
    notes_.push_back(std::move(line));
}

void TApplication::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const EDisplayLost&) {
        throw;
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

} // namespace tevrin

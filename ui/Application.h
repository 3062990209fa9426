// SPDX-License-Identifier: MIT
// The application object: one user-interface thread, its message loop,
// timers, private messages to forms, synchronised calls from other threads,
// and the default report of an error that leaves an event handler.
#pragma once

#include "ui/Platform.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tevrin {

class TForm;
class TApplication;

// Fires OnTimer every Interval milliseconds while Enabled, from the message
// loop. Enabling (or changing the interval) restarts the count.
class TTimer {
public:
    explicit TTimer(TApplication& app);
    ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    std::uint32_t Interval() const { return interval_; }
    void SetInterval(std::uint32_t ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    std::function<void()> OnTimer;

private:
    friend class TApplication;
    TApplication& app_;
    std::uint32_t interval_ = 1000;
    bool enabled_ = false;
    std::uint32_t due_ = 0;
};

class TApplication {
public:
    explicit TApplication(TPlatform& platform);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    TPlatform& Platform() { return platform_; }
    std::uint32_t TickCount() { return platform_.TickCount(); }

    // Handles messages until the main form closes or Terminate is called.
    void Run();
    // Handles every message waiting now, without waiting for more.
    void ProcessMessages();
    // Waits until a message is waiting or `timeout_ms` has passed (negative:
    // no limit, though never past the next timer). True when one is waiting.
    bool WaitMessage(int timeout_ms);
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }

    // Called when the queue runs empty; setting `done` to false asks to be
    // called again at once instead of waiting.
    std::function<void(bool& done)> OnIdle;

    // Queues a private message for a form; any thread may post.
    void PostMessage(TForm* form, int message, std::intptr_t wparam = 0, std::intptr_t lparam = 0);
    // Runs `call` on the user-interface thread and waits for it; rethrows
    // what it threw. On the user-interface thread it simply runs.
    void Synchronize(const std::function<void()>& call);
    bool IsMainThread() const { return std::this_thread::get_id() == main_thread_; }
    // Runs the synchronised calls waiting now; true when there were any.
    bool ServeSynchronize();
    // Serves synchronised calls, and nothing else, until `finished` holds:
    // how the interface thread waits for another thread without deadlock.
    void ServeSynchronizeUntil(const std::function<bool()>& finished);

    // A modal message box (buttons and answers as TPlatform::MessageBox
    // takes and gives them): the system's own, or one drawn by us over
    // every window, topmost ones too.
    int MessageBox(const std::string& text, const std::string& caption, int buttons);
    // The default error report: a message box with the error's text.
    void ShowException(const std::exception& error);
    // The errors this run met: each one the default error report showed, and
    // each failure the program ends on quietly (a preview or a saver whose
    // record cannot be read ends without a word), which the caller notes
    // here. A run on the command line reports them.
    void NoteFailure(std::string text) { failures_.push_back(std::move(text)); }
    const std::vector<std::string>& Failures() const { return failures_; }
    // The run's log: what it passed over and went on without (a picture it
    // could not read). Each line goes to the standard error at once.
    void Note(std::string line);
    const std::vector<std::string>& Notes() const { return notes_; }
    // Runs `handler`, reporting an error that leaves it.
    void Guarded(const std::function<void()>& handler);

    // Threads tell the application of their life, so it outlives them all.
    void ThreadStarting();
    void ThreadFinished();

    TForm* MainForm() const { return main_form_; }
    void SetMainForm(TForm* form) { main_form_ = form; }
    // While a modal form is up, key and mouse input for other forms is
    // dropped, as the system does for windows a modal box disables.
    TForm* ModalForm() const { return modal_form_; }
    void SetModalForm(TForm* form) { modal_form_ = form; }
    std::string Title;

private:
    friend class TTimer;
    friend class TForm;

    struct TPosted {
        TForm* Form = nullptr;
        int Message = 0;
        std::intptr_t WParam = 0, LParam = 0;
        const std::function<void()>* Call = nullptr; // a synchronised call
        bool* Done = nullptr;
        std::exception_ptr* Error = nullptr;
    };

    // Handles one platform event, posted messages, timers and paints; false
    // when there was nothing to do.
    bool HandleWaiting();
    bool HandlePosted();
    // Runs a synchronised call and releases the thread waiting for it.
    void RunCall(const TPosted& item);
    bool FireTimers();
    void Dispatch(const TEvent& event);
    // Milliseconds to the next timer, or -1 without one.
    int NextTimerDelay();
    TForm* FormOf(TWindowId window);

    TPlatform& platform_;
    std::thread::id main_thread_;
    bool terminated_ = false;
    std::vector<std::string> failures_, notes_;
    TForm* main_form_ = nullptr;
    TForm* modal_form_ = nullptr;
    std::vector<TForm*> forms_;
    std::vector<TTimer*> timers_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::deque<TPosted> posted_;
    int live_threads_ = 0;
};

} // namespace tevrin

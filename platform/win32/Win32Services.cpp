// SPDX-License-Identifier: MIT
#include "platform/win32/Win32Services.h"

#include "platform/win32/Wide.h"
#include "platform/win32/Win32Movie.h"
#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off: the system headers need windows.h first
#include <mmsystem.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
// clang-format on

#include <cstring>

namespace tevrin {

// One MCI device, opened on a file with the device type MCI chooses from
// the file's name. Its notices come to the application window as
// MM_MCINOTIFY; a stop or a later play makes a notice on its way stale.
class TMciSound final : public TMediaDevice {
public:
    TMciSound(TWin32Services& services, MCIDEVICEID id) : services_(services), id_(id) {
        services_.sounds_[id_] = this;
    }
    ~TMciSound() override {
        services_.sounds_.erase(id_);
        mciSendCommandA(id_, MCI_CLOSE, MCI_WAIT, 0);
    }

    void Play(std::function<void(TNotifyValue)> ended) override {
        ended_ = std::move(ended);
        ++generation_;
        MCI_PLAY_PARMS play{};
        play.dwCallback = static_cast<DWORD_PTR>(services_.platform_.AppWindow());
        mciSendCommandA(id_, MCI_SEEK, MCI_WAIT | MCI_SEEK_TO_START, 0);
        if (mciSendCommandA(id_, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play)) != 0)
            Notify(TNotifyValue::nvFailure, generation_);
    }

    void Stop() override {
        ++generation_;
        mciSendCommandA(id_, MCI_STOP, MCI_WAIT, 0);
    }

    // A notice of this device, on the interface thread.
    void Notice(WPARAM flag) {
        const TNotifyValue how = flag == MCI_NOTIFY_SUCCESSFUL   ? TNotifyValue::nvSuccessful
                                 : flag == MCI_NOTIFY_SUPERSEDED ? TNotifyValue::nvSuperseded
                                 : flag == MCI_NOTIFY_ABORTED    ? TNotifyValue::nvAborted
                                                                 : TNotifyValue::nvFailure;
        // Superseded and aborted notices belong to a play that a newer
        // play or a stop replaced.
        if (how == TNotifyValue::nvSuperseded || how == TNotifyValue::nvAborted) return;
        Notify(how, generation_);
    }

private:
    void Notify(TNotifyValue how, int generation) {
        TEvent event;
        event.Kind = TEvent::Work;
        int* current = &generation_;
        auto ended = ended_;
        std::weak_ptr<bool> alive = alive_;
        event.Call = [how, generation, current, ended, alive] {
            if (!alive.expired() && *current == generation && ended) ended(how);
        };
        services_.platform_.Queue(std::move(event));
    }

    TWin32Services& services_;
    MCIDEVICEID id_;
    int generation_ = 0;
    std::function<void(TNotifyValue)> ended_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true); // gone with the device
};

namespace {

TWin32Services* g_hooked = nullptr; // the services whose journal hook runs

HWND H(TWindowId id) {
    return reinterpret_cast<HWND>(id);
}

// The journal-record hook runs on the thread that installed it, inside its
// message retrieval.
LRESULT CALLBACK JournalRecord(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HC_ACTION && g_hooked != nullptr) {
        const auto* m = reinterpret_cast<const EVENTMSG*>(lparam);
        TEvent e;
        switch (m->message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            e.Kind = TEvent::KeyDown;
            break;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            e.Kind = TEvent::KeyUp;
            break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            e.Kind = TEvent::MouseDown;
            break;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            e.Kind = TEvent::MouseUp;
            break;
        case WM_MOUSEMOVE:
            e.Kind = TEvent::MouseMove;
            break;
        default:
            break;
        }
        if (e.Kind != TEvent::None) g_hooked->HookInput(e);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// The system unloads an MCI driver with its last device. A play with a
// notice runs on a thread of the driver's, which posts the notice and then
// leaves the driver's code; the saver closes the device on the notice to
// open the next sound, and a driver unloaded in between leaves that thread
// returning into freed code. Once loaded, the drivers stay loaded for the
// life of the process.
constexpr const wchar_t* kMciDrivers[] = {L"mciwave.drv", L"mciwave.dll",  L"mciseq.drv",
                                          L"mciseq.dll",  L"mciqtz32.dll", L"mcicda.drv",
                                          L"mcicda.dll",  L"mciavi32.dll"};

void PinMciDrivers() {
    for (const wchar_t* name : kMciDrivers) {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &module);
    }
}

// A library from the system folder, as the saver-password calls load theirs.
HMODULE LoadSystemLibrary(const char* name) {
    wchar_t dir[MAX_PATH];
    UINT length = GetSystemDirectoryW(dir, MAX_PATH);
    if (length >= MAX_PATH) length = 0;
    std::wstring path(dir, length);
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return LoadLibraryW((path + Widen(name)).c_str());
}

} // namespace

TWin32Services::~TWin32Services() {
    Shutdown();
}

void TWin32Services::Shutdown() {
    if (preview_ != nullptr && IsWindow(static_cast<HWND>(preview_)))
        ::DestroyWindow(static_cast<HWND>(preview_));
    preview_ = nullptr;
    RemoveInputHook();
    if (saver_running_) SetSaverRunning(false);
    if (guard_ != nullptr) {
        CloseHandle(guard_);
        guard_ = nullptr;
    }
}

std::unique_ptr<TMediaDevice> TWin32Services::OpenMedia(const std::string& path) {
    const std::wstring element = Widen(path);
    MCI_OPEN_PARMSW open{};
    open.lpstrElementName = element.c_str();
    if (mciSendCommandW(0, MCI_OPEN, MCI_WAIT | MCI_OPEN_ELEMENT,
                        reinterpret_cast<DWORD_PTR>(&open)) != 0)
        return nullptr;
    PinMciDrivers();
    return std::make_unique<TMciSound>(*this, open.wDeviceID);
}

bool TWin32Services::AcquireInstanceGuard(const std::string& name) {
    if (guard_ != nullptr) return true;
    // Only "already exists" from this very call counts; an error left by an
    // earlier call must not pass for it.
    SetLastError(ERROR_SUCCESS);
    HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, Widen(name).c_str());
    if (semaphore != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(semaphore);
        return false;
    }
    // Kept open for the life of the process; the system closes it at the end.
    guard_ = semaphore;
    return true;
}

void TWin32Services::ShellOpen(TWindowId parent, const std::string& target) {
    ShellExecuteW(H(parent), L"open", Widen(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::optional<std::string> TWin32Services::ChooseFolder(TWindowId parent,
                                                        const std::string& initial) {
    // The picker is a COM object: the thread joins an apartment for it (the
    // movie player's joins the same one).
    static const bool ole = SUCCEEDED(OleInitialize(nullptr));
    if (!ole) return std::nullopt;
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&dialog))))
        return std::nullopt;
    struct TRelease {
        IUnknown* Object;
        ~TRelease() {
            if (Object != nullptr) Object->Release();
        }
    } release_dialog{dialog};
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    IShellItem* start = nullptr;
    if (!initial.empty() && SUCCEEDED(SHCreateItemFromParsingName(Widen(initial).c_str(), nullptr,
                                                                  IID_PPV_ARGS(&start)))) {
        dialog->SetFolder(start);
        start->Release();
    }
    if (FAILED(dialog->Show(H(parent)))) return std::nullopt; // cancelled
    IShellItem* chosen = nullptr;
    if (FAILED(dialog->GetResult(&chosen))) return std::nullopt;
    TRelease release_chosen{chosen};
    wchar_t* path = nullptr;
    if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path))) return std::nullopt;
    std::string folder = Narrow(path);
    CoTaskMemFree(path);
    return folder;
}

std::string TWin32Services::DwordText(unsigned long type, const void* data, unsigned long size) {
    if (type != REG_DWORD || size != sizeof(DWORD)) return {};
    DWORD value;
    std::memcpy(&value, data, sizeof value);
    return std::to_string(static_cast<std::int32_t>(value));
}

std::vector<std::string> TWin32Services::LoadedMciDrivers() {
    std::vector<std::string> loaded;
    for (const wchar_t* name : kMciDrivers)
        if (GetModuleHandleW(name) != nullptr) loaded.push_back(Narrow(name));
    return loaded;
}

std::optional<std::string> TWin32Services::ReadUserRegistry(const std::string& key,
                                                            const std::string& value) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
        return std::nullopt;
    BYTE data[64];
    DWORD type = 0, size = sizeof data;
    // A missing value reads as a text that is no number.
    std::string result;
    if (RegQueryValueExA(handle, value.c_str(), nullptr, &type, data, &size) == ERROR_SUCCESS)
        result = DwordText(type, data, size);
    RegCloseKey(handle);
    return result;
}

std::optional<bool> TWin32Services::VerifySaverPassword(TWindowId window) {
    HMODULE library = LoadSystemLibrary("PASSWORD.CPL");
    if (library == nullptr) return std::nullopt;
    using TVerify = BOOL(WINAPI*)(HWND);
    auto verify = reinterpret_cast<TVerify>(
        reinterpret_cast<void*>(GetProcAddress(library, "VerifyScreenSavePwd")));
    std::optional<bool> answer;
    if (verify != nullptr) answer = verify(H(window)) != FALSE;
    FreeLibrary(library);
    return answer;
}

bool TWin32Services::ChangeSaverPassword(TWindowId parent) {
    HMODULE library = LoadSystemLibrary("MPR.DLL");
    if (library == nullptr) return false;
    using TChange = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, LPVOID);
    auto change = reinterpret_cast<TChange>(
        reinterpret_cast<void*>(GetProcAddress(library, "PwdChangePasswordA")));
    if (change != nullptr) change("SCRSAVE", H(parent), 0, nullptr);
    FreeLibrary(library);
    return change != nullptr;
}

void TWin32Services::SetSaverRunning(bool running) {
    saver_running_ = running;
    BOOL previous = FALSE;
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, running ? TRUE : FALSE, &previous, 0);
}

bool TWin32Services::InstallInputHook(TInputHook hook) {
    RemoveInputHook();
    hook_ = std::move(hook);
    g_hooked = this;
    journal_ = SetWindowsHookExA(WH_JOURNALRECORD, JournalRecord, GetModuleHandleA(nullptr), 0);
    if (journal_ != nullptr) return true;
    // Systems that dropped journal hooks still deliver raw input to a
    // window that asks for it in the background.
    RAWINPUTDEVICE devices[2] = {{0x01, 0x06, RIDEV_INPUTSINK, H(platform_.AppWindow())},
                                 {0x01, 0x02, RIDEV_INPUTSINK, H(platform_.AppWindow())}};
    raw_input_ = RegisterRawInputDevices(devices, 2, sizeof devices[0]) != FALSE;
    if (!raw_input_) {
        hook_ = nullptr;
        g_hooked = nullptr;
    }
    return raw_input_;
}

void TWin32Services::RemoveInputHook() {
    if (journal_ != nullptr) {
        UnhookWindowsHookEx(static_cast<HHOOK>(journal_));
        journal_ = nullptr;
    }
    if (raw_input_) {
        RAWINPUTDEVICE devices[2] = {{0x01, 0x06, RIDEV_REMOVE, nullptr},
                                     {0x01, 0x02, RIDEV_REMOVE, nullptr}};
        RegisterRawInputDevices(devices, 2, sizeof devices[0]);
        raw_input_ = false;
    }
    hook_ = nullptr;
    if (g_hooked == this) g_hooked = nullptr;
}

void TWin32Services::HookInput(const TEvent& event) {
    if (!hook_) return;
    // Handled from the message loop: the handler may remove the hook, which
    // must not happen inside the hook's own call.
    TEvent work;
    work.Kind = TEvent::Work;
    work.Call = [this, event] {
        if (hook_) {
            TInputHook hook = hook_;
            hook(event);
        }
    };
    platform_.Queue(std::move(work));
}

bool TWin32Services::HandleAppMessage(unsigned message, std::uintptr_t wparam, std::intptr_t lparam,
                                      std::intptr_t& result) {
    if (message == MM_MCINOTIFY) {
        auto it = sounds_.find(static_cast<unsigned>(lparam));
        if (it != sounds_.end()) it->second->Notice(wparam);
        result = 0;
        return true;
    }
    if (message == WM_INPUT && raw_input_) {
        RAWINPUT input;
        UINT size = sizeof input;
        if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lparam), RID_INPUT, &input, &size,
                            sizeof(RAWINPUTHEADER)) != static_cast<UINT>(-1)) {
            TEvent e;
            if (input.header.dwType == RIM_TYPEKEYBOARD) {
                e.Kind =
                    (input.data.keyboard.Flags & RI_KEY_BREAK) ? TEvent::KeyUp : TEvent::KeyDown;
                e.Key = input.data.keyboard.VKey;
            } else if (input.header.dwType == RIM_TYPEMOUSE) {
                const USHORT b = input.data.mouse.usButtonFlags;
                if (b & (RI_MOUSE_LEFT_BUTTON_DOWN | RI_MOUSE_RIGHT_BUTTON_DOWN |
                         RI_MOUSE_MIDDLE_BUTTON_DOWN))
                    e.Kind = TEvent::MouseDown;
                else if (b & (RI_MOUSE_LEFT_BUTTON_UP | RI_MOUSE_RIGHT_BUTTON_UP |
                              RI_MOUSE_MIDDLE_BUTTON_UP))
                    e.Kind = TEvent::MouseUp;
                else if (input.data.mouse.lLastX != 0 || input.data.mouse.lLastY != 0)
                    e.Kind = TEvent::MouseMove;
            }
            if (e.Kind != TEvent::None) HookInput(e);
        }
        return false; // DefWindowProc cleans up after WM_INPUT
    }
    return false;
}

std::pair<int, int> TWin32Services::CursorPosition() {
    POINT p{};
    GetCursorPos(&p);
    return {p.x, p.y};
}

bool TWin32Services::ForeignWindowExists(TWindowId window) {
    return IsWindow(H(window)) != FALSE;
}
bool TWin32Services::ForeignWindowVisible(TWindowId window) {
    return IsWindowVisible(H(window)) != FALSE;
}

TRect TWin32Services::ForeignWindowRect(TWindowId window) {
    RECT r{};
    GetClientRect(H(window), &r);
    POINT origin{0, 0};
    ClientToScreen(H(window), &origin);
    return {origin.x, origin.y, origin.x + r.right, origin.y + r.bottom};
}

std::intptr_t __stdcall TWin32Services::PreviewProc(void* handle, unsigned message,
                                                    std::uintptr_t wparam, std::intptr_t lparam) {
    HWND hwnd = static_cast<HWND>(handle);
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
    auto* self = reinterpret_cast<TWin32Services*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (self != nullptr)
            TWin32Platform::Blit(
                dc, self->preview_bitmap_,
                {ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom});
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the bitmap covers the window
    case WM_NCDESTROY:
        // Also when the window it lives in goes first.
        if (self != nullptr && self->preview_ == hwnd) self->preview_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void TWin32Services::ShowInForeignWindow(TWindowId window, const TBitmap24& bitmap) {
    static const bool registered = [] {
        WNDCLASSEXW preview{sizeof preview};
        preview.lpfnWndProc = reinterpret_cast<WNDPROC>(&TWin32Services::PreviewProc);
        preview.hInstance = GetModuleHandleW(nullptr);
        preview.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        preview.lpszClassName = L"TevrinPreview";
        return RegisterClassExW(&preview) != 0;
    }();
    if (!registered) return;
    preview_bitmap_ = bitmap;
    HWND parent = H(window);
    HWND child = static_cast<HWND>(preview_);
    if (child != nullptr && GetParent(child) != parent) {
        ::DestroyWindow(child);
        child = nullptr;
    }
    if (child == nullptr) {
        child = CreateWindowExW(0, L"TevrinPreview", L"", WS_CHILD | WS_VISIBLE | WS_DISABLED, 0, 0,
                                bitmap.Width(), bitmap.Height(), parent, nullptr,
                                GetModuleHandleW(nullptr), this);
        preview_ = child;
        if (child == nullptr) return;
    } else {
        MoveWindow(child, 0, 0, bitmap.Width(), bitmap.Height(), FALSE);
    }
    InvalidateRect(child, nullptr, FALSE);
    UpdateWindow(child);
}

std::unique_ptr<TMoviePlayerControl> TWin32Services::CreateMoviePlayer(TWindowId window) {
    return CreateFlashControl(window);
}

} // namespace tevrin

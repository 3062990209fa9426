// SPDX-License-Identifier: MIT
#include "platform/win32/Win32Movie.h"

#include "platform/win32/Wide.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off: the system headers need windows.h first
#include <ole2.h>
#include <oleauto.h>
// clang-format on

#include <string>

namespace tevrin {
namespace {

// The class of the movie player control ("ShockwaveFlash.ShockwaveFlash").
const CLSID kFlashClass = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The container's side of in-place activation: the control lives in our
// window, over the rectangle we give it. Nothing else is offered (no frame
// of menus and tool bars, no storage).
class TSite final : public IOleClientSite, public IOleInPlaceSite {
public:
    TSite(HWND window, RECT rect) : window_(window), rect_(rect) {}
    void SetRect(RECT rect) { rect_ = rect; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *out = static_cast<IOleInPlaceSite*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        *out = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                               IOleInPlaceUIWindow** document, LPRECT pos,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        *frame = nullptr;
        *document = nullptr;
        *pos = rect_;
        *clip = rect_;
        info->fMDIApp = FALSE;
        info->hwndFrame = window_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

private:
    HWND window_;
    RECT rect_;
    LONG refs_ = 1;
};

class TFlashControl final : public TMoviePlayerControl {
public:
    TFlashControl(HWND parent, IOleObject* object, IDispatch* dispatch, TSite* site)
        : parent_(parent), object_(object), dispatch_(dispatch), site_(site) {}
    ~TFlashControl() override {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        dispatch_->Release();
        object_->Release();
        site_->Release();
    }

    void SetMovie(const std::string& path) override {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(Widen(path).c_str());
        Call(L"Movie", DISPATCH_PROPERTYPUT, &value);
        VariantClear(&value);
    }
    void Play() override { Call(L"Play", DISPATCH_METHOD); }
    void Stop() override { Call(L"Stop", DISPATCH_METHOD); }
    int TotalFrames() override { return Number(L"TotalFrames"); }
    int CurrentFrame() override { return Number(L"CurrentFrame"); }

    void SetBounds(const TRect& bounds) override {
        const RECT r{bounds.Left, bounds.Top, bounds.Right, bounds.Bottom};
        site_->SetRect(r);
        IOleInPlaceObject* in_place = nullptr;
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject,
                                              reinterpret_cast<void**>(&in_place)))) {
            in_place->SetObjectRects(&r, &r);
            in_place->Release();
        }
    }
    void SetVisible(bool visible) override {
        IOleInPlaceObject* in_place = nullptr;
        if (FAILED(object_->QueryInterface(IID_IOleInPlaceObject,
                                           reinterpret_cast<void**>(&in_place))))
            return;
        HWND window = nullptr;
        if (SUCCEEDED(in_place->GetWindow(&window)) && window != nullptr)
            ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
        in_place->Release();
    }

private:
    // Calls a member by name; a property put passes `value` as the named
    // property value. False when the control has no such member.
    bool Call(const wchar_t* name, WORD kind, VARIANT* value = nullptr, VARIANT* result = nullptr) {
        DISPID id;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        if (FAILED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
            return false;
        DISPPARAMS params{};
        DISPID put = DISPID_PROPERTYPUT;
        if (value != nullptr) {
            params.rgvarg = value;
            params.cArgs = 1;
            if (kind == DISPATCH_PROPERTYPUT) {
                params.rgdispidNamedArgs = &put;
                params.cNamedArgs = 1;
            }
        }
        return SUCCEEDED(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result,
                                           nullptr, nullptr));
    }
    int Number(const wchar_t* name) {
        VARIANT result;
        VariantInit(&result);
        if (!Call(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, &result)) return 0;
        int number = 0;
        if (SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I4))) number = result.lVal;
        VariantClear(&result);
        return number;
    }

    HWND parent_;
    IOleObject* object_;
    IDispatch* dispatch_;
    TSite* site_;
};

} // namespace

std::unique_ptr<TMoviePlayerControl> CreateFlashControl(TWindowId parent) {
    static const bool ole = SUCCEEDED(OleInitialize(nullptr));
    if (!ole) return nullptr;
    HWND window = reinterpret_cast<HWND>(parent);
    IOleObject* object = nullptr;
    if (FAILED(CoCreateInstance(kFlashClass, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object))))
        return nullptr;
    IDispatch* dispatch = nullptr;
    if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
        object->Release();
        return nullptr;
    }
    RECT rect{};
    GetClientRect(window, &rect);
    auto* site = new TSite(window, rect);
    object->SetClientSite(site);
    if (FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, window, &rect))) {
        object->SetClientSite(nullptr);
        dispatch->Release();
        object->Release();
        site->Release();
        return nullptr;
    }
    return std::make_unique<TFlashControl>(window, object, dispatch, site);
}

} // namespace tevrin

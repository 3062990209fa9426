// SPDX-License-Identifier: MIT
#include "gfx/SystemPictures.h"

#include "gfx/DecodeBudget.h"

#define WIN32_LEAN_AND_MEAN
#include <wincodec.h>
#include <windows.h>

namespace tevrin {
namespace {

template <typename T> struct TComPtr {
    T* P = nullptr;
    ~TComPtr() {
        if (P != nullptr) P->Release();
    }
    T** operator&() { return &P; }
    T* operator->() const { return P; }
};

// The thread's part in COM for the length of a decode: joined here unless
// it already is, in whatever apartment.
struct TComThread {
    TComThread() : Joined(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~TComThread() {
        if (Joined) CoUninitialize();
    }
    bool Joined;
};

} // namespace

std::optional<TBitmap24> DecodeWithSystem(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) return std::nullopt;
    const TComThread com;
    TComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory.P))))
        return std::nullopt;
    TComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size()))))
        return std::nullopt;
    TComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.P, nullptr, WICDecodeMetadataCacheOnDemand,
                                                &decoder)))
        return std::nullopt; // no codec of the system reads it
    TComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    if (FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&width, &height)) ||
        width == 0 || height == 0 || width > 65535 || height > 65535)
        return std::nullopt;
    const std::uint64_t pixels = std::uint64_t{width} * height;
    // The codec's own buffers are not told; take them as one more picture
    // of 4-byte pixels.
    const TDecodeReservation reservation(pixels * 7, "WIC", static_cast<int>(width),
                                         static_cast<int>(height));
    TComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.P, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                                     nullptr, 0, WICBitmapPaletteTypeCustom)))
        return std::nullopt;
    TBitmap24 picture(static_cast<int>(width), static_cast<int>(height), TBitmap24::kUndefined);
    const auto stride = static_cast<UINT>(picture.Stride());
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, picture.Bits())))
        return std::nullopt;
    return picture;
}

} // namespace tevrin

// SPDX-License-Identifier: MIT
#include "platform/sdl/WaylandSurface.h"

#include "base/Errors.h"
#include "gfx/Copy.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>

namespace tevrin {

namespace {

// A buffer the compositor gives back may be filled again.
void BufferReleased(void* data, wl_buffer*) {
    *static_cast<bool*>(data) = false;
}

void GlobalAnnounced(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                     std::uint32_t) {
    wl_shm*& shm = *static_cast<wl_shm**>(data);
    if (shm == nullptr && std::strcmp(interface, wl_shm_interface.name) == 0)
        shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
}

void GlobalRemoved(void*, wl_registry*, std::uint32_t) {}

const wl_buffer_listener kBufferListener = {BufferReleased};
const wl_registry_listener kRegistryListener = {GlobalAnnounced, GlobalRemoved};

} // namespace

struct TWaylandSurface::TImpl {
    // A buffer the compositor reads from while it is Busy (attached and
    // not yet released). Stale: what changed in the frame since it last
    // held the whole frame.
    struct TBuffer {
        wl_buffer* Buffer = nullptr;
        std::uint8_t* Pixels = nullptr;
        std::size_t Bytes = 0;
        int Width = 0, Height = 0;
        bool Busy = false;
        bool WhollyStale = true;
        TRect Stale;
    };
    // A surface holds one buffer on screen and may fill the next while the
    // compositor still reads the one before.
    static constexpr std::size_t kMaxBuffers = 3;

    wl_display* display = nullptr;
    wl_surface* surface = nullptr;
    wl_registry* registry = nullptr;
    wl_shm* shm = nullptr;
    // Each buffer's address is its listener's data: it stays put.
    std::vector<std::unique_ptr<TBuffer>> buffers;
    bool attached = false;

    ~TImpl() {
        for (auto& buffer : buffers)
            Free(*buffer);
        if (shm != nullptr) wl_shm_destroy(shm);
        if (registry != nullptr) wl_registry_destroy(registry);
    }

    static void Free(TBuffer& buffer) {
        if (buffer.Buffer != nullptr) wl_buffer_destroy(buffer.Buffer);
        if (buffer.Pixels != nullptr) munmap(buffer.Pixels, buffer.Bytes);
    }

    TBuffer* Make(int width, int height) {
        const std::size_t stride = static_cast<std::size_t>(width) * 4;
        const std::size_t bytes = stride * static_cast<std::size_t>(height);
        const int fd = memfd_create("tevrin-frame", MFD_CLOEXEC);
        if (fd < 0) return nullptr;
        void* pixels = MAP_FAILED;
        if (ftruncate(fd, static_cast<off_t>(bytes)) == 0)
            pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (pixels == MAP_FAILED) {
            close(fd);
            return nullptr;
        }
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(bytes));
        wl_buffer* buffer = wl_shm_pool_create_buffer(
            pool, 0, width, height, static_cast<std::int32_t>(stride), WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
        close(fd);
        auto made = std::make_unique<TBuffer>();
        made->Buffer = buffer;
        made->Pixels = static_cast<std::uint8_t*>(pixels);
        made->Bytes = bytes;
        made->Width = width;
        made->Height = height;
        wl_buffer_add_listener(buffer, &kBufferListener, &made->Busy);
        buffers.push_back(std::move(made));
        return buffers.back().get();
    }

    TBuffer* Free(int width, int height) {
        for (auto& buffer : buffers)
            if (!buffer->Busy && buffer->Width == width && buffer->Height == height)
                return buffer.get();
        return nullptr;
    }
};

TWaylandSurface::TWaylandSurface(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}
TWaylandSurface::~TWaylandSurface() = default;

std::unique_ptr<TWaylandSurface> TWaylandSurface::For(void* sdl_window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(static_cast<SDL_Window*>(sdl_window), &info) ||
        info.subsystem != SDL_SYSWM_WAYLAND)
        return nullptr;
    auto impl = std::make_unique<TImpl>();
    impl->display = info.info.wl.display;
    impl->surface = info.info.wl.surface;
    impl->registry = wl_display_get_registry(impl->display);
    wl_registry_add_listener(impl->registry, &kRegistryListener, &impl->shm);
    wl_display_roundtrip(impl->display);
    if (impl->shm == nullptr) return nullptr;
    return std::unique_ptr<TWaylandSurface>(new TWaylandSurface(std::move(impl)));
}

void TWaylandSurface::Reshown() {
    impl_->attached = false;
}

void TWaylandSurface::Present(const TBitmap24& back, const TRect& area, int width, int height) {
    TImpl& s = *impl_;
    // Buffers of another size are of no more use.
    std::erase_if(s.buffers, [&](const std::unique_ptr<TImpl::TBuffer>& buffer) {
        if (buffer->Width == width && buffer->Height == height) return false;
        TImpl::Free(*buffer);
        return true;
    });
    TImpl::TBuffer* buffer = s.Free(width, height);
    if (buffer == nullptr && s.buffers.size() < TImpl::kMaxBuffers) buffer = s.Make(width, height);
    if (buffer == nullptr) {
        // Every buffer is on its way: the compositor's answers free one.
        wl_display_roundtrip(s.display);
        buffer = s.Free(width, height);
    }
    if (buffer == nullptr)
        throw EDisplayLost(msg::kNoWindowSurface, {"the compositor takes no shared memory"});

    const TRect frame{0, 0, std::min(width, back.Width()), std::min(height, back.Height())};
    const TRect changed = Intersection(area, frame);
    const TRect copy =
        buffer->WhollyStale ? frame : Intersection(Bounding(buffer->Stale, changed), frame);
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    for (int y = copy.Top; y < copy.Bottom; ++y)
        WidenPixels(back.Row(y) + copy.Left * 3,
                    buffer->Pixels + static_cast<std::size_t>(y) * stride + copy.Left * 4,
                    copy.Width());
    buffer->WhollyStale = false;
    buffer->Stale = {};
    for (auto& other : s.buffers)
        if (other.get() != buffer) other->Stale = Bounding(other->Stale, changed);

    wl_surface_attach(s.surface, buffer->Buffer, 0, 0);
    const TRect damaged = s.attached ? changed : TRect{0, 0, width, height};
    wl_surface_damage(s.surface, damaged.Left, damaged.Top, damaged.Width(), damaged.Height());
    wl_surface_commit(s.surface);
    buffer->Busy = true;
    s.attached = true;
    wl_display_flush(s.display);
}

} // namespace tevrin

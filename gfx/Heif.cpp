// SPDX-License-Identifier: MIT
#include "gfx/Heif.h"

#include "base/Errors.h"
#include "gfx/ColorProfile.h"
#include "gfx/DecodeBudget.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <libheif/heif.h>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

namespace tevrin {
namespace {

struct TContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct THandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct TImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};

void Check(const heif_error& error) {
    if (error.code != heif_error_Ok) throw EError(std::string("HEIF: ") + error.message);
}

// Reading the boxes of the file: libheif leaves parts of a grid picture
// that its tiles do not cover undefined, and says nothing of it.
class TBoxReader {
public:
    TBoxReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {} // NOLINT

    bool Has(std::size_t n) const { return at_ + n <= bytes_.size(); }
    std::uint64_t Read(int size) {
        if (size < 0 || !Has(static_cast<std::size_t>(size))) throw Broken{};
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i)
            value = (value << 8) | bytes_[at_++];
        return value;
    }
    std::string Type() {
        if (!Has(4)) throw Broken{};
        std::string type(reinterpret_cast<const char*>(&bytes_[at_]), 4);
        at_ += 4;
        return type;
    }
    // The next box: its type and contents; false at the end.
    bool NextBox(std::string& type, std::span<const std::uint8_t>& contents) {
        if (!Has(8)) return false;
        std::uint64_t size = Read(4);
        type = Type();
        std::size_t header = 8;
        if (size == 1) {
            size = Read(8);
            header = 16;
        } else if (size == 0) {
            size = bytes_.size() - at_ + header;
        }
        if (size < header || size - header > bytes_.size() - at_) throw Broken{};
        contents = bytes_.subspan(at_, static_cast<std::size_t>(size - header));
        at_ += static_cast<std::size_t>(size - header);
        return true;
    }
    void Skip(std::size_t n) {
        if (!Has(n)) throw Broken{};
        at_ += n;
    }

    struct Broken {};

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

// What the meta box says of the file's items, as far as grids need it.
struct THeifItems {
    struct TLocation {
        int Method = 0; // 0: in the file, 1: in idat
        std::uint64_t Offset = 0, Length = 0;
    };
    std::uint32_t Primary = 0;
    std::map<std::uint32_t, std::string> Types;
    std::map<std::uint32_t, std::vector<std::uint32_t>> Tiles; // a grid's dimg references
    std::map<std::uint32_t, TLocation> Locations;              // the first extent of each
    std::span<const std::uint8_t> Idat;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Sizes; // ipco's ispe, by index; 0 x 0 else
    std::map<std::uint32_t, std::vector<int>> Properties;       // ipma's indexes, from 1

    // The size an item's ispe gives; 0 x 0 without one.
    std::pair<std::uint64_t, std::uint64_t> SizeOf(std::uint32_t item) const {
        std::pair<std::uint64_t, std::uint64_t> size{0, 0};
        if (const auto it = Properties.find(item); it != Properties.end())
            for (const int index : it->second)
                if (index >= 1 && static_cast<std::size_t>(index) <= Sizes.size() &&
                    Sizes[static_cast<std::size_t>(index - 1)].first > 0)
                    size = Sizes[static_cast<std::size_t>(index - 1)];
        return size;
    }
};

void ReadProperties(std::span<const std::uint8_t> iprp, THeifItems& items) {
    std::string type;
    std::span<const std::uint8_t> part;
    for (TBoxReader parts(iprp); parts.NextBox(type, part);) {
        TBoxReader in(part);
        if (type == "ipco") {
            std::span<const std::uint8_t> property;
            for (std::string kind; in.NextBox(kind, property);) {
                TBoxReader p(property);
                if (kind == "ispe" && p.Has(12)) {
                    p.Skip(4);
                    const auto w = static_cast<std::uint32_t>(p.Read(4));
                    items.Sizes.emplace_back(w, static_cast<std::uint32_t>(p.Read(4)));
                } else {
                    items.Sizes.emplace_back(0, 0);
                }
            }
        } else if (type == "ipma") {
            const int version = static_cast<int>(in.Read(1));
            const bool wide = (in.Read(3) & 1) != 0;
            for (std::uint64_t n = in.Read(4); n > 0; --n) {
                const auto item = static_cast<std::uint32_t>(in.Read(version < 1 ? 2 : 4));
                for (std::uint64_t k = in.Read(1); k > 0; --k)
                    items.Properties[item].push_back(
                        static_cast<int>(in.Read(wide ? 2 : 1) & (wide ? 0x7FFF : 0x7F)));
            }
        }
    }
}

void ReadItemTypes(TBoxReader& in, int version, THeifItems& items) {
    in.Skip(version == 0 ? 2 : 4);
    std::span<const std::uint8_t> entry;
    for (std::string kind; in.NextBox(kind, entry);) {
        TBoxReader e(entry);
        const int entry_version = static_cast<int>(e.Read(1));
        e.Skip(3);
        if (kind != "infe" || entry_version < 2) continue;
        const auto item = static_cast<std::uint32_t>(e.Read(entry_version == 2 ? 2 : 4));
        e.Skip(2);
        items.Types[item] = e.Type();
    }
}

void ReadReferences(TBoxReader& in, int version, THeifItems& items) {
    std::span<const std::uint8_t> reference;
    for (std::string kind; in.NextBox(kind, reference);) {
        TBoxReader r(reference);
        const int id_size = version == 0 ? 2 : 4;
        const auto from = static_cast<std::uint32_t>(r.Read(id_size));
        std::vector<std::uint32_t> to;
        for (std::uint64_t k = r.Read(2); k > 0; --k)
            to.push_back(static_cast<std::uint32_t>(r.Read(id_size)));
        if (kind == "dimg") items.Tiles[from] = to;
    }
}

void ReadLocations(TBoxReader& in, int version, THeifItems& items) {
    const std::uint64_t sizes = in.Read(1), more = in.Read(1);
    const int offset_size = static_cast<int>(sizes >> 4),
              length_size = static_cast<int>(sizes & 15);
    const int base_size = static_cast<int>(more >> 4);
    const int index_size = version >= 1 ? static_cast<int>(more & 15) : 0;
    for (std::uint64_t n = in.Read(version < 2 ? 2 : 4); n > 0; --n) {
        const auto item = static_cast<std::uint32_t>(in.Read(version < 2 ? 2 : 4));
        THeifItems::TLocation location;
        if (version >= 1) location.Method = static_cast<int>(in.Read(2) & 15);
        in.Skip(2);
        const std::uint64_t base = in.Read(base_size);
        const std::uint64_t extents = in.Read(2);
        for (std::uint64_t k = 0; k < extents; ++k) {
            in.Read(index_size);
            const std::uint64_t offset = in.Read(offset_size), length = in.Read(length_size);
            if (k == 0) location = {location.Method, base + offset, length};
        }
        items.Locations[item] = location;
    }
}

// The items of the file's meta box; raises TBoxReader::Broken where it
// cannot be read.
THeifItems ReadItems(std::span<const std::uint8_t> file) {
    THeifItems items;
    std::span<const std::uint8_t> meta;
    std::string type;
    for (TBoxReader top(file); top.NextBox(type, meta) && type != "meta";)
        meta = {};
    if (meta.empty()) return items;
    TBoxReader boxes(meta);
    boxes.Skip(4);
    std::span<const std::uint8_t> box;
    while (boxes.NextBox(type, box)) {
        if (type == "idat") {
            items.Idat = box;
        } else if (type == "iprp") {
            ReadProperties(box, items);
        } else if (type == "pitm" || type == "iinf" || type == "iref" || type == "iloc") {
            TBoxReader in(box);
            const int version = static_cast<int>(in.Read(1));
            in.Skip(3);
            if (type == "pitm")
                items.Primary = static_cast<std::uint32_t>(in.Read(version == 0 ? 2 : 4));
            else if (type == "iinf")
                ReadItemTypes(in, version, items);
            else if (type == "iref")
                ReadReferences(in, version, items);
            else
                ReadLocations(in, version, items);
        }
    }
    return items;
}

// Where the primary picture is a grid of tiles whose tiles leave part of it
// uncovered, raises EError; silent for anything it cannot read (libheif
// decides then).
void CheckGridCovered(std::span<const std::uint8_t> file) {
    try {
        const THeifItems items = ReadItems(file);
        const auto type = items.Types.find(items.Primary);
        const auto where = items.Locations.find(items.Primary);
        if (type == items.Types.end() || type->second != "grid" || where == items.Locations.end())
            return;
        // The grid's description: rows, columns and the picture's size.
        const THeifItems::TLocation& at = where->second;
        const std::span<const std::uint8_t> source = at.Method == 1 ? items.Idat : file;
        if (at.Method > 1 || at.Offset > source.size()) return;
        TBoxReader grid(source.subspan(static_cast<std::size_t>(at.Offset)));
        grid.Skip(1);
        const bool wide = (grid.Read(1) & 1) != 0;
        const std::uint64_t rows = grid.Read(1) + 1, columns = grid.Read(1) + 1;
        const std::uint64_t width = grid.Read(wide ? 4 : 2), height = grid.Read(wide ? 4 : 2);
        const auto tiles = items.Tiles.find(items.Primary);
        std::uint64_t tile_width = UINT64_MAX, tile_height = UINT64_MAX;
        if (tiles != items.Tiles.end())
            for (const std::uint32_t tile : tiles->second) {
                const auto [w, h] = items.SizeOf(tile);
                tile_width = std::min(tile_width, w);
                tile_height = std::min(tile_height, h);
            }
        if (tiles == items.Tiles.end() || tiles->second.size() != rows * columns ||
            tile_width * columns < width || tile_height * rows < height)
            throw EError("HEIF: the tiles of the " + std::to_string(width) + "x" +
                         std::to_string(height) + " grid picture do not cover it");
    } catch (const TBoxReader::Broken&) {
    }
}

// A file's primary picture, its handle going before its context.
struct TPrimary {
    std::unique_ptr<heif_context, TContextFree> Context;
    std::unique_ptr<heif_image_handle, THandleFree> Handle;
};

// Nothing when the bytes are no HEIF file libheif reads.
std::optional<TPrimary> OpenPrimary(std::span<const std::uint8_t> bytes) {
    TPrimary primary;
    primary.Context.reset(heif_context_alloc());
    heif_image_handle* handle = nullptr;
    if (heif_context_read_from_memory_without_copy(primary.Context.get(), bytes.data(),
                                                   bytes.size(), nullptr)
                .code != heif_error_Ok ||
        heif_context_get_primary_image_handle(primary.Context.get(), &handle).code != heif_error_Ok)
        return std::nullopt;
    primary.Handle.reset(handle);
    return primary;
}

} // namespace

std::vector<std::uint8_t> HeifColourProfile(std::span<const std::uint8_t> bytes) {
    const std::optional<TPrimary> primary = OpenPrimary(bytes);
    if (!primary) return {};
    heif_image_handle* const handle = primary->Handle.get();
    const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size > 0 && size <= bytes.size()) {
        std::vector<std::uint8_t> icc(size);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
            return icc;
    }
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok ||
        nclx == nullptr)
        return {};
    TTransfer transfer;
    bool known = true;
    switch (nclx->transfer_characteristics) {
    case heif_transfer_characteristic_IEC_61966_2_1:
        transfer = TTransfer::Srgb;
        break;
    case heif_transfer_characteristic_ITU_R_BT_709_5:
    case heif_transfer_characteristic_ITU_R_BT_601_6:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit:
        transfer = TTransfer::Bt709;
        break;
    case heif_transfer_characteristic_ITU_R_BT_2100_0_PQ:
        transfer = TTransfer::Pq;
        break;
    case heif_transfer_characteristic_linear:
        transfer = TTransfer::Linear;
        break;
    default:
        known = false; // unspecified, or a transfer we do not know: taken as sRGB's
        transfer = TTransfer::Srgb;
        break;
    }
    const double xy[8] = {nclx->color_primary_red_x,   nclx->color_primary_red_y,
                          nclx->color_primary_green_x, nclx->color_primary_green_y,
                          nclx->color_primary_blue_x,  nclx->color_primary_blue_y,
                          nclx->color_primary_white_x, nclx->color_primary_white_y};
    const bool srgb_primaries = nclx->color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
                                nclx->color_primaries == heif_color_primaries_unspecified;
    heif_nclx_color_profile_free(nclx);
    if (!known || (srgb_primaries && transfer == TTransfer::Srgb)) return {};
    if (xy[1] <= 0 || xy[3] <= 0 || xy[5] <= 0 || xy[7] <= 0) return {};
    return ProfileFromPrimaries(xy, transfer);
}

std::vector<std::uint8_t> HeifExif(std::span<const std::uint8_t> bytes) {
    const std::optional<TPrimary> primary = OpenPrimary(bytes);
    if (!primary) return {};
    heif_image_handle* const handle = primary->Handle.get();
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) < 1) return {};
    const std::size_t size = heif_image_handle_get_metadata_size(handle, id);
    // The block starts with the offset of the TIFF header after its own 4
    // bytes; a block larger than the file is no block.
    if (size < 8 || size > bytes.size()) return {};
    std::vector<std::uint8_t> block(size);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok) return {};
    const std::uint32_t offset =
        (std::uint32_t{block[0]} << 24) | (block[1] << 16) | (block[2] << 8) | block[3];
    if (offset > size - 4) return {};
    return {block.begin() + 4 + offset, block.end()};
}

TBitmap24 DecodeHeif(std::span<const std::uint8_t> bytes) {
    std::unique_ptr<heif_context, TContextFree> context(heif_context_alloc());
    Check(heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(),
                                                     nullptr));
    heif_image_handle* raw_handle = nullptr;
    Check(heif_context_get_primary_image_handle(context.get(), &raw_handle));
    std::unique_ptr<heif_image_handle, THandleFree> handle(raw_handle);
    const int w = heif_image_handle_get_width(handle.get()),
              h = heif_image_handle_get_height(handle.get());
    const std::uint64_t area = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
    if (w <= 0 || h <= 0 || area * 4 > kMaxPictureBytes)
        throw EError(msg::kImageTooLarge, {"HEIF", std::to_string(w) + "x" + std::to_string(h)});
    CheckDataCoversPixels(bytes.size(), "HEIF", w, h);
    CheckGridCovered(bytes);
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    // Our picture, libheif's interleaved copy, and its decoded planes (at
    // most three full ones, and alpha, of one or two bytes a sample).
    const std::uint64_t sample =
        heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8 ? 2 : 1;
    const TDecodeReservation reservation(
        area * (3 + (alpha ? 4 : 3) + sample * (alpha ? 4 : 3)) + (4 << 20), "HEIF", w, h);
    heif_image* raw_image = nullptr;
    Check(heif_decode_image(handle.get(), &raw_image, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            nullptr));
    std::unique_ptr<heif_image, TImageFree> image(raw_image);
    int stride = 0;
    const std::uint8_t* pixels =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int iw = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int ih = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (pixels == nullptr || iw <= 0 || ih <= 0) throw EError("HEIF: the picture has no pixels");
    TBitmap24 out(iw, ih);
    const int step = alpha ? 4 : 3;
    for (int y = 0; y < ih; ++y) {
        const std::uint8_t* in = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        std::uint8_t* row = out.Row(y);
        for (int x = 0; x < iw; ++x, in += step) {
            const unsigned a = alpha ? in[3] : 255;
            row[x * 3] = static_cast<std::uint8_t>((in[2] * a + 127) / 255);
            row[x * 3 + 1] = static_cast<std::uint8_t>((in[1] * a + 127) / 255);
            row[x * 3 + 2] = static_cast<std::uint8_t>((in[0] * a + 127) / 255);
        }
    }
    return out;
}

} // namespace tevrin

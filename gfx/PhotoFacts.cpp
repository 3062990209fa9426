// SPDX-License-Identifier: MIT
#include "gfx/PhotoFacts.h"

#include "base/Unicode.h"
#include "gfx/PictureFile.h"

#ifdef TEVRIN_HAVE_HEIF
#include "gfx/Heif.h"
#endif

#include <mutex>

#ifdef TEVRIN_HAVE_EXIV2
#include <exiv2/exiv2.hpp>
#endif

namespace tevrin {
namespace {

std::string Trimmed(std::string text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    text = text.substr(first, last - first + 1);
    // Exif texts are ASCII by the standard; cameras write their own code
    // page all the same.
    return IsValidUtf8(text) ? text : AnsiToUtf8(text);
}

#ifdef TEVRIN_HAVE_EXIV2
// The library's XMP parser and its log are process-wide: one reader at a
// time.
std::mutex& LibraryLock() {
    static std::mutex lock;
    return lock;
}

void PrepareLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
#ifdef EXV_ENABLE_BMFF
        Exiv2::enableBMFF(true);
#endif
    });
}

std::string ExifText(const Exiv2::ExifData& exif, const char* key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? std::string() : Trimmed(it->toString());
}

std::string XmpText(const Exiv2::XmpData& xmp, const char* key) {
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    if (it == xmp.end()) return {};
    if (const auto* alt = dynamic_cast<const Exiv2::LangAltValue*>(&it->value()))
        return Trimmed(alt->toString("x-default"));
    return Trimmed(it->toString());
}

std::string IptcText(const Exiv2::IptcData& iptc, const char* key) {
    const auto it = iptc.findKey(Exiv2::IptcKey(key));
    return it == iptc.end() ? std::string() : Trimmed(it->toString());
}
#endif

} // namespace

TPhotoFacts ReadPhotoFacts(std::span<const std::uint8_t> bytes) {
    TPhotoFacts facts;
#ifdef TEVRIN_HAVE_EXIV2
    if (bytes.empty()) return facts;
    std::lock_guard lock(LibraryLock());
    PrepareLibrary();
    try {
        auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.data()),
                                               static_cast<long>(bytes.size()));
        if (image.get() == nullptr) return facts;
        image->readMetadata();
        Exiv2::ExifData exif = image->exifData();
#ifdef TEVRIN_HAVE_HEIF
        // The library's HEIF reader misses the Exif item of many files; libheif
        // finds it.
        if (exif.empty() && SniffPictureFormat(bytes) == TPictureFormat::Heif) {
            const std::vector<std::uint8_t> block = HeifExif(bytes);
            if (!block.empty())
                Exiv2::ExifParser::decode(exif, block.data(),
                                          static_cast<std::uint32_t>(block.size()));
        }
#endif
        facts.Taken = ParseExifDate(ExifText(exif, "Exif.Photo.DateTimeOriginal"));
        if (!facts.Taken)
            facts.Taken = ParseExifDate(ExifText(exif, "Exif.Photo.DateTimeDigitized"));
        for (std::string title : {ExifText(exif, "Exif.Image.ImageDescription"),
                                  XmpText(image->xmpData(), "Xmp.dc.title"),
                                  XmpText(image->xmpData(), "Xmp.dc.description"),
                                  IptcText(image->iptcData(), "Iptc.Application2.Caption")})
            if (!title.empty()) {
                facts.Title = std::move(title);
                break;
            }
    } catch (const std::exception&) {
        // Metadata the library cannot read is no metadata.
    }
#else
    (void)bytes;
#endif
    return facts;
}

} // namespace tevrin

// SPDX-License-Identifier: MIT
// Helpers shared by the unit tests: scratch folders, pictures, hand-built
// saver files.
#pragma once

#include "gfx/Bitmap24.h"
#include "payload/SSFileLocations.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tevrin::test {

// A fresh folder under the system's temporary folder, removed at the end.
class TScratchDir {
public:
    TScratchDir();
    ~TScratchDir();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

using TBytes = std::vector<std::uint8_t>;

TBytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const TBytes& bytes);
TBytes AsBytes(const std::string& text);
// The bytes of a literal, embedded NULs included, without its terminator.
template <std::size_t N> TBytes Raw(const char (&text)[N]) {
    return TBytes(text, text + N - 1);
}

// Pixels as blue, green, red.
using TBgr = std::array<int, 3>;
inline constexpr TBgr kBlack{0, 0, 0}, kRed{0, 0, 255}, kGreen{0, 255, 0}, kBlue{255, 0, 0},
    kWhite{255, 255, 255};
TBgr PixelAt(const TBitmap24& bitmap, int x, int y);
void PutPixel(TBitmap24& bitmap, int x, int y, TBgr colour);
// Every channel within `tolerance`.
bool Near(TBgr a, TBgr b, int tolerance);
// The same colours at every pixel, of either pixel size (a 4-byte pixel's
// unused byte is no colour).
bool SamePixels(const TBitmap24& a, const TBitmap24& b);
// Red, green, blue and white quarters (top left, top right, bottom left,
// bottom right): any turn or mirror shows.
TBitmap24 Quarters(int width, int height);

// A picture with a recognisable gradient, and its JPEG encoding.
TBitmap24 TestPicture(int width, int height);
// The mean absolute difference of two bitmaps' channels, of one size.
double MeanDifference(const TBitmap24& a, const TBitmap24& b);
TBytes TestJpeg(int width, int height);

// A JPEG of four inks; `ink(x, y)` gives cyan, magenta, yellow and black,
// 0 for none. As a print workflow writes it: plain CMYK without an Adobe
// marker, or with Adobe's marker and inverted values as CMYK or YCCK.
enum class TInkForm { PlainCmyk, AdobeCmyk, AdobeYcck };
TBytes InkJpeg(int width, int height, TInkForm form,
               const std::function<std::array<std::uint8_t, 4>(int, int)>& ink);
// An RGBA PNG; `pixel(x, y)` gives red, green, blue and alpha.
TBytes RgbaPng(int width, int height, bool interlaced,
               const std::function<std::array<std::uint8_t, 4>(int, int)>& pixel);
// An Exif block ("Exif\0\0" and TIFF data in the byte order asked for) as
// cameras write one: ImageDescription in the first directory, and
// DateTimeOriginal ("YYYY:MM:DD HH:MM:SS") in the Exif directory it points
// to. Empty texts are left out.
TBytes ExifTextBlock(const std::string& description, const std::string& taken,
                     bool big_endian = false);
// `jpeg` with `block` as an APP1 segment after its first segment (JFIF's).
TBytes WithExifBlock(const TBytes& jpeg, const TBytes& block);
#ifdef TEVRIN_HAVE_LCMS2
// Colour profiles as cameras, editors and phones embed them, made with
// lcms2: Adobe RGB (1998) and Display P3 (named so), and any other, with
// its description.
std::vector<std::uint8_t> SavedProfile(void* profile, const char* name);
std::vector<std::uint8_t> AdobeRgb();
std::vector<std::uint8_t> DisplayP3();
std::vector<std::uint8_t> SrgbProfile();
// A CMYK profile of a press whose inks are paler than the plain formula
// takes them: a colour is (1 - ink)^0.75 of each primary, times (1 - black).
std::vector<std::uint8_t> PaleInkProfile();
// The inks (0 none, 255 full) that print `rgb` (sRGB, blue first) on that
// press, without black.
std::array<std::uint8_t, 4> PaleInksFor(const std::uint8_t* bgr);
// What that press prints of `reference`'s inks, in sRGB, as Little CMS
// reads its profile: the colours a conversion through it must give.
TBitmap24 PrintedOnPaleInks(const TBitmap24& reference);
// `reference`'s sRGB colours as they stand in `icc`'s space.
TBitmap24 InProfile(const TBitmap24& reference, const std::vector<std::uint8_t>& icc);
#endif
// `jpeg` with `icc` in APP2 "ICC_PROFILE" chunks of at most `chunk` bytes
// after its first segment; `skip` leaves one chunk (its number) out.
TBytes WithProfile(const TBytes& jpeg, const std::vector<std::uint8_t>& icc,
                   std::size_t chunk = 65519, int skip = 0);
// `png` with an iCCP chunk of `icc` after its header chunk.
TBytes PngWithProfile(const TBytes& png, const std::vector<std::uint8_t>& icc);
// `png` with a chunk of `type` and `content` after its header, its length
// field saying `claimed` when given.
TBytes PngWithChunk(const TBytes& png, std::string_view type, const TBytes& content,
                    std::optional<std::uint32_t> claimed = {});
// Colours of every hue, from grey to full, light to dark.
TBitmap24 Colourful(int w, int h);
double Psnr(const TBitmap24& a, const TBitmap24& b);
// The mean HSL saturation.
double MeanSaturation(const TBitmap24& b);
// A progressive JPEG of the picture.
TBytes ProgressiveJpeg(const TBitmap24& picture);
// A one-channel JPEG of the picture's green.
TBytes GrayJpeg(const TBitmap24& picture);

// What goes into a hand-built saver file.
struct TSaverParts {
    TBytes Stub = AsBytes("MZ fake executable image");
    std::vector<TBytes> Pictures; // JPEG files
    std::vector<std::pair<std::string, TBytes>> Sounds, Movies;
};

// The message of the EError that `action` raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& action);

// `saver` with its trailer replaced by `record` and a trailer pointing at it.
TBytes AppendRecord(TBytes saver, const TBytes& record);

// Lays the parts out as a saver: stub, picture records, sounds, movies, the
// record (whose lists are filled in) and the trailer.
TBytes BuildSaver(const TSaverParts& parts, TSSFileLocations& record);

} // namespace tevrin::test

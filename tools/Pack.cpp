#include "tools/Pack.h"

#include "gfx/Errors.h"
#include "gfx/Jpeg.h"
#include "gfx/Png.h"
#include "payload/Image.h"
#include "payload/Paths.h"
#include "payload/TempFolder.h"
#include "payload/Trailer.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>

namespace tevrin {
namespace {

namespace fs = std::filesystem;

constexpr int kPngToJpegQuality = 92;

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EError(msg::kCannotOpenFile, {path});
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TSaverWriter {
public:
    explicit TSaverWriter(const std::string& path) : path_(path), out_(path, std::ios::binary) {
        if (!out_) throw EError(msg::kCannotCreateFile, {path});
    }

    // Appends bytes and returns the offset they start at, which must be
    // readable as a signed 32-bit number.
    std::int32_t Append(const void* data, std::size_t size, const std::string& what) {
        std::int64_t at = size_;
        if (at > std::numeric_limits<std::int32_t>::max() ||
            static_cast<std::int64_t>(size) > std::numeric_limits<std::int32_t>::max())
            throw EError("The saver would grow past 2 GiB at " + what);
        out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out_) throw EError(msg::kUnableToWrite, {path_});
        size_ += static_cast<std::int64_t>(size);
        return static_cast<std::int32_t>(at);
    }

    std::int64_t Size() const { return size_; }

    void Close() {
        out_.close();
        if (!out_) throw EError(msg::kUnableToWrite, {path_});
    }

private:
    std::string path_;
    std::ofstream out_;
    std::int64_t size_ = 0;
};

void CheckItemNames(const std::vector<std::string>& paths, std::set<std::string>& seen) {
    for (const std::string& path : paths) {
        std::string name = ExtractFileName(fs::path(path).filename().string());
        bool plain = SafeFileName(name) == name;
        for (char c : name)
            if (static_cast<unsigned char>(c) < 32 || c == '"') plain = false;
        if (!plain) throw EError("Not a usable file name: " + path);
        if (!seen.insert(name).second)
            throw EError("Two sounds or movies share the file name " + name);
    }
}

} // namespace

void PackSaver(TPackJob job, const TPackProgress& progress) {
    if (job.Pictures.empty() && job.Movies.empty()) throw EError("Nothing to pack: no pictures");
    std::set<std::string> names;
    CheckItemNames(job.Sounds, names);
    CheckItemNames(job.Movies, names);

    TSSFileLocations& record = job.Record;
    for (int list = 0; list < TSSFileLocations::kListCount; ++list)
        record.List(static_cast<TSSFileLocations::TListId>(list)).clear();

    const int total = static_cast<int>(job.Pictures.size() + job.Sounds.size() + job.Movies.size());
    int done = 0;
    auto report = [&](const std::string& what) {
        if (progress) progress(done, total, what);
        ++done;
    };

    const std::string temp_path = job.Output + ".part";
    try {
        TSaverWriter out(temp_path);
        std::vector<std::uint8_t> stub = ReadFileBytes(job.Stub);
        out.Append(stub.data(), stub.size(), "the stub");
        const std::int64_t image_end = out.Size();

        for (const std::string& path : job.Pictures) {
            report(path);
            TImage image;
            image.Picture.JpegData = ReadFileBytes(path);
            TBitmap24 decoded;
            try {
                const auto& bytes = image.Picture.JpegData;
                // A PNG is stored as a JPEG: the saver reads JPEG pictures only.
                if (bytes.size() >= 8 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' &&
                    bytes[3] == 'G')
                    image.Picture.JpegData = EncodeJpeg(ReadPng(path), kPngToJpegQuality);
                decoded = DecodeJpeg(image.Picture.JpegData.data(), image.Picture.JpegData.size());
            } catch (const EError& e) {
                throw EError(path + ": " + e.what());
            }
            image.Width = decoded.Width();
            image.Height = decoded.Height();
            std::vector<std::uint8_t> stream = WriteComponent(image);
            std::int32_t at = out.Append(stream.data(), stream.size(), path);
            record.List(TSSFileLocations::PicList).push_back(std::to_string(at));
            record.List(TSSFileLocations::PicFileNamesList).push_back(ExtractFileName(path));
        }
        auto add_raw = [&](const std::vector<std::string>& paths, TSSFileLocations::TListId offsets,
                           TSSFileLocations::TListId file_names, TSSFileLocations::TListId sizes) {
            for (const std::string& path : paths) {
                report(path);
                std::vector<std::uint8_t> bytes = ReadFileBytes(path);
                std::int32_t at = out.Append(bytes.data(), bytes.size(), path);
                record.List(offsets).push_back(std::to_string(at));
                record.List(file_names).push_back(fs::path(path).filename().string());
                record.List(sizes).push_back(std::to_string(bytes.size()));
            }
        };
        add_raw(job.Sounds, TSSFileLocations::SndList, TSSFileLocations::SndFileNamesList,
                TSSFileLocations::SndSizesList);
        add_raw(job.Movies, TSSFileLocations::FlashList, TSSFileLocations::FlashFileNamesList,
                TSSFileLocations::FlashSizesList);

        std::vector<std::uint8_t> stream = WriteComponent(record);
        std::int32_t record_at = out.Append(stream.data(), stream.size(), "the description record");
        std::string trailer = MakeTrailer(out.Size() - image_end, record_at);
        out.Append(trailer.data(), trailer.size(), "the trailer");
        out.Close();

        std::error_code error;
        fs::permissions(temp_path, fs::status(job.Stub).permissions(), error);
        fs::rename(temp_path, job.Output);
    } catch (...) {
        std::error_code ignored;
        fs::remove(temp_path, ignored);
        throw;
    }
}

} // namespace tevrin

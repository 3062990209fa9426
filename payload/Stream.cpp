// SPDX-License-Identifier: MIT
#include "payload/Stream.h"

#include "base/Errors.h"
#include "base/Unicode.h"
#include "payload/Classes.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tevrin {
namespace {

// Nesting deeper than this (lists in lists, child objects in child objects)
// is no stream any writer makes; refusing it keeps hostile input from
// exhausting the stack.
constexpr int kMaxNesting = 64;

[[noreturn]] void ReadFailed() {
    throw EReadError(msg::kStreamReadError);
}
[[noreturn]] void BadValue() {
    throw EReadError(msg::kInvalidPropertyValue);
}

} // namespace

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::size_t TMemorySource::Read(void* buffer, std::size_t count) {
    count = std::min(count, bytes_.size() - position_);
    if (count == 0) return 0;
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    return count;
}

void TByteSource::Skip(std::uint64_t count) {
    std::uint8_t scratch[256];
    while (count > 0) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof scratch));
        if (Read(scratch, n) != n) return;
        count -= n;
    }
}

void TFileSource::Skip(std::uint64_t count) {
    const std::size_t buffered = std::min<std::uint64_t>(count, end_ - next_);
    next_ += buffered;
    count -= buffered;
    if (count == 0) return;
    const std::int64_t at = file_.Position();
    if (at >= 0 && file_.Seek(at + static_cast<std::int64_t>(count))) {
        remaining_ -= std::min(count, remaining_);
    } else {
        TByteSource::Skip(count);
    }
}

TFileSource::TFileSource(TFile& file) : file_(file) {
    std::int64_t size = file.Size(), at = file.Position();
    remaining_ = size >= at && at >= 0 ? static_cast<std::uint64_t>(size - at) : 0;
}

std::size_t TFileSource::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (next_ == end_) {
            if (remaining_ == 0) break;
            if (count - done >= sizeof buffer_) {
                // Large blocks go straight to their destination.
                std::size_t got = file_.Read(out + done, count - done);
                remaining_ -= std::min<std::uint64_t>(got, remaining_);
                done += got;
                if (got == 0) break;
                continue;
            }
            end_ = file_.Read(buffer_, sizeof buffer_);
            next_ = 0;
            remaining_ -= std::min<std::uint64_t>(end_, remaining_);
            if (end_ == 0) break;
        }
        std::size_t take = std::min(count - done, end_ - next_);
        std::memcpy(out + done, buffer_ + next_, take);
        next_ += take;
        done += take;
    }
    return done;
}

std::uint8_t TReader::ReadByte() {
    if (peeked_) {
        peeked_ = false;
        return peek_;
    }
    std::uint8_t b;
    if (source_.Read(&b, 1) != 1) ReadFailed();
    return b;
}

std::uint8_t TReader::PeekByte() {
    if (!peeked_) {
        if (source_.Read(&peek_, 1) != 1) ReadFailed();
        peeked_ = true;
    }
    return peek_;
}

void TReader::CheckAvailable(std::uint64_t count) {
    if (count > source_.Remaining() + (peeked_ ? 1 : 0)) ReadFailed();
}

void TReader::ReadBytes(void* buffer, std::size_t count) {
    if (count == 0) return;
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (peeked_) {
        *out++ = ReadByte();
        --count;
    }
    if (source_.Read(out, count) != count) ReadFailed();
}

std::string TReader::ReadShortString() {
    std::string text(ReadByte(), '\0');
    ReadBytes(text.data(), text.size());
    return text;
}

std::uint32_t TReader::ReadUInt32() {
    std::uint8_t b[4];
    ReadBytes(b, 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void TReader::ReadSignature() {
    char signature[4];
    try {
        ReadBytes(signature, 4);
    } catch (const EReadError&) {
        throw EReadError(msg::kInvalidStreamFormat);
    }
    if (std::memcmp(signature, "TPF0", 4) != 0) throw EReadError(msg::kInvalidStreamFormat);
}

TValueTag TReader::ReadTag() {
    return static_cast<TValueTag>(ReadByte());
}

std::int32_t TReader::ReadIntegerAfter(TValueTag tag) {
    switch (tag) {
    case TValueTag::Int8:
        return static_cast<std::int8_t>(ReadByte());
    case TValueTag::Int16: {
        std::uint8_t b[2];
        ReadBytes(b, 2);
        return static_cast<std::int16_t>(b[0] | (b[1] << 8));
    }
    case TValueTag::Int32:
        return static_cast<std::int32_t>(ReadUInt32());
    default:
        BadValue();
    }
}

std::int32_t TReader::ReadInteger() {
    return ReadIntegerAfter(ReadTag());
}

std::int32_t TReader::ReadIntegerOrIdent(TIdentTable names) {
    TValueTag tag = ReadTag();
    if (tag != TValueTag::Ident) return ReadIntegerAfter(tag);
    std::string name = ReadShortString();
    for (const TIdentEntry& entry : names)
        if (SameText(name, entry.Name)) return entry.Value;
    BadValue();
}

bool TReader::ReadBoolean() {
    switch (ReadTag()) {
    case TValueTag::False:
        return false;
    case TValueTag::True:
        return true;
    case TValueTag::Ident: {
        std::string name = ReadShortString();
        if (SameText(name, "False")) return false;
        if (SameText(name, "True")) return true;
        BadValue();
    }
    default:
        BadValue();
    }
}

std::string TReader::ReadIdent() {
    if (ReadTag() != TValueTag::Ident) BadValue();
    return ReadShortString();
}

std::string TReader::ReadStringAfter(TValueTag tag) {
    auto read_bytes = [this](std::uint64_t count) {
        CheckAvailable(count);
        std::string bytes(static_cast<std::size_t>(count), '\0');
        ReadBytes(bytes.data(), bytes.size());
        return bytes;
    };
    switch (tag) {
    case TValueTag::String:
        return AnsiToUtf8(ReadShortString());
    case TValueTag::LString:
        return AnsiToUtf8(read_bytes(ReadUInt32()));
    case TValueTag::WString:
        return Utf16LeToUtf8(read_bytes(2ull * ReadUInt32()));
    case TValueTag::Utf8String:
        return ValidUtf8(read_bytes(ReadUInt32()));
    default:
        BadValue();
    }
}

std::string TReader::ReadString() {
    return ReadStringAfter(ReadTag());
}

std::vector<std::string> TReader::ReadSet() {
    if (ReadTag() != TValueTag::Set) BadValue();
    std::vector<std::string> names;
    for (;;) {
        std::string name = ReadShortString();
        if (name.empty()) return names;
        names.push_back(std::move(name));
    }
}

std::uint32_t TReader::ReadBinaryLength() {
    if (ReadTag() != TValueTag::Binary) BadValue();
    const std::uint32_t length = ReadUInt32();
    CheckAvailable(length);
    return length;
}

std::vector<std::uint8_t> TReader::ReadBinary() {
    std::vector<std::uint8_t> data(ReadBinaryLength());
    ReadBytes(data.data(), data.size());
    return data;
}

void TReader::SkipBytes(std::uint64_t count) {
    CheckAvailable(count);
    if (count > 0 && peeked_) {
        ReadByte();
        --count;
    }
    source_.Skip(count);
}

void TReader::SkipValue() {
    SkipValueAfter(ReadTag(), 0);
}

void TReader::SkipValueAfter(TValueTag tag, int depth) {
    if (depth > kMaxNesting) BadValue();
    auto skip = [this](std::uint64_t count) { SkipBytes(count); };
    switch (tag) {
    case TValueTag::Null:
    case TValueTag::False:
    case TValueTag::True:
    case TValueTag::Nil:
        return;
    case TValueTag::List:
        while (PeekByte() != 0)
            SkipValueAfter(ReadTag(), depth + 1);
        ReadByte();
        return;
    case TValueTag::Int8:
        skip(1);
        return;
    case TValueTag::Int16:
        skip(2);
        return;
    case TValueTag::Int32:
    case TValueTag::Single:
        skip(4);
        return;
    case TValueTag::Extended:
        skip(10);
        return;
    case TValueTag::Currency:
    case TValueTag::Date:
    case TValueTag::Int64:
        skip(8);
        return;
    case TValueTag::String:
    case TValueTag::Ident:
        skip(ReadByte());
        return;
    case TValueTag::Binary:
    case TValueTag::LString:
    case TValueTag::Utf8String:
        skip(ReadUInt32());
        return;
    case TValueTag::WString:
        skip(2ull * ReadUInt32());
        return;
    case TValueTag::Set:
        while (std::uint8_t length = ReadByte())
            skip(length);
        return;
    case TValueTag::Collection:
        while (PeekByte() != 0) {
            TValueTag item = ReadTag();
            if (item == TValueTag::Int8 || item == TValueTag::Int16 || item == TValueTag::Int32) {
                ReadIntegerAfter(item);
                item = ReadTag();
            }
            if (item != TValueTag::List) BadValue();
            while (PeekByte() != 0) {
                skip(ReadByte()); // property name
                SkipValueAfter(ReadTag(), depth + 1);
            }
            ReadByte();
        }
        ReadByte();
        return;
    }
    BadValue();
}

// Reads object records: the root into a given or created object, children
// read over.
class TComponentReader {
public:
    explicit TComponentReader(TReader& reader) : r_(reader) {}

    std::string ReadHeader() {
        r_.ReadSignature();
        ReadPrefix();
        return r_.ReadShortString();
    }

    void ReadBody(TComponent& root) {
        root.Name = r_.ReadShortString();
        while (r_.PeekByte() != 0)
            ReadProperty(root);
        r_.ReadByte();
        while (r_.PeekByte() != 0)
            r_.SkipObject(1);
        r_.ReadByte();
    }

private:
    void ReadPrefix() {
        std::uint8_t first = r_.PeekByte();
        if ((first & 0xF0) != 0xF0) return;
        r_.ReadByte();
        if (first & 0x02) r_.ReadIntegerAfter(r_.ReadTag());
    }

    void ReadProperty(TComponent& root) {
        std::string path = r_.ReadShortString();
        try {
            TPersistent* target = &root;
            std::string_view rest = path;
            for (std::size_t dot; target != nullptr && (dot = rest.find('.')) != rest.npos;) {
                target = target->SubObject(rest.substr(0, dot));
                rest.remove_prefix(dot + 1);
            }
            if (target == nullptr || !target->ReadProperty(rest, r_)) r_.SkipValue();
        } catch (const EError& e) {
            std::string_view owner = root.Name.empty() ? root.ClassName() : root.Name;
            throw EReadError(msg::kErrorReading, {owner, ".", path, e.what()});
        }
    }

    TReader& r_;
};

void TReader::SkipObject(int depth) {
    if (depth > kMaxNesting) BadValue();
    std::uint8_t first = PeekByte();
    if ((first & 0xF0) == 0xF0) {
        ReadByte();
        if (first & 0x02) ReadIntegerAfter(ReadTag());
    }
    ReadShortString();
    ReadShortString();
    while (PeekByte() != 0) {
        ReadShortString();
        SkipValue();
    }
    ReadByte();
    while (PeekByte() != 0)
        SkipObject(depth + 1);
    ReadByte();
}

void TReader::SkipStream() {
    ReadSignature();
    SkipObject(0);
}

bool TPersistent::ReadProperty(std::string_view, TReader&) {
    return false;
}
TPersistent* TPersistent::SubObject(std::string_view) {
    return nullptr;
}

void ReadComponent(TReader& reader, TComponent& root) {
    TComponentReader components(reader);
    components.ReadHeader();
    components.ReadBody(root);
}

std::unique_ptr<TComponent> ReadComponent(TReader& reader) {
    TComponentReader components(reader);
    std::string class_name = components.ReadHeader();
    std::unique_ptr<TComponent> root = CreateRegisteredClass(class_name);
    if (!root) throw EReadError(msg::kClassNotFound, {class_name});
    components.ReadBody(*root);
    return root;
}

std::vector<std::uint8_t> WriteComponent(const TComponent& root) {
    TWriter writer;
    writer.WriteSignature();
    writer.WriteObjectStart(root.ClassName(), root.Name);
    root.WriteProperties(writer);
    writer.WriteObjectEnd();
    return writer.Take();
}

void TWriter::WriteBytes(const void* data, std::size_t count) {
    auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + count);
}

void TWriter::WriteShortString(std::string_view text) {
    if (text.size() > 255) text = text.substr(0, 255);
    WriteByte(static_cast<std::uint8_t>(text.size()));
    WriteBytes(text.data(), text.size());
}

void TWriter::WriteUInt32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        WriteByte(static_cast<std::uint8_t>(v >> (8 * i)));
}

void TWriter::WriteSignature() {
    WriteBytes("TPF0", 4);
}

void TWriter::WriteObjectStart(std::string_view class_name, std::string_view object_name) {
    WriteShortString(class_name);
    WriteShortString(object_name);
}

void TWriter::WriteObjectEnd() {
    WriteByte(0);
    WriteByte(0);
}

void TWriter::WriteIntegerValue(std::int32_t value) {
    if (value >= -128 && value <= 127) {
        WriteByte(static_cast<std::uint8_t>(TValueTag::Int8));
        WriteByte(static_cast<std::uint8_t>(value));
    } else if (value >= -32768 && value <= 32767) {
        WriteByte(static_cast<std::uint8_t>(TValueTag::Int16));
        WriteByte(static_cast<std::uint8_t>(value));
        WriteByte(static_cast<std::uint8_t>(value >> 8));
    } else {
        WriteByte(static_cast<std::uint8_t>(TValueTag::Int32));
        WriteUInt32(static_cast<std::uint32_t>(value));
    }
}

void TWriter::WriteStringValue(std::string_view text) {
    if (!IsAscii(text)) {
        const std::string units = Utf8ToUtf16Le(text);
        WriteByte(static_cast<std::uint8_t>(TValueTag::WString));
        WriteUInt32(static_cast<std::uint32_t>(units.size() / 2));
        WriteBytes(units.data(), units.size());
    } else if (text.size() <= 255) {
        WriteByte(static_cast<std::uint8_t>(TValueTag::String));
        WriteShortString(text);
    } else {
        WriteByte(static_cast<std::uint8_t>(TValueTag::LString));
        WriteUInt32(static_cast<std::uint32_t>(text.size()));
        WriteBytes(text.data(), text.size());
    }
}

void TWriter::WriteInteger(std::string_view name, std::int32_t value) {
    WriteShortString(name);
    WriteIntegerValue(value);
}

void TWriter::WriteIdent(std::string_view name, std::string_view ident) {
    WriteShortString(name);
    WriteByte(static_cast<std::uint8_t>(TValueTag::Ident));
    WriteShortString(ident);
}

void TWriter::WriteBoolean(std::string_view name, bool value) {
    WriteShortString(name);
    WriteByte(static_cast<std::uint8_t>(value ? TValueTag::True : TValueTag::False));
}

void TWriter::WriteString(std::string_view name, std::string_view text) {
    WriteShortString(name);
    WriteStringValue(text);
}

void TWriter::WriteSet(std::string_view name, const std::vector<std::string>& elements) {
    WriteShortString(name);
    WriteByte(static_cast<std::uint8_t>(TValueTag::Set));
    for (const std::string& e : elements)
        WriteShortString(e);
    WriteByte(0);
}

void TWriter::WriteBinary(std::string_view name, std::span<const std::uint8_t> data) {
    WriteShortString(name);
    WriteByte(static_cast<std::uint8_t>(TValueTag::Binary));
    WriteUInt32(static_cast<std::uint32_t>(data.size()));
    WriteBytes(data.data(), data.size());
}

} // namespace tevrin

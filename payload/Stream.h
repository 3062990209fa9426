// SPDX-License-Identifier: MIT
// Component streams: the tagged serialisation of one object and its
// published properties that the payload stores pictures and the description
// record in.
//
//   stream   := "TPF0" object
//   object   := [prefix] class:shortstr name:shortstr property* 0 object* 0
//   property := name:shortstr value
//   value    := tag byte, then what the tag calls for (TValueTag)
//
// Numbers are little-endian; a short string is a length byte and that many
// bytes of ANSI text. Texts are UTF-8 in memory: string values in the ANSI
// code page (tags 6 and 12) are converted on reading, wide and UTF-8 ones
// (tags 18 and 20) are kept whole, and a text that is not ASCII is written as
// a wide string, which every reader of the format accepts. Every length read from a stream is
// checked against the bytes that remain before anything is allocated, so a hostile length gives
// "Stream read error" and never a huge allocation.
#pragma once

#include "base/System.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tevrin {

enum class TValueTag : std::uint8_t {
    Null = 0,
    List = 1,
    Int8 = 2,
    Int16 = 3,
    Int32 = 4,
    Extended = 5,
    String = 6,
    Ident = 7,
    False = 8,
    True = 9,
    Binary = 10,
    Set = 11,
    LString = 12,
    Nil = 13,
    Collection = 14,
    Single = 15,
    Currency = 16,
    Date = 17,
    WString = 18,
    Int64 = 19,
    Utf8String = 20,
};

// Where a reader takes its bytes from. Remaining() is exact, so lengths can
// be checked before they are trusted.
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::uint64_t Remaining() const = 0;
    // Passes over `count` bytes, which the caller has checked remain.
    virtual void Skip(std::uint64_t count);
};

class TMemorySource final : public TByteSource {
public:
    explicit TMemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::size_t Read(void* buffer, std::size_t count) override;
    std::uint64_t Remaining() const override { return bytes_.size() - position_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// Reads an open file from its current position through a 4,096-byte buffer.
class TFileSource final : public TByteSource {
public:
    explicit TFileSource(TFile& file);
    std::size_t Read(void* buffer, std::size_t count) override;
    std::uint64_t Remaining() const override { return remaining_ + (end_ - next_); }
    // Seeks over what the buffer does not hold: a large data block is
    // passed over without being read.
    void Skip(std::uint64_t count) override;

private:
    TFile& file_;
    std::uint64_t remaining_; // bytes in the file beyond the buffer
    std::uint8_t buffer_[4096];
    std::size_t next_ = 0, end_ = 0;
};

// A name table for integer properties that may be stored as identifiers
// (colours, charsets).
struct TIdentEntry {
    std::int32_t Value;
    const char* Name;
};
using TIdentTable = std::span<const TIdentEntry>;

class TReader {
public:
    explicit TReader(TByteSource& source) : source_(source) {}

    std::uint8_t ReadByte();
    std::uint8_t PeekByte();
    void ReadBytes(void* buffer, std::size_t count);
    std::string ReadShortString();
    std::uint32_t ReadUInt32();
    // Fails with "Stream read error" unless `count` bytes remain.
    void CheckAvailable(std::uint64_t count);

    void ReadSignature();
    TValueTag ReadTag();

    // Typed property values; each accepts only its kind's tags and otherwise
    // fails with "Invalid property value".
    std::int32_t ReadInteger();
    std::int32_t ReadIntegerOrIdent(TIdentTable names);
    bool ReadBoolean();
    std::string ReadIdent();
    std::string ReadString();
    std::vector<std::string> ReadSet();
    std::vector<std::uint8_t> ReadBinary();
    // A binary value's tag and length, checked against what remains; its
    // bytes follow, for the caller to read or skip.
    std::uint32_t ReadBinaryLength();
    // Consumes `count` bytes without using them.
    void SkipBytes(std::uint64_t count);

    // Consumes one value of any tag without using it.
    void SkipValue();
    // Consumes a whole stream (signature and root object) without reading
    // it into anything; what it does not know fails as reading it would.
    void SkipStream();

private:
    std::int32_t ReadIntegerAfter(TValueTag tag);
    std::string ReadStringAfter(TValueTag tag);
    void SkipValueAfter(TValueTag tag, int depth);
    void SkipObject(int depth);
    friend class TComponentReader;

    TByteSource& source_;
    bool peeked_ = false;
    std::uint8_t peek_ = 0;
};

class TWriter {
public:
    void WriteByte(std::uint8_t b) { bytes_.push_back(b); }
    void WriteBytes(const void* data, std::size_t count);
    void WriteShortString(std::string_view text);
    void WriteUInt32(std::uint32_t v);
    void WriteSignature();
    void WriteObjectStart(std::string_view class_name, std::string_view object_name);
    // Ends the property list and the (empty) child list.
    void WriteObjectEnd();

    void WriteInteger(std::string_view name, std::int32_t value);
    void WriteIdent(std::string_view name, std::string_view ident);
    void WriteBoolean(std::string_view name, bool value);
    void WriteString(std::string_view name, std::string_view text);
    void WriteSet(std::string_view name, const std::vector<std::string>& elements);
    void WriteBinary(std::string_view name, std::span<const std::uint8_t> data);

    // Bare values, for building streams by hand.
    void WriteIntegerValue(std::int32_t value);
    void WriteStringValue(std::string_view text);

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

// An object with published properties that a stream can fill.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    // Reads the value of property `name` (the last part of a path) if this
    // object has one of that name; returns false, with the value unread,
    // when it has none.
    virtual bool ReadProperty(std::string_view name, TReader& reader);
    // The sub-object behind one part of a dotted path, or null.
    virtual TPersistent* SubObject(std::string_view name);
};

class TComponent : public TPersistent {
public:
    virtual std::string_view ClassName() const = 0;
    // Writes the published properties in their stored order.
    virtual void WriteProperties(TWriter& writer) const = 0;

    std::string Name;
};

// Reads a stream into an existing object. The class name in the stream is
// not compared with the object's class.
void ReadComponent(TReader& reader, TComponent& root);

// Reads a stream creating the object it names among the registered classes
// (TSSFileLocations and TImage). The caller owns the result; on an error it
// receives nothing.
std::unique_ptr<TComponent> ReadComponent(TReader& reader);

// A whole stream for one object.
std::vector<std::uint8_t> WriteComponent(const TComponent& root);

// Case-insensitive comparison of ASCII names, as property names compare.
bool SameText(std::string_view a, std::string_view b);

} // namespace tevrin

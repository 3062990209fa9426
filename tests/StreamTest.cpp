// SPDX-License-Identifier: MIT
#include "base/Errors.h"
#include "base/System.h"
#include "payload/Classes.h"
#include "payload/Image.h"
#include "payload/SSFileLocations.h"
#include "tests/TestSupport.h"

#include <functional>
#include <gtest/gtest.h>

namespace tevrin {
namespace {

using test::TBytes;

// A stream whose root is `class_name` and whose properties `body` writes.
template <typename F> TBytes Stream(const char* class_name, F body, const char* object_name = "") {
    TWriter w;
    w.WriteSignature();
    w.WriteObjectStart(class_name, object_name);
    body(w);
    w.WriteObjectEnd();
    return w.Take();
}

void ReadInto(const TBytes& bytes, TComponent& root) {
    TMemorySource source(bytes);
    TReader reader(source);
    ReadComponent(reader, root);
}

std::unique_ptr<TComponent> ReadNew(const TBytes& bytes) {
    TMemorySource source(bytes);
    TReader reader(source);
    return ReadComponent(reader);
}

void Tag(TWriter& w, TValueTag tag) {
    w.WriteByte(static_cast<std::uint8_t>(tag));
}

TSSFileLocations SampleRecord() {
    TSSFileLocations r(96);
    r.Text = "Hello";
    r.TextFont.Name = "Arial";
    r.TextFont.Height = -32;
    r.TextFont.Color = RGBColor(255, 0, 0);
    r.TextFont.Charset = 204;
    r.TextFont.Style = fsBold | fsUnderline;
    r.lRandomStyle = true;
    r.lClearOldImage = true;
    r.Interval = 5000;
    r.SoundRandom = -40000;
    r.lMute = true;
    r.Title = "Sea";
    r.Author = "Ann";
    r.Email = "mailto:ann@example.org";
    r.Web = "http://example.org";
    r.Ver = "photo";
    r.SetCommaText(TSSFileLocations::PicList, "100,200");
    r.SetCommaText(TSSFileLocations::SndFileNamesList, "\"a b.mp3\",c.wav");
    r.SetCommaText(TSSFileLocations::DescriptList, std::string(300, 'd'));
    return r;
}

TEST(Stream, RecordRoundTripsThroughWriterAndReader) {
    TSSFileLocations original = SampleRecord();
    TBytes bytes = WriteComponent(original);
    TSSFileLocations copy(96);
    ReadInto(bytes, copy);
    EXPECT_EQ(WriteComponent(copy), bytes);
    EXPECT_EQ(copy.TextFont.Name, "Arial");
    EXPECT_EQ(copy.TextFont.Size(), 24);
    EXPECT_EQ(copy.TextFont.Style, fsBold | fsUnderline);
    EXPECT_EQ(copy.SoundRandom, -40000);
    EXPECT_EQ(copy.List(TSSFileLocations::SndFileNamesList), (TStringList{"a b.mp3", "c.wav"}));
    EXPECT_EQ(copy.PicOffset(1), 200);
}

TEST(Stream, WriterUsesTheSmallestTags) {
    auto tag_of = [](std::int32_t v) {
        TWriter w;
        w.WriteIntegerValue(v);
        return w.Bytes()[0];
    };
    EXPECT_EQ(tag_of(-128), 2);
    EXPECT_EQ(tag_of(127), 2);
    EXPECT_EQ(tag_of(128), 3);
    EXPECT_EQ(tag_of(-32769), 4);
    TWriter s;
    s.WriteStringValue(std::string(255, 'x'));
    EXPECT_EQ(s.Bytes()[0], 6);
    TWriter l;
    l.WriteStringValue(std::string(256, 'x'));
    EXPECT_EQ(l.Bytes()[0], 12);
    // Named colours and charsets are stored as identifiers.
    TSSFileLocations r(96);
    TBytes bytes = WriteComponent(r);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("\x10TextFont.Charset\x07\x0F"
                        "DEFAULT_CHARSET"),
              std::string::npos);
    EXPECT_NE(text.find("\x0ETextFont.Color\x07\x0C"
                        "clWindowText"),
              std::string::npos);
}

TEST(Stream, FitModeAndBlurredBordersAreStoredOnlyWhenSet) {
    // A record that asks for nothing new is written as a classic writer
    // writes it, and reads back as the classic behaviour.
    TSSFileLocations classic = SampleRecord();
    const TBytes classic_bytes = WriteComponent(classic);
    const std::string classic_text(classic_bytes.begin(), classic_bytes.end());
    EXPECT_EQ(classic_text.find("FitMode"), std::string::npos);
    EXPECT_EQ(classic_text.find("BlurBorders"), std::string::npos);
    TSSFileLocations read(96);
    ReadInto(classic_bytes, read);
    EXPECT_EQ(read.FitMode, TFitMode::fmNatural);
    EXPECT_FALSE(read.BlurBorders);

    for (TFitMode mode : {TFitMode::fmShrink, TFitMode::fmFit, TFitMode::fmFill}) {
        TSSFileLocations r = SampleRecord();
        r.FitMode = mode;
        r.BlurBorders = true;
        TSSFileLocations copy(96);
        ReadInto(WriteComponent(r), copy);
        EXPECT_EQ(copy.FitMode, mode);
        EXPECT_TRUE(copy.BlurBorders);
    }
    // A mode this program does not know (a later writer's) shows as the
    // classic one; a mode stored as something else than a name is refused.
    TSSFileLocations later(96);
    ReadInto(
        Stream("TSSFileLocations", [](TWriter& w) { w.WriteIdent("FitMode", "fmStretchToMars"); }),
        later);
    EXPECT_EQ(later.FitMode, TFitMode::fmNatural);
    EXPECT_EQ(test::ErrorOf([] {
                  TSSFileLocations r(96);
                  ReadInto(
                      Stream("TSSFileLocations", [](TWriter& w) { w.WriteInteger("FitMode", 2); }),
                      r);
              }),
              "Error reading TSSFileLocations.FitMode: Invalid property value");
}

TEST(Stream, TheMonitorModeIsStoredOnlyWhenNotPrimaryAndUnknownModesReadAsPrimary) {
    const TBytes classic_bytes = WriteComponent(SampleRecord());
    EXPECT_EQ(std::string(classic_bytes.begin(), classic_bytes.end()).find("MonitorMode"),
              std::string::npos);
    for (TMonitorMode mode : {TMonitorMode::mmMirror, TMonitorMode::mmEach}) {
        TSSFileLocations r = SampleRecord();
        r.MonitorMode = mode;
        TSSFileLocations copy(96);
        ReadInto(WriteComponent(r), copy);
        EXPECT_EQ(copy.MonitorMode, mode);
    }
    for (const char* ident : {"mmEach", "MMEACH"}) {
        TSSFileLocations r(96);
        ReadInto(
            Stream("TSSFileLocations", [&](TWriter& w) { w.WriteIdent("MonitorMode", ident); }), r);
        EXPECT_EQ(r.MonitorMode, TMonitorMode::mmEach) << ident;
    }
    TSSFileLocations later(96);
    later.MonitorMode = TMonitorMode::mmEach;
    ReadInto(
        Stream("TSSFileLocations", [](TWriter& w) { w.WriteIdent("MonitorMode", "mmHologram"); }),
        later);
    EXPECT_EQ(later.MonitorMode, TMonitorMode::mmPrimary);
}

TEST(Stream, ChosenStylesAreStoredOnlyWhenAnyAndEntriesThatAreNoStyleArePassedOver) {
    const TBytes classic_bytes = WriteComponent(SampleRecord());
    EXPECT_EQ(std::string(classic_bytes.begin(), classic_bytes.end()).find("Styles"),
              std::string::npos);
    TSSFileLocations chosen = SampleRecord();
    chosen.Styles = {51, 3, 0, 127};
    TSSFileLocations copy(96);
    ReadInto(WriteComponent(chosen), copy);
    EXPECT_EQ(copy.Styles, (std::vector<int>{51, 3, 0, 127}));
    TSSFileLocations odd(96);
    ReadInto(Stream("TSSFileLocations",
                    [](TWriter& w) { w.WriteString("Styles", "7,,x,300,-1, 9,12"); }),
             odd);
    EXPECT_EQ(odd.Styles, (std::vector<int>{7, 9, 12}));
}

TEST(Stream, TextsAreUnicodeAndOnlyAsciiIsWrittenAsAnsi) {
    TSSFileLocations r(96);
    r.Title = "Gr\u00FC\u00DFe";
    r.Text = "\u039A\u03B1\u03BB\u03B7\u03BC\u03AD\u03C1\u03B1 \u65E5\u672C\u8A9E \U0001F600";
    r.Author = "Ann";
    r.TextFont.Name = "\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF";
    r.SetCommaText(TSSFileLocations::SndFileNamesList, "\u041C\u043E\u0440\u0435.mp3,b.wav");
    const TBytes bytes = WriteComponent(r);
    const std::string text(bytes.begin(), bytes.end());
    // "Grüße" as a wide string of five units; "Ann" as a short string.
    EXPECT_NE(text.find(std::string("\x05Title\x12\x05\0\0\0G\0r\0\xFC\0\xDF\0e\0", 21)),
              std::string::npos);
    EXPECT_NE(text.find("\x06"
                        "Author\x06\x03"
                        "Ann"),
              std::string::npos);
    TSSFileLocations copy(96);
    ReadInto(bytes, copy);
    EXPECT_EQ(copy.Title, r.Title);
    EXPECT_EQ(copy.Text, r.Text);
    EXPECT_EQ(copy.TextFont.Name, r.TextFont.Name);
    EXPECT_EQ(copy.SndFileName(0), "\u041C\u043E\u0440\u0435.mp3");

    // An ANSI string of a classic writer: the code page's upper half.
    if (AnsiCodePage() == 1252) {
        TSSFileLocations ansi(96);
        ReadInto(Stream("TSSFileLocations",
                        [](TWriter& w) {
                            w.WriteShortString("Text");
                            Tag(w, TValueTag::String);
                            w.WriteShortString("Caf\xE9 cr\xE8me \x80"
                                               "5 \x93ok\x94");
                            w.WriteShortString("Title");
                            Tag(w, TValueTag::LString);
                            w.WriteUInt32(2);
                            w.WriteBytes("\x8A\x9F", 2);
                        }),
                 ansi);
        EXPECT_EQ(ansi.Text, "Caf\u00E9 cr\u00E8me \u20AC5 \u201Cok\u201D");
        EXPECT_EQ(ansi.Title, "\u0160\u0178");
    }
    // A hostile UTF-8 string cannot put malformed text into the record.
    TSSFileLocations bad(96);
    ReadInto(Stream("TSSFileLocations",
                    [](TWriter& w) {
                        w.WriteShortString("Text");
                        Tag(w, TValueTag::Utf8String);
                        w.WriteUInt32(3);
                        w.WriteBytes("a\xC3(", 3);
                    }),
             bad);
    EXPECT_EQ(bad.Text, "a\uFFFD(");
}

TEST(Stream, ReadsARecordWrittenByHandByteForByte) {
    TBytes bytes = test::Raw("TPF0\x10TSSFileLocations\x00"
                             "\x10TextFont.Charset\x07\x0F"
                             "DEFAULT_CHARSET"
                             "\x0FTextFont.Height\x02\xE0"
                             "\x08Interval\x03\x88\x13\x00\x00");
    TSSFileLocations r(96);
    ReadInto(bytes, r);
    EXPECT_EQ(r.TextFont.Height, -32);
    EXPECT_EQ(r.TextFont.Size(), 24);
    EXPECT_EQ(r.Interval, 5000);
}

TEST(Stream, EveryValueTagIsReadOverForUnknownProperties) {
    TBytes bytes = Stream("TSSFileLocations", [](TWriter& w) {
        auto unknown = [&](TValueTag tag, std::initializer_list<std::uint8_t> payload) {
            w.WriteShortString("Unknown");
            Tag(w, tag);
            for (std::uint8_t b : payload)
                w.WriteByte(b);
        };
        unknown(TValueTag::Null, {});
        unknown(TValueTag::List, {1, 2, 7, 0, 6, 1, 'x', 0}); // nested lists
        unknown(TValueTag::Int8, {1});
        unknown(TValueTag::Int16, {1, 2});
        unknown(TValueTag::Int32, {1, 2, 3, 4});
        unknown(TValueTag::Extended, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F});
        unknown(TValueTag::String, {2, 'h', 'i'});
        unknown(TValueTag::Ident, {3, 'a', 'b', 'c'});
        unknown(TValueTag::False, {});
        unknown(TValueTag::True, {});
        unknown(TValueTag::Binary, {3, 0, 0, 0, 9, 9, 9});
        unknown(TValueTag::Set, {1, 'a', 2, 'b', 'c', 0});
        unknown(TValueTag::LString, {2, 0, 0, 0, 'o', 'k'});
        unknown(TValueTag::Nil, {});
        // Two collection items, the first with an order value, holding a
        // property whose value is itself a collection.
        unknown(TValueTag::Collection, {2, 5, 1, 1, 'A', 2, 9, 0, 1, 1, 'B', 14, 1, 0, 0, 0, 0});
        unknown(TValueTag::Single, {0, 0, 0x80, 0x3F});
        unknown(TValueTag::Currency, {1, 2, 3, 4, 5, 6, 7, 8});
        unknown(TValueTag::Date, {1, 2, 3, 4, 5, 6, 7, 8});
        unknown(TValueTag::WString, {2, 0, 0, 0, 'h', 0, 'i', 0});
        unknown(TValueTag::Int64, {1, 2, 3, 4, 5, 6, 7, 8});
        unknown(TValueTag::Utf8String, {2, 0, 0, 0, 'o', 'k'});
        w.WriteShortString("NoSuch.Interval"); // a path through nothing
        w.WriteIntegerValue(3);
        w.WriteInteger("Interval", 777);
    });
    TSSFileLocations r(96);
    ReadInto(bytes, r);
    EXPECT_EQ(r.Interval, 777);
}

TEST(Stream, AcceptsEachKindsTagsAndRefusesOthers) {
    TBytes bytes = Stream("TSSFileLocations", [](TWriter& w) {
        w.WriteIdent("lRandomPic", "True");
        w.WriteIdent("TextFont.Color", "clRed");
        w.WriteInteger("TextFont.Charset", 238);
        w.WriteIdent("TextFont.Pitch", "fpFixed");
        w.WriteSet("TextFont.Style", {"fsItalic", "fsShiny"});
        w.WriteShortString("Title");
        Tag(w, TValueTag::WString);
        w.WriteUInt32(3);
        for (std::uint8_t b : {0x53, 0, 0xE9, 0, 0x3A, 0x26})
            w.WriteByte(b); // "Sé☺"
        w.WriteShortString("Author");
        Tag(w, TValueTag::Utf8String);
        w.WriteUInt32(3);
        for (std::uint8_t b : {0x41, 0xC3, 0xA9})
            w.WriteByte(b); // "Aé"
        w.WriteString("Text", "first");
        w.WriteString("text", "second"); // names compare without case; last wins
    });
    TSSFileLocations r(96);
    ReadInto(bytes, r);
    EXPECT_TRUE(r.lRandomPic);
    EXPECT_EQ(r.TextFont.Color, 255);
    EXPECT_EQ(r.TextFont.Charset, 238);
    EXPECT_EQ(r.TextFont.Pitch, TFontPitch::fpFixed);
    EXPECT_EQ(r.TextFont.Style, fsItalic);
    // Wide and UTF-8 strings keep every character, the ones outside any ANSI
    // code page too.
    EXPECT_EQ(r.Title, "S\u00E9\u263A");
    EXPECT_EQ(r.Author, "A\u00E9");
    EXPECT_EQ(r.Text, "second");

    struct {
        std::function<void(TWriter&)> write;
        const char* error;
    } refused[] = {
        {[](TWriter& w) { w.WriteString("Interval", "5000"); },
         "Error reading TSSFileLocations.Interval: Invalid property value"},
        {[](TWriter& w) { w.WriteInteger("lMute", 1); },
         "Error reading TSSFileLocations.lMute: Invalid property value"},
        {[](TWriter& w) { w.WriteIdent("TextFont.Color", "clPlaid"); },
         "Error reading TSSFileLocations.TextFont.Color: Invalid property value"},
        {[](TWriter& w) { w.WriteInteger("TextFont.Charset", 256); },
         "Error reading TSSFileLocations.TextFont.Charset: Invalid property value"},
        {[](TWriter& w) { w.WriteInteger("Title", 3); },
         "Error reading TSSFileLocations.Title: Invalid property value"},
        {[](TWriter& w) {
             w.WriteShortString("Odd");
             w.WriteByte(21);
         },
         "Error reading TSSFileLocations.Odd: Invalid property value"},
    };
    for (const auto& c : refused) {
        TSSFileLocations target(96);
        TBytes stream = Stream("TSSFileLocations", [&](TWriter& w) {
            w.WriteString("Title", "kept");
            c.write(w);
            w.WriteString("Author", "never read");
        });
        EXPECT_EQ(test::ErrorOf([&] { ReadInto(stream, target); }), c.error);
        EXPECT_EQ(target.Title, "kept");
        EXPECT_EQ(target.Author, "");
    }
}

TEST(Stream, ErrorsNameTheObjectAndTheRootClassIsNotCompared) {
    TBytes named = Stream(
        "TForm1", [](TWriter& w) { w.WriteString("Interval", "x"); }, "frmMain");
    TSSFileLocations r(96);
    EXPECT_EQ(test::ErrorOf([&] { ReadInto(named, r); }),
              "Error reading frmMain.Interval: Invalid property value");
    TBytes other = Stream("TSomethingElse", [](TWriter& w) { w.WriteInteger("Interval", 9); });
    ReadInto(other, r);
    EXPECT_EQ(r.Interval, 9);
}

TEST(Stream, HeaderFailures) {
    TSSFileLocations r(96);
    EXPECT_EQ(test::ErrorOf([&] { ReadInto(test::Raw("TPF1\x04TABC\x00\x00\x00"), r); }),
              "Invalid stream format");
    EXPECT_EQ(test::ErrorOf([&] { ReadInto(test::Raw("TP"), r); }), "Invalid stream format");
    EXPECT_EQ(test::ErrorOf([&] { ReadNew(Stream("TButton", [](TWriter&) {})); }),
              "Class TButton not found");
    // A prefix with a child position is read over.
    TBytes prefixed = test::Raw("TPF0\xF2\x02\x05\x06TImage\x00\x04Left\x02\x07\x00\x00");
    auto image = ReadNew(prefixed);
    ASSERT_TRUE(image);
    EXPECT_EQ(static_cast<TImage&>(*image).Left, 7);
}

TEST(Stream, HostileLengthsFailWithoutAllocating) {
    for (TValueTag tag :
         {TValueTag::LString, TValueTag::Binary, TValueTag::WString, TValueTag::Utf8String}) {
        TBytes bytes = Stream("TSSFileLocations", [&](TWriter& w) {
            w.WriteShortString(tag == TValueTag::Binary ? "Whatever" : "Title");
            Tag(w, tag);
            w.WriteUInt32(0xFFFFFFF0u);
        });
        TSSFileLocations r(96);
        std::string error = test::ErrorOf([&] { ReadInto(bytes, r); });
        EXPECT_NE(error.find("Stream read error"), std::string::npos) << error;
    }
    // Lists nested far deeper than any writer makes are refused, not recursed.
    TBytes deep = test::Raw("TPF0\x10TSSFileLocations\x00\x03Odd");
    deep.resize(deep.size() + 100000, 1);
    TSSFileLocations r(96);
    EXPECT_EQ(test::ErrorOf([&] { ReadInto(deep, r); }),
              "Error reading TSSFileLocations.Odd: Invalid property value");
}

TEST(Stream, TruncationAtEveryByteFailsCleanly) {
    TBytes full = WriteComponent(SampleRecord());
    for (std::size_t n = 0; n < full.size(); ++n) {
        TBytes cut(full.begin(), full.begin() + static_cast<long>(n));
        TSSFileLocations r(96);
        std::string error = test::ErrorOf([&] { ReadInto(cut, r); });
        bool known = error == "Invalid stream format" || error == "Stream read error" ||
                     (error.rfind("Error reading TSSFileLocations.", 0) == 0 &&
                      error.find(": Stream read error") != std::string::npos);
        EXPECT_TRUE(known) << "cut at " << n << ": " << error;
    }
}

TEST(Stream, PictureRecordsDecodeTheirJpegAndIgnoreOtherGraphics) {
    TImage image;
    image.Width = 105;
    image.Picture.JpegData = test::TestJpeg(37, 21);
    TBytes bytes = WriteComponent(image);
    // A picture stream starts with the signature, the class name, the
    // empty name and the first property's name length.
    ASSERT_GT(bytes.size(), 60u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 12),
              std::string("TPF0\x06TImage\x00\x04", 12));
    auto read = ReadNew(bytes);
    auto& copy = dynamic_cast<TImage&>(*read);
    EXPECT_EQ(copy.Width, 105);
    EXPECT_EQ(copy.Picture.GraphicClass, "TJPEGImage");
    EXPECT_EQ(copy.Picture.Decode().Width(), 37);
    EXPECT_EQ(copy.Picture.Decode().Height(), 21);
    EXPECT_EQ(copy.Picture.JpegData, image.Picture.JpegData);

    for (const char* graphic : {"TMetafile", "TPNGObject"}) {
        TBytes other = Stream("TImage", [&](TWriter& w) {
            TWriter block;
            block.WriteShortString(graphic);
            block.WriteUInt32(3);
            block.WriteBytes("abc", 3);
            w.WriteBinary("Picture.Data", block.Bytes());
            w.WriteInteger("Height", 5);
        });
        auto empty = ReadNew(other);
        EXPECT_TRUE(dynamic_cast<TImage&>(*empty).Picture.Empty()) << graphic;
        EXPECT_EQ(dynamic_cast<TImage&>(*empty).Height, 5);
    }

    TBytes broken = Stream("TImage", [&](TWriter& w) {
        TBytes jpeg = test::TestJpeg(16, 16);
        jpeg.resize(20); // only the first markers
        w.WriteBinary("Picture.Data", TPicture::JpegBlock(jpeg));
    });
    std::string error = test::ErrorOf([&] { ReadNew(broken); });
    EXPECT_EQ(error.rfind("Error reading TImage.Picture.Data: ", 0), 0u) << error;

    // Each part of the block must lie inside it, though more of the stream
    // follows; what a block holds beyond its JPEG is passed over.
    const TBytes jpeg = test::TestJpeg(16, 16);
    const struct {
        const char* what;
        std::function<void(TWriter&)> block;
        bool reads;
    } blocks[] = {
        {"an empty block", [](TWriter&) {}, false},
        {"a name longer than the block",
         [](TWriter& b) {
             b.WriteByte(40);
             b.WriteBytes("TJPEG", 5);
         },
         false},
        {"a JPEG longer than the block",
         [&](TWriter& b) {
             b.WriteShortString("TJPEGImage");
             b.WriteUInt32(static_cast<std::uint32_t>(jpeg.size()) + 8);
             b.WriteBytes(jpeg.data(), jpeg.size());
         },
         false},
        {"a JPEG with bytes after it",
         [&](TWriter& b) {
             b.WriteShortString("TJPEGImage");
             b.WriteUInt32(static_cast<std::uint32_t>(jpeg.size()));
             b.WriteBytes(jpeg.data(), jpeg.size());
             b.WriteBytes("tail", 4);
         },
         true},
    };
    for (const auto& c : blocks) {
        const TBytes bytes = Stream("TImage", [&](TWriter& w) {
            TWriter block;
            c.block(block);
            w.WriteBinary("Picture.Data", block.Bytes());
            w.WriteInteger("Height", 5);
            w.WriteInteger("Width", 1234567); // bytes a reader running past the block would take
        });
        if (c.reads) {
            auto read = ReadNew(bytes);
            const auto& image = dynamic_cast<TImage&>(*read);
            EXPECT_EQ(image.Picture.JpegData, jpeg) << c.what;
            EXPECT_EQ(image.Height, 5) << c.what;
        } else {
            EXPECT_EQ(test::ErrorOf([&] { ReadNew(bytes); }),
                      "Error reading TImage.Picture.Data: Stream read error")
                << c.what;
        }
    }
}

} // namespace
} // namespace tevrin

// The system's fixed message texts and the exception that carries them.
//
// Every error the program raises is an EError whose what() is one of these
// texts with its %s holes filled. Tests compare what() against them, so the
// texts are part of the behaviour: change them only together with the tests.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tevrin {

namespace msg {
inline constexpr const char* kInvalidStreamFormat = "Invalid stream format";
inline constexpr const char* kInvalidPropertyValue = "Invalid property value";
inline constexpr const char* kClassNotFound = "Class %s not found";
inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kStreamWriteError = "Stream write error";
inline constexpr const char* kCannotCreateFile = "Cannot create file %s";
inline constexpr const char* kCannotOpenFile = "Cannot open file %s";
inline constexpr const char* kIndexOutOfBounds = "Index is out of bounds";
inline constexpr const char* kErrorReading = "Error reading %s%s%s: %s";
inline constexpr const char* kUnableToWrite = "Unable to write to %s";
inline constexpr const char* kNotRegularFile = "Not a regular file: %s";
// The media player.
inline constexpr const char* kMediaCannotOpen = "No device can play %s";
inline constexpr const char* kMediaNotOpen = "The media player has no file open";
// Pictures: the codecs' own messages are passed on as they stand; these are
// ours. The format's name ("JPEG", "PNG" ...) fills the first hole.
inline constexpr const char* kImageTooLarge = "%s image is too large (%s pixels)";
inline constexpr const char* kImageEndsEarly =
    "%s image data ends before the picture does (%s pixels)";
inline constexpr const char* kJpegNotAJpeg = "Not a JPEG file: %s";
inline constexpr const char* kNotAPicture =
    "Not a picture this program reads (JPEG, PNG, WebP, HEIC)";
inline constexpr const char* kFormatNotBuiltIn = "%s pictures cannot be read by this build";
inline constexpr const char* kAnimatedPicture = "Animated %s pictures are not supported";
// Files the tools read: manifests, projects, requests.
inline constexpr const char* kJsonTooDeep = "%s nests deeper than %s levels";
inline constexpr const char* kJsonBroken = "%s is no JSON: %s";
inline constexpr const char* kUnknownManifestKey =
    "%s: unknown key \"%s\" (a key starting with _ or named comment is ignored)";
// Pack's choices, from the command line, a manifest or the Studio's page;
// the first hole names the choice.
inline constexpr const char* kChoiceNotText = "%s must be text";
inline constexpr const char* kChoiceTooLong = "%s is too long";
inline constexpr const char* kChoiceNotUtf8 = "%s is not UTF-8 text";
inline constexpr const char* kChoiceNotFlag = "%s must be true or false";
inline constexpr const char* kChoiceRange = "%s must be a whole number from %s to %s";
inline constexpr const char* kChoiceNone = "%s is none of the choices (%s)";
inline constexpr const char* kChoiceColor =
    "%s must be a colour #RRGGBB, a name such as clWhite, or a number";
inline constexpr const char* kChoiceFontStyle =
    "%s takes bold, italic, underline and strikeout, separated by commas";
inline constexpr const char* kChoiceStyles =
    "%s may only hold style numbers from 0 to 127 (separated by commas), or all";
inline constexpr const char* kChoiceSize =
    "%s takes WxH (at least 16x16), for example 3840x2160, or none";
inline constexpr const char* kNoSuchFile = "No such file: %s";
inline constexpr const char* kManifestPictureValue = "%s: a picture's \"%s\" must be %s";
// Caption templates.
inline constexpr const char* kCaptionTemplateField =
    "Unknown field %s in the caption template (it takes {date}, {title}, {file}, {n} and {count})";
inline constexpr const char* kCaptionTemplateBrace =
    "A brace is left open or unmatched in the caption template \"%s\" ({{ and }} are braces)";
inline constexpr const char* kDateFormatField =
    "Unknown field %s in the date format (it takes %Y %y %m %-m %B %b %d %-d %A %a %H %-H %M %S "
    "and %%)";
inline constexpr const char* kNoSuchPlatform = "No platform %s in this build (it has %s)";
} // namespace msg

// Replaces each "%s" of `pattern` in turn with the next argument.
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

class EError : public std::runtime_error {
public:
    explicit EError(const std::string& text) : std::runtime_error(text) {}
    EError(std::string_view pattern, std::initializer_list<std::string_view> args)
        : std::runtime_error(Format(pattern, args)) {}
};

// Raised by the component stream reader and the payload's file operations.
class EReadError : public EError {
    using EError::EError;
};

} // namespace tevrin

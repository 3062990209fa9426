// SPDX-License-Identifier: MIT
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
// The tools: packing, rendering and inspecting.
inline constexpr const char* kSizeArgument = "--size takes WxH, for example 1920x1080";
inline constexpr const char* kRenderNeeds =
    "render needs --to PICTURE and -o FILE (or --list for the styles)";
inline constexpr const char* kRenderSize = "The size must be between 1x1 and 16384x16384";
inline constexpr const char* kSaverTooLarge = "The saver would grow past 2 GiB at %s";
inline constexpr const char* kNotUsableFileName = "Not a usable file name: %s";
inline constexpr const char* kSharedItemName = "Two sounds or movies share the file name %s";
inline constexpr const char* kOutputIsFolder = "The output is a folder: %s";
inline constexpr const char* kOutputIsInput = "The output %s is %s, which the saver is made from";
inline constexpr const char* kNoPicturesInFolder = "No pictures in the folder %s%s";
inline constexpr const char* kNoTrailerNoSaver = "No payload trailer: %s is no saver";
inline constexpr const char* kNoTrailerShortFile =
    "No payload trailer: the file is shorter than 40 bytes";
inline constexpr const char* kGraphicNotRepackable =
    "its graphic (%s) is no JPEG, which alone can be repacked";
inline constexpr const char* kNothingToPack = "Nothing to pack: no pictures";
// Folder savers.
inline constexpr const char* kPictureUnreadable = "Passed over %s: %s";
inline constexpr const char* kPictureGone = "it is no longer there";
inline constexpr const char* kNoFolderPictures = "No pictures were found in %s.";
inline constexpr const char* kInItem = "%s: %s";
inline constexpr const char* kManifestNotObject = "The manifest must be a JSON object: %s";
// Colour profiles.
inline constexpr const char* kNoColourTransform = "No colour conversion from the profile \"%s\"";
inline constexpr const char* kProfileUnreadable =
    "its colour profile cannot be read, so its colours are taken as sRGB";
// The player.
inline constexpr const char* kShowOneSource =
    "The player plays one saver or manifest at a time, with folders and pictures: %s and %s";
inline constexpr const char* kCannotStartPlayer = "Cannot start the player %s";
inline constexpr const char* kNoRuntimeStub =
    "No %s runtime stub; looked for %s; name one with --stub";
// Installing savers.
inline constexpr const char* kCannotWrite = "Cannot write %s: %s";
inline constexpr const char* kSaverForOtherSystem =
    "%s is a saver for another system; install a saver packed for %s (tevrin pack --target)";
inline constexpr const char* kNotInstalled = "No saver named %s is installed (installed: %s)";
// The Studio.
inline constexpr const char* kQuitWhileBuilding =
    "A saver is being built; close Tevrin Studio when it is done";
inline constexpr const char* kStudioSize = "The size must be between %s and %s";
inline constexpr const char* kNoSuchStyle = "No such style: %s";
inline constexpr const char* kStripTooTall = "Too many frames of that size for one strip";
inline constexpr const char* kStripTooLarge =
    "%s frames of %s are more than one request may draw; ask for fewer frames or a smaller size";
inline constexpr const char* kCannotReadPicture = "Cannot read picture %s: %s";
inline constexpr const char* kNotAPictureThisBuildReads =
    "not a JPEG, PNG, WebP or HEIC picture this build reads";
inline constexpr const char* kProgressRange = "The progress must be from 0 to 100";
inline constexpr const char* kShowWithoutPictures = "Add pictures to see the show";
inline constexpr const char* kNoSuchStep = "No such step of the show";
inline constexpr const char* kNotStorableName = "Not a file name the project can store (%s): %s";
inline constexpr const char* kNoHomeFolder =
    "No home folder to keep the project in; name a project file or folder";
inline constexpr const char* kProjectNotObject = "The project is no JSON object: %s";
inline constexpr const char* kSettingsNotObject = "The settings must be a JSON object";
inline constexpr const char* kUnknownSetting = "Unknown setting: %s";
inline constexpr const char* kTooManyItems = "A project holds at most %s %s";
inline constexpr const char* kUploadTooLarge = "%s is larger than the %s a file may have";
inline constexpr const char* kEmptyFile = "%s is empty";
inline constexpr const char* kStoreNoFolder = "Cannot store %s: %s is no folder";
inline constexpr const char* kStoreNoName = "Cannot store %s: too many files of that name";
inline constexpr const char* kNoSuchPicture = "No such picture: %s";
inline constexpr const char* kCaptionText = "A caption must be UTF-8 text of at most %s bytes";
inline constexpr const char* kPictureSeconds = "A picture's seconds must be from 0 to 86400";
inline constexpr const char* kOrderIncomplete = "The new order must name every picture once";
inline constexpr const char* kCannotSaveProject = "Cannot save the project %s: %s";
inline constexpr const char* kProjectNamesStub =
    "This project names a runtime of its own (\"stub\": %s); the Studio builds only with its "
    "own runtimes. Remove the key from %s to build here, or pack it with tevrin pack --manifest";
inline constexpr const char* kNoFreeSaverName = "No free name for the saver in %s";
inline constexpr const char* kParameterNotNumber = "The parameter %s must be a whole number";
inline constexpr const char* kNoRandomNumbers =
    "The system gave no random numbers for the session's token";
inline constexpr const char* kCannotListen = "Cannot listen on 127.0.0.1%s: %s";
inline constexpr const char* kProjectOpenElsewhere =
    "This project is open in another Tevrin Studio already: %s. Go on working there, or end "
    "that one first.";
inline constexpr const char* kDetailsNotObject = "The picture's details must be a JSON object";
inline constexpr const char* kCaptionNotText = "A caption must be text";
inline constexpr const char* kSecondsNotNumber = "Seconds must be a number";
inline constexpr const char* kThumbSide = "The side must be from 16 to 1024";
inline constexpr const char* kFrameFormat = "The format is png or jpeg";
inline constexpr const char* kNoSuchScreenSize = "No such screen size";
inline constexpr const char* kUploadUnnamed = "The upload lacks its file name";
inline constexpr const char* kNoTargets = "Choose Windows, Linux or both";
inline constexpr const char* kNoSuchTarget = "No such target: %s";
inline constexpr const char* kBuildWithoutPictures = "Add pictures before building a saver";
inline constexpr const char* kSaversShareName =
    "The Windows and Linux savers would share the name %s";
inline constexpr const char* kBuildRunning = "A build is running already";
inline constexpr const char* kNoToken =
    "The address lacks the session's token; open the address tevrin studio printed";
inline constexpr const char* kWrongHost = "This server answers only to http://%s/";
inline constexpr const char* kCrossSite = "Requests from other sites are refused";
inline constexpr const char* kUploadTooLargeForRequest =
    "The file is larger than the %s one upload may have";
inline constexpr const char* kNotJsonExpected = "Not the JSON expected: %s";
inline constexpr const char* kOutOfMemory = "Out of memory";
inline constexpr const char* kUploadAsForm =
    "Files are sent as application/octet-stream, not as a form";
inline constexpr const char* kNoSuchPage = "No such page";
inline constexpr const char* kNoSuchItem = "No such item";
inline constexpr const char* kNoSuchSaver = "No such saver";
inline constexpr const char* kProjectChanged =
    "This project was changed in another tab or window since this page loaded it";
inline constexpr const char* kAlreadyInProject = "%s is in the project already, as picture %s (%s)";
inline constexpr const char* kCannotRestore = "%s cannot be put back: it was not removed here, or "
                                              "the project is full";
inline constexpr const char* kStudioRunsAt = "This project is open in Tevrin Studio already, at %s";
inline constexpr const char* kSaverGone = "The saver is gone: %s";
inline constexpr const char* kRequestLineTooLong = "The request line is too long";
inline constexpr const char* kHeadersTooLarge = "The request's headers are too large";
inline constexpr const char* kHeadersTooSlow = "The request's headers did not come in time";
inline constexpr const char* kLengthNoNumber = "The request's length is no number";
inline constexpr const char* kNoSuchPlatform = "No platform %s in this build (it has %s)";
// The display.
inline constexpr const char* kNoDisplay = "No display to show the saver on: %s";
inline constexpr const char* kNoVisibleDisplay =
    "No display to show the saver on: SDL found only its %s video driver, which shows nothing "
    "(the saver needs X or Wayland)";
inline constexpr const char* kNoXDisplay = "No X display to draw the saver on";
inline constexpr const char* kNoSuchXWindow = "No window %s to draw the saver in";
inline constexpr const char* kCannotCreateWindow = "Cannot create a window: %s";
inline constexpr const char* kNoWindowSurface =
    "The display gives the saver no surface to draw on (%s), so nothing would show";
inline constexpr const char* kNoWaylandSeat =
    "The Wayland compositor offers no input seat, so no key or mouse could end the saver; it "
    "does not start";
inline constexpr const char* kRootNotShown =
    "--root would draw on Xwayland's root window, which this Wayland desktop never shows; run "
    "the saver without --root";
} // namespace msg

// Replaces each "%s" of `pattern` in turn with the next argument.
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

class EError : public std::runtime_error {
public:
    explicit EError(const std::string& text) : std::runtime_error(text) {}
    EError(std::string_view pattern, std::initializer_list<std::string_view> args)
        : std::runtime_error(Format(pattern, args)) {}
};

// The display itself failed (no window, no surface to draw on): nothing
// could be shown, so no handler reports it in a window; it ends the run.
class EDisplayLost : public EError {
    using EError::EError;
};

// Raised by the component stream reader and the payload's file operations.
class EReadError : public EError {
    using EError::EError;
};

} // namespace tevrin

// SPDX-License-Identifier: MIT
#include "tools/studio/Server.h"

#include "base/Errors.h"
#include "base/IntConv.h"
#include "base/Paths.h"
#include "base/System.h"
#include "effects/Styles.h"
#include "gfx/Compose.h"
#include "payload/TempFolder.h"
#include "platform/SystemText.h"
#include "tools/Pack.h"
#include "tools/PackCommand.h"
#include "tools/Runtime.h"
#include "tools/studio/Connections.h"
#include "tools/studio/Frames.h"
#include "tools/studio/Page.h"
#include "tools/studio/Project.h"
#include "tools/studio/Session.h"

#include <array>
#include <atomic>
#include <climits>
#include <deque>
#include <fstream>
#include <httplib.h>
#include <iterator>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>
#include <tuple>

namespace tevrin::studio {
namespace {

using httplib::Request;
using httplib::Response;
using nlohmann::json;
using THandled = httplib::Server::HandlerResponse;

constexpr const char* kJson = "application/json; charset=utf-8";
// Frames of a moving picture one request may ask for: a second's worth.
constexpr int kMotionBatch = 25;
#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

void Fail(Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(json{{"error", message}}.dump(-1, ' ', false, json::error_handler_t::replace),
                    kJson);
}

void Send(Response& res, const json& body) {
    res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), kJson);
}

void Send(Response& res, const TEncodedPtr& image) {
    res.set_content(image->Bytes, image->Type.c_str());
}

int IntParam(const Request& req, const char* name, int fallback) {
    if (!req.has_param(name)) return fallback;
    const std::string text = req.get_param_value(name);
    try {
        std::size_t used = 0;
        const long value = std::stol(text, &used);
        if (used != text.size() || value < INT32_MIN || value > INT32_MAX)
            throw std::out_of_range(name);
        return static_cast<int>(value);
    } catch (const std::exception&) {
        throw EError(msg::kParameterNotNumber, {name});
    }
}

std::string SizeText(std::size_t bytes) {
    return bytes >= (1 << 20) ? std::to_string(bytes >> 20) + " MB"
                              : std::to_string(bytes >> 10) + " KB";
}

// Two strings compared in a time that does not depend on where they differ.
bool SameSecret(const std::string& a, const std::string& b) {
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    return differ == 0;
}

std::string RandomToken() {
    std::array<std::uint8_t, 16> bytes;
    if (!SecureRandomBytes(bytes.data(), bytes.size())) throw EError(msg::kNoRandomNumbers);
    return HexText(bytes);
}

// What the page says beside a picture: what loses content or quality on a
// screen of sw x sh, and what the pack converts. A picture simply scaled
// down to fit, by the pack or by the show, is normal and says nothing.
std::string PictureWarning(const TItem& item, const TSSFileLocations& record, const TPackJob& job,
                           int sw, int sh) {
    if (!item.Problem.empty() || item.Width <= 0) return {};
    const TRect stored = job.Limits.StoredSize(item.Width, item.Height);
    const int w = stored.Width(), h = stored.Height();
    const std::string screen = std::to_string(sw) + "x" + std::to_string(sh);
    std::vector<std::string> notes;
    if (item.Cmyk) notes.push_back("Converted from CMYK to RGB.");
    if (item.Format == "HEIF") notes.push_back("Converted from HEIC to JPEG.");
    if (!item.ColoursFrom.empty())
        notes.push_back("Colours converted from " + item.ColoursFrom + " to sRGB.");
    const TRect place = PlacePicture(w, h, sw, sh, record.FitMode);
    const long long shown_area = static_cast<long long>(place.Width()) * place.Height();
    const long long visible =
        static_cast<long long>(std::max(0, std::min(place.Right, sw) - std::max(place.Left, 0))) *
        std::max(0, std::min(place.Bottom, sh) - std::max(place.Top, 0));
    const int percent = static_cast<int>(100.0 * place.Width() / w + 0.5);
    if (visible < shown_area)
        notes.push_back("Cut on a " + screen + " screen: " +
                        std::to_string(static_cast<int>(100.0 * visible / shown_area + 0.5)) +
                        "% of it shows.");
    else if (percent > 150)
        notes.push_back("Enlarged to " + std::to_string(percent) + "% on a " + screen +
                        " screen: it will look soft.");
    if (shown_area * 4 < static_cast<long long>(sw) * sh)
        notes.push_back("Small on a " + screen + " screen: it covers " +
                        std::to_string(static_cast<int>(100.0 * shown_area / sw / sh + 0.5)) +
                        "% of it.");
    std::string warning;
    for (const std::string& note : notes)
        warning += (warning.empty() ? "" : " ") + note;
    return warning;
}

} // namespace

struct TStudioServer::TImpl {
    TGuardedServer http_;
    std::string token_, prefix_;
    int port_ = 0;
    std::thread serving_;

    TFile project_lock_file_; // held while this Studio serves the project
    std::mutex project_lock_;
    TProject project_;
    TSessionStore sessions_;
    // The project's version as the page sees it is its content's digest
    // (TProject::ContentKey), the same across starts while nothing changes.
    // Recent changes are kept with the version each made and who made it
    // (the page's X-Tab): a change based on an older version is taken only
    // when every change since came from the same tab, its own earlier edits
    // still on their way.
    std::deque<std::pair<std::string, std::string>> changes_;
    std::size_t max_upload_;
    TRenderer renderer_{MakeSystemTextEngine()};

    // The build on its own thread, and what the page is told of it.
    std::mutex build_lock_;
    std::thread builder_;
    bool building_ = false;
    json build_state_ = {{"running", false}};
    json targets_ = json::array(); // the systems whose runtime this tool has

    // What the preview shows: the pictures that can be shown, with the
    // project's record and choices as they are now.
    struct TShowNow {
        std::vector<TItem> Pictures;
        TSSFileLocations Record;
        TPackJob Job;
    };
    TShowNow ShowNow() {
        TShowNow now;
        std::lock_guard lock(project_lock_);
        for (const TItem& item : project_.ShownPictures())
            if (item.Problem.empty()) now.Pictures.push_back(item);
        now.Record = project_.Record();
        now.Job = project_.Choices();
        return now;
    }

    explicit TImpl(const TStudioOptions& options)
        : project_lock_file_(LockProject(options.Manifest)),
          project_(options.Manifest, options.MaxUpload), sessions_(options.SessionFolder),
          max_upload_(options.MaxUpload) {
        const std::optional<TSession> last = sessions_.Read(project_.Folder());
        token_ = !options.Token.empty() ? options.Token : last ? last->Token : RandomToken();
        prefix_ = "/s/" + token_;
        http_.set_payload_max_length(max_upload_);
        TConnectionLimits limits;
        limits.MaxBody = max_upload_;
        limits.BodyTooLarge = TooLargeMessage();
        http_.SetLimits(limits);
        // Before a single header is read.
        http_.CheckTarget = [this](std::string_view target) {
            return HasToken(target) ? std::string() : std::string(msg::kNoToken);
        };
        Routes();
        // The last session's port when it is free; another only when not.
        if (options.Port == 0 && last && http_.bind_to_port("127.0.0.1", last->Port))
            port_ = last->Port;
        else
            port_ = options.Port == 0
                        ? http_.bind_to_any_port("127.0.0.1")
                        : (http_.bind_to_port("127.0.0.1", options.Port) ? options.Port : -1);
        if (port_ <= 0)
            throw EError(msg::kCannotListen,
                         {options.Port ? ":" + std::to_string(options.Port) : std::string(),
                          LastErrorText()});
        for (const char* target : {"windows", "linux"}) {
            try {
                (void)FindRuntimeStub(ExtractFilePath(ModuleFileName()), target);
                targets_.push_back(target);
            } catch (const EError&) {
            }
        }
        sessions_.Write(project_.Folder(), {port_, token_});
        // A new project is saved with its defaults; an existing one is
        // written only when something changes.
        std::lock_guard lock(project_lock_);
        if (!project_.Exists()) project_.Save();
        changes_.emplace_back(Version(), std::string());
    }

    std::string Version() const { return project_.ContentKey(); }

    // Whether a change may be made on the version the request was based on
    // (its X-Project-Version; a request without one, from a script, takes
    // the project as it is). Called with the project locked.
    bool BasedOnCurrent(const Request& req) const {
        if (!req.has_header("X-Project-Version")) return true;
        const std::string base = req.get_header_value("X-Project-Version");
        if (base == Version()) return true;
        const std::string tab = req.get_header_value("X-Tab");
        auto since = changes_.end();
        while (since != changes_.begin() && std::prev(since)->first != base)
            --since;
        if (tab.empty() || since == changes_.begin()) return false;
        return std::all_of(since, changes_.end(),
                           [&](const auto& change) { return change.second == tab; });
    }

    // Answers a change based on an older version: refused, with the
    // version the page is to load.
    void Conflict(Response& res) {
        res.status = 409;
        Send(res,
             json{{"error", msg::kProjectChanged}, {"version", Version()}, {"conflict", true}});
    }

    // Notes a change a request made (called with the project locked), and
    // tells the page its new version, which it returns.
    std::string Changed(const Request& req, Response& res) {
        std::string version = Version();
        changes_.emplace_back(version, req.get_header_value("X-Tab"));
        while (changes_.size() > 200)
            changes_.pop_front();
        res.set_header("X-Project-Version", version);
        return version;
    }

    // One Studio per project folder: two would each save what they hold and
    // so take back the other's changes.
    static TFile LockProject(const std::string& manifest) {
        const std::filesystem::path folder = PathOf(manifest).parent_path();
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        const std::string path = Utf8Of(folder / kProjectLockName);
        TFile lock(path, TFile::TMode::LockExclusive);
        if (lock.IsOpen()) return lock;
        if (std::filesystem::exists(PathOf(path), error))
            throw EError(msg::kProjectOpenElsewhere, {Utf8Of(folder)});
        throw EError(Format(msg::kCannotCreateFile, {path}) + ": " + LastErrorText());
    }

    ~TImpl() {
        http_.stop();
        if (serving_.joinable()) serving_.join();
        if (builder_.joinable()) builder_.join();
        // Removed while still held, so no other Studio can have taken it.
        std::error_code ignored;
        std::filesystem::remove(PathOf(project_.Folder()) / kProjectLockName, ignored);
    }

    // Every request: for this server by name, from its own page or from no
    // page, with the token; anything else is refused before it is read.
    THandled Admit(const Request& req, Response& res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Referrer-Policy", "no-referrer");
        res.set_header("X-Frame-Options", "DENY");
        res.set_header("Cache-Control", "no-store");
        const std::string own = "127.0.0.1:" + std::to_string(port_);
        const std::string local = "localhost:" + std::to_string(port_);
        const std::string host = req.get_header_value("Host");
        if (host != own && host != local) {
            Fail(res, 403, Format(msg::kWrongHost, {own}));
            return THandled::Handled;
        }
        const std::string origin = req.get_header_value("Origin");
        if ((!origin.empty() && origin != "http://" + own && origin != "http://" + local) ||
            req.get_header_value("Sec-Fetch-Site") == "cross-site") {
            Fail(res, 403, msg::kCrossSite);
            return THandled::Handled;
        }
        if (!HasToken(req.path)) {
            Fail(res, 403, msg::kNoToken);
            return THandled::Handled;
        }
        return THandled::Unhandled;
    }

    std::string TooLargeMessage() const {
        return Format(msg::kUploadTooLargeForRequest, {SizeText(max_upload_)});
    }

    // Whether a path or a request's target starts with the token's prefix,
    // compared in constant time.
    bool HasToken(std::string_view target) const {
        const std::string_view given = target.substr(0, std::min(target.size(), prefix_.size()));
        const bool follows = target.size() == prefix_.size() ||
                             (target.size() > prefix_.size() &&
                              (target[prefix_.size()] == '/' || target[prefix_.size()] == '?'));
        return SameSecret(std::string(given), prefix_) && follows;
    }

    // Runs a handler, turning our errors into a JSON error the page shows.
    template <typename F> auto Guarded(F handler) {
        return [this, handler](const Request& req, Response& res) {
            try {
                handler(req, res);
            } catch (const EError& e) {
                Fail(res, 400, e.what());
            } catch (const json::exception& e) {
                Fail(res, 400, Format(msg::kNotJsonExpected, {e.what()}));
            } catch (const std::bad_alloc&) {
                Fail(res, 500, msg::kOutOfMemory);
            } catch (const std::exception& e) {
                Fail(res, 500, e.what());
            }
        };
    }

    void Route(const char* method, const std::string& pattern,
               std::function<void(const Request&, Response&)> handler) {
        const std::string full = prefix_ + pattern;
        auto guarded = Guarded(std::move(handler));
        if (std::string_view(method) == "GET")
            http_.Get(full, guarded);
        else if (std::string_view(method) == "POST")
            http_.Post(full, guarded);
        else if (std::string_view(method) == "PUT")
            http_.Put(full, guarded);
        else
            http_.Delete(full, guarded);
    }

    void Routes() {
        http_.set_pre_routing_handler(
            [this](const Request& req, Response& res) { return Admit(req, res); });
        http_.set_error_handler(
            httplib::Server::HandlerWithResponse([this](const Request& req, Response& res) {
                if (!res.body.empty()) return THandled::Unhandled;
                if (TGuardedServer::BodyWasTooLarge()) res.status = 413;
                if (res.status == 413 &&
                    req.get_header_value("Content-Type") == "application/x-www-form-urlencoded")
                    Fail(res, 413, msg::kUploadAsForm);
                else if (res.status == 413)
                    Fail(res, 413, TooLargeMessage());
                else if (res.status == 404)
                    Fail(res, 404, msg::kNoSuchPage);
                else
                    Fail(res, res.status,
                         "The request was refused (" + std::to_string(res.status) + ")");
                return THandled::Handled;
            }));

        http_.Get(prefix_,
                  [this](const Request&, Response& res) { res.set_redirect(prefix_ + "/"); });
        Route("GET", "/(|[a-z]+\\.(?:html|js|css|svg))", [](const Request& req, Response& res) {
            const std::string name =
                req.matches[1].str().empty() ? "index.html" : req.matches[1].str();
            for (const TPageFile& file : PageFiles())
                if (file.Name == name) {
                    res.set_header("Content-Security-Policy",
                                   "default-src 'self'; img-src 'self' blob: data:; "
                                   "frame-ancestors 'none'; base-uri 'none'; form-action 'none'");
                    res.set_content(std::string(file.Bytes), std::string(file.Type).c_str());
                    return;
                }
            Fail(res, 404, msg::kNoSuchPage);
        });

        Route("GET", "/api/project", [this](const Request& req, Response& res) {
            Send(res, ProjectJson(IntParam(req, "w", 1920), IntParam(req, "h", 1080)));
        });
        Route("PUT", "/api/settings", [this](const Request& req, Response& res) {
            const json settings = ParseJsonText(req.body, "The settings");
            std::lock_guard lock(project_lock_);
            if (!BasedOnCurrent(req)) return Conflict(res);
            try {
                project_.SetSettings(settings);
            } catch (const ESettingRefused& e) {
                res.status = 400;
                return Send(res, json{{"error", e.what()}, {"field", e.Key()}});
            }
            const std::string version = Changed(req, res);
            Send(res, json{{"settings", project_.Settings()}, {"version", version}});
        });
        Route("POST", "/api/pictures",
              [this](const Request& req, Response& res) { AddItem(req, res, true); });
        Route("POST", "/api/sounds",
              [this](const Request& req, Response& res) { AddItem(req, res, false); });
        Route("DELETE", "/api/items/([ps][0-9]+)", [this](const Request& req, Response& res) {
            std::lock_guard lock(project_lock_);
            if (!BasedOnCurrent(req)) return Conflict(res);
            if (!project_.Remove(req.matches[1].str())) return Fail(res, 404, msg::kNoSuchItem);
            const std::string version = Changed(req, res);
            Send(res, json{{"removed", req.matches[1].str()}, {"version", version}});
        });
        Route("POST", "/api/items/([ps][0-9]+)/restore", [this](const Request& req, Response& res) {
            std::lock_guard lock(project_lock_);
            if (!BasedOnCurrent(req)) return Conflict(res);
            const TItem* item = project_.Restore(req.matches[1].str());
            if (!item) return Fail(res, 404, Format(msg::kCannotRestore, {req.matches[1].str()}));
            const std::string version = Changed(req, res);
            Send(res, json{{"restored", item->Id}, {"version", version}});
        });
        Route("PUT", "/api/pictures/(p[0-9]+)", [this](const Request& req, Response& res) {
            const json details = ParseJsonText(req.body, "The picture's details");
            if (!details.is_object()) throw EError(msg::kDetailsNotObject);
            std::optional<std::string> caption;
            std::optional<int> interval_ms;
            const json& given_caption = details.value("caption", json());
            const json& given_seconds = details.value("seconds", json());
            if (!given_caption.is_null()) {
                if (!given_caption.is_string()) throw EError(msg::kCaptionNotText);
                caption = given_caption.get<std::string>();
            }
            if (!given_seconds.is_null()) {
                if (!given_seconds.is_number()) throw EError(msg::kSecondsNotNumber);
                const double seconds = given_seconds.get<double>();
                if (seconds < 0 || seconds > 86400) throw EError(msg::kPictureSeconds);
                interval_ms = static_cast<int>(seconds * 1000 + 0.5);
            }
            std::lock_guard lock(project_lock_);
            if (!BasedOnCurrent(req)) return Conflict(res);
            project_.SetPictureDetails(req.matches[1].str(), caption, interval_ms);
            const std::string version = Changed(req, res);
            Send(res, json{{"ok", true}, {"version", version}});
        });
        Route("PUT", "/api/order", [this](const Request& req, Response& res) {
            const json order = ParseJsonText(req.body, "The order");
            std::lock_guard lock(project_lock_);
            if (!BasedOnCurrent(req)) return Conflict(res);
            project_.OrderPictures(order.at("pictures").get<std::vector<std::string>>());
            const std::string version = Changed(req, res);
            Send(res, json{{"ok", true}, {"version", version}});
        });
        Route("GET", "/api/pictures/(p[0-9]+)/thumb", [this](const Request& req, Response& res) {
            const TItem item = Item(req.matches[1].str());
            const int side = IntParam(req, "side", 240);
            if (side < 16 || side > 1024) throw EError(msg::kThumbSide);
            Send(res, renderer_.Thumbnail(item, side));
        });
        Route("GET", "/api/transition", [this](const Request& req, Response& res) {
            const auto [from, to, record] = Pair(req);
            Send(res, renderer_.TransitionStrip(from ? &*from : nullptr, to ? &*to : nullptr,
                                                record, IntParam(req, "style", kInitialStyle),
                                                IntParam(req, "w", 320), IntParam(req, "h", 180),
                                                IntParam(req, "frames", kDefaultTransitionFrames)));
            res.set_header("X-Frames", req.has_param("frames")
                                           ? req.get_param_value("frames")
                                           : std::to_string(kDefaultTransitionFrames));
        });
        Route("GET", "/api/frame", [this](const Request& req, Response& res) {
            const auto [from, to, record] = Pair(req);
            const std::string format =
                req.has_param("format") ? req.get_param_value("format") : "png";
            if (format != "png" && format != "jpeg") throw EError(msg::kFrameFormat);
            Send(res, renderer_.Frame(from ? &*from : nullptr, to ? &*to : nullptr, record,
                                      IntParam(req, "style", kInitialStyle),
                                      IntParam(req, "progress", 50), IntParam(req, "w", 640),
                                      IntParam(req, "h", 360), format == "png"));
        });
        Route("GET", "/api/show", [this](const Request& req, Response& res) {
            const TShowNow show = ShowNow();
            const TShowStep step = renderer_.ShowStep(
                show.Pictures, show.Record, show.Job, IntParam(req, "step", 0),
                IntParam(req, "w", 1920), IntParam(req, "h", 1080), IntParam(req, "view", 960));
            res.set_header("X-Picture", show.Pictures[static_cast<std::size_t>(step.Picture)].Id);
            res.set_header("X-Style", std::to_string(step.Style));
            res.set_header("X-Caption", step.Caption.empty() ? "0" : "1");
            res.set_header("X-Caption-Text", PercentEncoded(step.Caption));
            res.set_header("X-Frames", std::to_string(step.Frames));
            res.set_header("X-Frame-Delay", std::to_string(kFrameDelayMs));
            res.set_header("X-Interval", std::to_string(step.IntervalMs));
            res.set_header("X-Motion-Frames", std::to_string(step.MotionFrames));
            Send(res, step.Strip);
        });
        // The frames of a step's moving picture, a batch at a time.
        Route("GET", "/api/motion", [this](const Request& req, Response& res) {
            const TShowNow show = ShowNow();
            const int first = IntParam(req, "from", 0);
            const int count = std::clamp(IntParam(req, "count", kMotionBatch), 1, kMotionBatch);
            res.set_header("X-Frame-Delay", std::to_string(kFrameDelayMs));
            Send(res, renderer_.MotionStrip(show.Pictures, show.Record, show.Job,
                                            IntParam(req, "step", 0), IntParam(req, "w", 1920),
                                            IntParam(req, "h", 1080), IntParam(req, "view", 960),
                                            first, count));
        });
        Route("POST", "/api/build", [this](const Request& req, Response& res) {
            const json body = ParseJsonText(req.body, "The request");
            StartBuild(body.at("targets").get<std::vector<std::string>>());
            Send(res, BuildState());
        });
        Route("GET", "/api/build",
              [this](const Request&, Response& res) { Send(res, BuildState()); });
        // The page's way to end a Studio that has no window of its own (one
        // started from the file manager); a build is let finish first.
        Route("POST", "/api/quit", [this](const Request&, Response& res) {
            if (BuildState().value("running", false)) throw EError(msg::kQuitWhileBuilding);
            Send(res, {{"ok", true}});
        });
        // Stopping closes every connection: it waits until the answer to
        // the quit is written, which the server logs after writing.
        http_.set_logger([this](const Request& req, const Response& res) {
            if (res.status == 200 && req.method == "POST" && req.path == prefix_ + "/api/quit")
                std::thread([this] { http_.stop(); }).detach();
        });
        // A saver of the build history, by its file name: served only while
        // the file there is the very one that build wrote.
        Route("GET", "/api/builds/download", [this](const Request& req, Response& res) {
            const std::string file = req.has_param("file") ? req.get_param_value("file") : "";
            std::string path;
            {
                std::lock_guard lock(project_lock_);
                for (const json& build : project_.Builds())
                    if (build["file"] == file && build["present"].get<bool>()) path = build["path"];
            }
            if (path.empty()) return Fail(res, 404, Format(msg::kSaverGone, {file}));
            std::vector<std::uint8_t> read;
            try {
                read = ReadFileBytes(path);
            } catch (const EError&) {
                return Fail(res, 404, Format(msg::kSaverGone, {path}));
            }
            std::string bytes(read.begin(), read.end());
            res.set_header("Content-Disposition",
                           "attachment; filename*=UTF-8''" + PercentEncoded(file));
            res.set_content(std::move(bytes), "application/octet-stream");
        });
    }

    static std::string PercentEncoded(const std::string& text) {
        static const char kDigits[] = "0123456789ABCDEF";
        std::string out;
        for (unsigned char c : text)
            if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
                out += static_cast<char>(c);
            } else {
                out += '%';
                out += kDigits[c >> 4];
                out += kDigits[c & 15];
            }
        return out;
    }

    TItem Item(const std::string& id) {
        std::lock_guard lock(project_lock_);
        const TItem* item = project_.Find(id);
        if (!item) throw EError(msg::kNoSuchPicture, {id});
        return *item;
    }

    // The pictures a frame request names (from=ID&to=ID); a side it does not
    // name is the project's first or second picture, and without two our
    // own stands in (a lone picture comes in over it). With the record.
    std::tuple<std::optional<TItem>, std::optional<TItem>, TSSFileLocations>
    Pair(const Request& req) {
        std::lock_guard lock(project_lock_);
        std::vector<const TItem*> usable;
        for (const TItem& item : project_.Pictures())
            if (item.Problem.empty()) usable.push_back(&item);
        auto pick = [&](const char* param, const TItem* fallback) -> std::optional<TItem> {
            if (req.has_param(param)) {
                const TItem* item = project_.Find(req.get_param_value(param));
                if (!item || item->Id[0] != 'p')
                    throw EError(msg::kNoSuchPicture, {req.get_param_value(param)});
                return *item;
            }
            if (fallback) return *fallback;
            return std::nullopt;
        };
        const TItem* first = usable.size() >= 2 ? usable[0] : nullptr;
        const TItem* second = usable.empty() ? nullptr : usable[usable.size() >= 2 ? 1 : 0];
        return {pick("from", first), pick("to", second), project_.Record()};
    }

    // With `record`, a picture's facts too; `shown` is the picture as a
    // build shows it (Project::ShownPictures).
    json ItemJson(const TItem& item, const TSSFileLocations* record, const TPackJob* job, int sw,
                  int sh, const TItem* shown = nullptr) const {
        json j = {{"id", item.Id},
                  {"name", item.Name},
                  {"file", item.Stored},
                  {"bytes", item.Bytes},
                  {"problem", item.Problem}};
        if (record) {
            j["width"] = item.Width;
            j["height"] = item.Height;
            j["format"] = item.Format;
            j["warning"] = PictureWarning(item, *record, *job, sw, sh);
            j["caption"] = item.Caption ? json(*item.Caption) : json();
            j["template_caption"] = shown ? json(shown->Caption.value_or("")) : json();
            j["seconds"] = item.IntervalMs ? json(*item.IntervalMs / 1000.0) : json();
        }
        return j;
    }

    json ProjectJson(int sw, int sh) {
        if (sw < kMinSide || sh < kMinSide || sw > kMaxWidth || sh > kMaxHeight)
            throw EError(msg::kNoSuchScreenSize);
        json styles = json::array();
        for (const TStyleInfo& style : StyleTable())
            styles.push_back({{"number", style.Number},
                              {"name", style.Name},
                              {"title", StyleTitle(style)},
                              {"family", FamilyName(style.Family)},
                              {"random", style.Random}});
        std::lock_guard lock(project_lock_);
        const TSSFileLocations record = project_.Record();
        const TPackJob job = project_.Choices();
        json pictures = json::array(), sounds = json::array();
        const std::vector<TItem> shown = project_.ShownPictures();
        for (std::size_t i = 0; i < shown.size(); ++i)
            pictures.push_back(ItemJson(project_.Pictures()[i], &record, &job, sw, sh, &shown[i]));
        for (const TItem& item : project_.Sounds())
            sounds.push_back(ItemJson(item, nullptr, nullptr, sw, sh));
        json notices = json::array();
        if (project_.Settings().contains("stub"))
            notices.push_back("This project names a runtime of its own (\"stub\"), which the "
                              "Studio does not build with: remove the key from " +
                              project_.ManifestPath() + " to build here.");
        json builds = project_.Builds();
        for (json& build : builds)
            build["download"] =
                "api/builds/download?file=" + PercentEncoded(build["file"].get<std::string>());
        return {{"manifest", project_.ManifestPath()},
                {"version", Version()},
                {"command", StartCommand()},
                {"builds", builds},
                {"notices", notices},
                {"folder", project_.Folder()},
                {"settings", project_.Settings()},
                {"pictures", pictures},
                {"sounds", sounds},
                {"styles", styles},
                {"targets", targets_},
                {"limits",
                 {{"upload", max_upload_}, {"pictures", kMaxPictures}, {"sounds", kMaxSounds}}},
                {"build", BuildState()}};
    }

    // Stores an upload. The same picture as one listed already is refused
    // (409, naming it) unless the request says `again=1`.
    void AddItem(const Request& req, Response& res, bool picture) {
        if (!req.has_param("name")) throw EError(msg::kUploadUnnamed);
        const std::string name = req.get_param_value("name");
        const std::span<const std::uint8_t> bytes(
            reinterpret_cast<const std::uint8_t*>(req.body.data()), req.body.size());
        // Decoded and hashed once, before the project is locked: other
        // requests go on meanwhile.
        std::optional<TPictureFacts> facts;
        if (picture) {
            CheckedFileName(name);
            if (bytes.empty()) throw EError(msg::kEmptyFile, {name});
            facts = ReadPictureFacts(name, bytes);
        }
        std::lock_guard lock(project_lock_);
        if (!BasedOnCurrent(req)) return Conflict(res);
        if (picture && req.get_param_value("again") != "1")
            if (const TItem* same = project_.SamePicture(facts->Hash)) {
                const auto& list = project_.Pictures();
                const std::size_t number = static_cast<std::size_t>(same - list.data()) + 1;
                res.status = 409;
                return Send(res, json{{"error", Format(msg::kAlreadyInProject,
                                                       {name, std::to_string(number), same->Name})},
                                      {"duplicate", same->Id}});
            }
        const TItem& item =
            picture ? project_.AddPicture(name, bytes, *facts) : project_.AddSound(name, bytes);
        Changed(req, res);
        if (!picture) return Send(res, ItemJson(item, nullptr, nullptr, 0, 0));
        const TSSFileLocations record = project_.Record();
        const TPackJob job = project_.Choices();
        const std::vector<TItem> shown = project_.ShownPictures();
        Send(res, ItemJson(item, &record, &job, IntParam(req, "w", 1920), IntParam(req, "h", 1080),
                           &shown.back()));
    }

    // The command that starts this Studio on this project again.
    std::string StartCommand() const {
        const std::filesystem::path manifest = PathOf(project_.ManifestPath());
        const std::string named =
            manifest.filename() == "project.json" ? project_.Folder() : project_.ManifestPath();
        // Quoted as this system's shell reads it: the Windows console takes
        // a path in double quotes as it is (no file name holds a quote);
        // a POSIX shell needs \, ", $ and ` escaped inside them.
        std::string quoted = "\"";
        for (char c : named) {
            if (!kWindows && (c == '"' || c == '\\' || c == '$' || c == '`')) quoted += '\\';
            quoted += c;
        }
        return "tevrin studio " + quoted + "\"";
    }

    json BuildState() {
        std::lock_guard lock(build_lock_);
        return build_state_;
    }

    void StartBuild(const std::vector<std::string>& targets) {
        if (targets.empty()) throw EError(msg::kNoTargets);
        for (const std::string& target : targets)
            if (target != "windows" && target != "linux")
                throw EError(msg::kNoSuchTarget, {target});
        std::vector<std::pair<TPackJob, std::string>> jobs;
        {
            std::lock_guard lock(project_lock_);
            if (project_.Pictures().empty()) throw EError(msg::kBuildWithoutPictures);
            for (const TItem& item : project_.Pictures())
                if (!item.Problem.empty())
                    throw EError(msg::kCannotReadPicture, {item.Name, item.Problem});
            for (const std::string& target : targets) {
                std::string output = project_.BuildOutput(target);
                // Both savers of one build need names of their own.
                for (const auto& [other, other_target] : jobs)
                    if (other.Output == output) throw EError(msg::kSaversShareName, {output});
                jobs.emplace_back(project_.Job(output, target), target);
            }
        }
        std::lock_guard lock(build_lock_);
        if (building_) throw EError(msg::kBuildRunning);
        if (builder_.joinable()) builder_.join();
        building_ = true;
        int total = 0;
        for (const auto& [job, target] : jobs)
            total += static_cast<int>(job.Pictures.size() + job.Sounds.size() + job.Movies.size());
        build_state_ = {{"running", true}, {"done", 0},   {"total", total},
                        {"what", ""},      {"error", ""}, {"outputs", json::array()}};
        builder_ = std::thread([this, jobs = std::move(jobs), total]() mutable {
            int before = 0;
            json outputs = json::array();
            std::string error;
            for (auto& [job, target] : jobs) {
                const std::string output = job.Output;
                const int items =
                    static_cast<int>(job.Pictures.size() + job.Sounds.size() + job.Movies.size());
                try {
                    PackSaver(std::move(job), [&](int done, int, const std::string& what) {
                        std::lock_guard lock(build_lock_);
                        build_state_["done"] = before + done;
                        build_state_["what"] = what;
                    });
                } catch (const std::exception& e) {
                    error = e.what();
                    break;
                }
                before += items;
                {
                    std::lock_guard lock(project_lock_);
                    try {
                        project_.RecordBuild(output, target);
                    } catch (const EError& e) {
                        error = e.what();
                    }
                }
                std::error_code size_error;
                std::lock_guard lock(build_lock_);
                outputs.push_back(
                    {{"target", target},
                     {"name", Utf8Of(PathOf(output).filename())},
                     {"path", output},
                     {"bytes", std::filesystem::file_size(PathOf(output), size_error)},
                     {"download", "api/builds/download?file=" +
                                      PercentEncoded(Utf8Of(PathOf(output).filename()))}});
            }
            std::lock_guard lock(build_lock_);
            build_state_ = {{"running", false}, {"done", error.empty() ? total : before},
                            {"total", total},   {"what", ""},
                            {"error", error},   {"outputs", outputs}};
            building_ = false;
        });
    }
};

std::optional<std::string> RunningStudioAddress(const std::string& manifest,
                                                const std::string& session_folder) {
    const std::filesystem::path folder = PathOf(manifest).parent_path();
    const std::filesystem::path lock_path = folder / kProjectLockName;
    std::error_code error;
    if (!std::filesystem::exists(lock_path, error)) return std::nullopt;
    {
        // Whoever holds the lock runs; a lock file nobody holds is left over.
        const TFile probe(Utf8Of(lock_path), TFile::TMode::LockExclusive);
        if (probe.IsOpen()) return std::nullopt;
    }
    const std::optional<TSession> session = TSessionStore(session_folder).Read(Utf8Of(folder));
    if (!session) return std::nullopt;
    return "http://127.0.0.1:" + std::to_string(session->Port) + "/s/" + session->Token + "/";
}

std::string WriteOpeningPage(const std::string& address, TTempFolder& folder) {
    folder.Create();
    const std::string path = folder.PathFor("open-tevrin-studio.html");
    const std::string page = "<!doctype html>\n<html><head><meta charset=\"utf-8\">\n"
                             "<meta name=\"referrer\" content=\"no-referrer\">\n"
                             "<meta http-equiv=\"refresh\" content=\"0; url=" +
                             address +
                             "\">\n"
                             "<title>Tevrin Studio</title></head>\n"
                             "<body><p><a href=\"" +
                             address + "\">Open Tevrin Studio</a></p></body></html>\n";
    if (!ReplaceFileContents(path, page))
        throw EError(Format(msg::kCannotCreateFile, {path}) + ": " + LastErrorText());
    return path;
}

TStudioServer::TStudioServer(const TStudioOptions& options)
    : impl_(std::make_unique<TImpl>(options)) {}

TStudioServer::~TStudioServer() = default;

int TStudioServer::Port() const {
    return impl_->port_;
}

const std::string& TStudioServer::Token() const {
    return impl_->token_;
}

std::string TStudioServer::Address() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port_) + impl_->prefix_ + "/";
}

void TStudioServer::Run() {
    impl_->http_.listen_after_bind();
}

void TStudioServer::Start() {
    impl_->serving_ = std::thread([this] { impl_->http_.listen_after_bind(); });
    while (!impl_->http_.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TStudioServer::Stop() {
    impl_->http_.stop();
    if (impl_->serving_.joinable()) impl_->serving_.join();
}

} // namespace tevrin::studio

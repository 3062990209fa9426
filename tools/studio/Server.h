// SPDX-License-Identifier: MIT
// `tevrin studio`: a web server on the loopback address that serves the
// Studio page and the project behind it. It reads and writes the user's
// files, so it answers only to requests that carry the session's random
// token in their path, name this server in their Host header and, when they
// come from a page, come from this server's own page (Origin).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace tevrin {
class TTempFolder;
}

namespace tevrin::studio {

struct TStudioOptions {
    std::string Manifest;                           // the project file (ProjectManifestPath)
    int Port = 0;                                   // 0: a free one
    std::string Token;                              // empty: 32 random hex digits
    std::size_t MaxUpload = std::size_t{100} << 20; // bytes one upload may have
    // Where sessions are kept (TSessionStore); empty: the user's own.
    std::string SessionFolder;
};

// The file a Studio holds locked in its project's folder while it runs.
inline constexpr const char* kProjectLockName = ".tevrin-studio.lock";

// The address of the Studio that has the project of `manifest` open now,
// as its session file keeps it; nothing when none has, or its address is
// not known.
std::optional<std::string> RunningStudioAddress(const std::string& manifest,
                                                const std::string& session_folder = {});

class TStudioServer {
public:
    // Opens the project and binds the port (the port and the token the
    // project's last session had, where neither is given and the port is
    // free, so the address stays the same); raises EError when either fails
    // or another Studio has the project's folder open.
    explicit TStudioServer(const TStudioOptions& options);
    ~TStudioServer();
    TStudioServer(const TStudioServer&) = delete;
    TStudioServer& operator=(const TStudioServer&) = delete;

    int Port() const;
    const std::string& Token() const;
    // The page's address, token included: http://127.0.0.1:PORT/s/TOKEN/
    std::string Address() const;

    // Serves until Stop (from another thread) ends it.
    void Run();
    // Serves on a thread of its own; Stop or the destructor ends it.
    void Start();
    void Stop();

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// Writes a page into `folder` (made private to this user when it is not
// there yet) that sends the browser on to `address`, and returns its path:
// what is handed to the browser, so the address's token appears in no
// process's arguments. Raises EError when it cannot be written.
std::string WriteOpeningPage(const std::string& address, TTempFolder& folder);

} // namespace tevrin::studio

// SPDX-License-Identifier: MIT
// Where a project's Studio is found: its port and session token, kept per
// project in a file only the user can read, so a Studio started again on
// the same project serves the same address (open tabs and bookmarks go on
// working) and a second start can hand over to the Studio that runs.
#pragma once

#include <optional>
#include <string>

namespace tevrin::studio {

struct TSession {
    int Port = 0;
    std::string Token;
};

class TSessionStore {
public:
    // Sessions are kept in `folder` (made private to this user when
    // missing); empty: the user's configuration folder's "studio".
    explicit TSessionStore(std::string folder = {});

    // The file that holds the session of the project in `project_folder`.
    std::string FileFor(const std::string& project_folder) const;
    // The session last kept for the project; nothing when none was, or the
    // file is not this user's own or not ours.
    std::optional<TSession> Read(const std::string& project_folder) const;
    // Keeps it, readable by this user only. False when it cannot be
    // written (the Studio runs on; only the next start gets another address).
    bool Write(const std::string& project_folder, const TSession& session) const;

private:
    std::string folder_;
};

} // namespace tevrin::studio

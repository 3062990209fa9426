// SPDX-License-Identifier: MIT
// The runtime stub a pack puts in front of the payload: where to find it and
// whether it is fit to ship.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tevrin {

// The file name of the runtime for `target` ("windows" or "linux").
std::string RuntimeFileName(const std::string& target);

// Where the runtime for `target` may be, in the order tried, for a tool in
// `tool_dir`: beside the tool, where an installed tree keeps it
// (../lib/tevrin), and where our build tree puts it (../../TARGET/tools,
// the build of that platform beside the tool's own).
std::vector<std::string> RuntimeStubCandidates(const std::string& tool_dir,
                                               const std::string& target);

// The first candidate that exists. Raises EError naming every place looked
// in when none does.
std::string FindRuntimeStub(const std::string& tool_dir, const std::string& target);

// The bytes of debug information an executable carries: its sections named
// .debug* or .zdebug* (ELF or PE). 0 for a stripped one or anything else.
std::uint64_t DebugInformationBytes(std::span<const std::uint8_t> image);
// The same for a file; 0 when it is no regular file or cannot be read.
std::uint64_t DebugInformationBytesOf(const std::string& path);

} // namespace tevrin

// SPDX-License-Identifier: MIT
#include "tools/Runtime.h"

#include "base/System.h"
#include "tests/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tevrin {
namespace {

namespace fs = std::filesystem;

TEST(Runtime, TheStubIsFoundBesideTheToolInAnInstalledTreeAndInOurBuildTree) {
    test::TScratchDir dir;
    const fs::path root = dir.Path();
    auto touch = [](const fs::path& path) {
        fs::create_directories(path.parent_path());
        test::WriteBytes(path.string(), test::AsBytes("MZ"));
    };
    const std::string build_tools = (root / "build" / "linux" / "tools").string();
    fs::create_directories(build_tools);

    // Nothing anywhere: every place looked in is named.
    const std::string error = test::ErrorOf([&] { FindRuntimeStub(build_tools, "windows"); });
    for (const std::string& place : RuntimeStubCandidates(build_tools, "windows"))
        EXPECT_NE(error.find(place), std::string::npos) << error;
    EXPECT_NE(error.find("--stub"), std::string::npos);

    // The Windows build beside the Linux one.
    const fs::path built = root / "build" / "windows" / "tools" / "tevrin-saver.exe";
    touch(built);
    EXPECT_EQ(fs::path(FindRuntimeStub(build_tools, "windows")), built);
    // The tool's own platform from its own folder, before anything else.
    touch(fs::path(build_tools) / "tevrin-saver.exe");
    EXPECT_EQ(fs::path(FindRuntimeStub(build_tools, "windows")),
              fs::path(build_tools) / "tevrin-saver.exe");

    // An installed tree: bin/tevrin and lib/tevrin/.
    const fs::path installed = root / "usr" / "lib" / "tevrin" / "tevrin-saver";
    touch(installed);
    EXPECT_EQ(fs::path(FindRuntimeStub((root / "usr" / "bin").string(), "linux")), installed);
    // A folder of that name is no runtime.
    fs::create_directories(root / "usr" / "bin" / "tevrin-saver");
    EXPECT_EQ(fs::path(FindRuntimeStub((root / "usr" / "bin").string(), "linux")), installed);
}

TEST(Runtime, DebugInformationIsSeenInUnstrippedExecutablesOnly) {
    // This test program is built with debug information; a release build
    // strips the runtime next to the tools.
    const test::TBytes own = test::ReadBytes(ModuleFileName());
    EXPECT_GT(DebugInformationBytes(own), 100000u);
    const fs::path tests_dir = fs::path(ModuleFileName()).parent_path();
    const fs::path runtime =
        tests_dir / ".." / "tools" /
        RuntimeFileName(fs::path(ModuleFileName()).extension() == ".exe" ? "windows" : "linux");
    ASSERT_TRUE(fs::exists(runtime)) << runtime;
#ifdef TEVRIN_STRIP_RUNTIME
    EXPECT_EQ(DebugInformationBytesOf(runtime.string()), 0u);
    EXPECT_GT(DebugInformationBytesOf(runtime.string() + ".debug"), 100000u);
#else
    EXPECT_GT(DebugInformationBytesOf(runtime.string()), 100000u);
#endif

    // Cut anywhere in its headers, an executable reads as nothing or as
    // less, never past its end.
    for (std::size_t size = 0; size < 4096 && size < own.size(); size += 7)
        EXPECT_LE(DebugInformationBytes(std::span(own.data(), size)), size);
    EXPECT_EQ(DebugInformationBytes(test::AsBytes("MZ but nothing more")), 0u);
    EXPECT_EQ(DebugInformationBytesOf(tests_dir.string()), 0u);
}

} // namespace
} // namespace tevrin

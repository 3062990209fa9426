// SPDX-License-Identifier: MIT
// The portable part of the OS services: what needs no system call.
#include "base/System.h"

#include "base/Errors.h"
#include "base/Paths.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tevrin {

TFile::TFile(TFile&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kInvalid;
}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = kInvalid;
    }
    return *this;
}

TFile::~TFile() {
    Close();
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::error_code error;
    // A FIFO or a device would keep the read waiting.
    if (std::filesystem::exists(PathOf(path), error) &&
        !std::filesystem::is_regular_file(PathOf(path), error))
        throw EError(msg::kNotRegularFile, {path});
    std::ifstream in(PathOf(path), std::ios::binary);
    if (!in) throw EError(msg::kCannotOpenFile, {path});
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace tevrin

// The portable part of the OS services: what needs no system call.
#include "base/System.h"

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

} // namespace tevrin

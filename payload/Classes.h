// SPDX-License-Identifier: MIT
// The classes registered for reading a stream by class name.
#pragma once

#include "payload/Stream.h"

#include <memory>
#include <string_view>

namespace tevrin {

// A new object of the registered class of that name, or null.
std::unique_ptr<TComponent> CreateRegisteredClass(std::string_view class_name);

} // namespace tevrin

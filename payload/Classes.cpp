// SPDX-License-Identifier: MIT
#include "payload/Classes.h"

#include "payload/Image.h"
#include "payload/SSFileLocations.h"

namespace tevrin {

std::unique_ptr<TComponent> CreateRegisteredClass(std::string_view class_name) {
    if (SameText(class_name, "TSSFileLocations")) return std::make_unique<TSSFileLocations>();
    if (SameText(class_name, "TImage")) return std::make_unique<TImage>();
    return nullptr;
}

} // namespace tevrin

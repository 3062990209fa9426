// SPDX-License-Identifier: MIT
// What `tevrin inspect` reports of a saver file or a bare component stream,
// built as JSON; the text form is made from the same JSON.
#pragma once

#include "payload/Stream.h"

#include <nlohmann/json.hpp>
#include <string>

namespace tevrin {

// The root's class name and its published properties under their own names:
// comma lists as arrays of entries, TextFont as an object of its
// sub-properties; for a picture record its graphic class, width, height and
// the byte length and SHA-256 of the stored JPEG data.
nlohmann::ordered_json ComponentToJson(const TComponent& component);

// The trailer, the record and a table of every stored item.
nlohmann::ordered_json InspectSaver(const std::string& path);

// Reads a bare stream of either registered class.
nlohmann::ordered_json InspectStream(const std::string& path);

std::string SaverReport(const nlohmann::ordered_json& saver);
std::string StreamReport(const nlohmann::ordered_json& component);

} // namespace tevrin

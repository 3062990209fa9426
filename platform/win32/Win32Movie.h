// SPDX-License-Identifier: MIT
// The movie player ActiveX control, hosted in a window of ours by a small
// OLE container and driven through IDispatch by member name.
#pragma once

#include "ui/Services.h"

#include <memory>

namespace tevrin {

// Null when the control's class is not registered (every current system).
std::unique_ptr<TMoviePlayerControl> CreateFlashControl(TWindowId parent);

} // namespace tevrin

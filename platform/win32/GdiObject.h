// Sole owner of one GDI object (a brush, a palette): deleted with DeleteObject when the owner
// goes; a null object owns nothing.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace orvane::platform {

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
template <typename Handle>
using GdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;

}  // namespace orvane::platform

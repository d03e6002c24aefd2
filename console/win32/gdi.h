// GDI objects owned RAII-style.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace kavrelo::console::win32 {

struct GdiObjectDeleter {
    void operator()(void* object) const noexcept { DeleteObject(static_cast<HGDIOBJ>(object)); }
};

using OwnedBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
using OwnedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

}  // namespace kavrelo::console::win32

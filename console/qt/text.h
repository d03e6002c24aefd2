// SPDX-License-Identifier: MIT
// The core's UTF-16 text and Qt's strings are the same code units.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace kavrelo::console::qt {

inline QString to_qstring(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::u16string to_u16string(const QString& text) { return text.toStdU16String(); }

}  // namespace kavrelo::console::qt

// SPDX-License-Identifier: MIT
// Windows builds have no zip reader yet: a zip is refused, with what to do.
#include "unpacking.h"

namespace kavrelo::zavlek_call {

std::optional<std::string> unpack_zip(const std::string&, const std::string&, const UnpackLimits&) {
    return "en Windows no se descomprimen zips: descomprima la entrega antes de calificarla";
}

}  // namespace kavrelo::zavlek_call

// SPDX-License-Identifier: MIT
#include "core/fuzzing/finding_folder.h"

namespace kavrelo::zavlek_call {

std::string file_error_words(std::error_code error) {
    if (error == std::errc::no_space_on_device) return "el disco está lleno";
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted) {
        return "no hay permiso para escribir en ella";
    }
    if (error == std::errc::read_only_file_system) return "está en un sistema de archivos de solo lectura";
    if (error == std::errc::not_a_directory) return "no es una carpeta";
    if (error == std::errc::no_such_file_or_directory) return "no se pudo crear ni escribir en ella";
    if (error == std::errc::filename_too_long) return "el nombre es demasiado largo";
    if (error == std::errc::too_many_files_open) return "hay demasiados archivos abiertos";
    return "error del sistema " + std::to_string(error.value());
}

}  // namespace kavrelo::zavlek_call

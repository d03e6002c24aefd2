// SPDX-License-Identifier: MIT
// Which library the tool works on: the one the window would find, or a file
// named on the command line.
#pragma once

#include <binding/loader.h>

#include <memory>
#include <string>

namespace kavrelo::zavlek_call {

// The system's loader when file is empty; otherwise one that loads that file
// (made absolute, so that it is never looked for) whatever name the binding
// asks for. Either way, what it binds is the library a crash's frames are
// looked for in (crashes_placed_in_image_of).
std::unique_ptr<binding::Loader> make_loader(const std::string& file);

// The file as the loader will be given it: absolute, or empty.
std::string absolute_library_file(const std::string& file);

// The file the children load, by its full path, for the reports to say which
// library answered: the one named, or the one the search takes (a library
// beside the program passes for the student's own too easily).
std::string loaded_library_in_words(const std::string& file);

}  // namespace kavrelo::zavlek_call

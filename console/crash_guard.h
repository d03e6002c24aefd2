// SPDX-License-Identifier: MIT
// A crash inside a library call reported before the program ends, instead
// of the window vanishing.
#pragma once

namespace kavrelo::console {

// From here on, a fatal signal on this thread while a LibraryCallWatch is
// alive starts `program` afresh to report it (with crash_report_from_environment)
// in place of this process; any other fatal signal ends the program as it
// would have. `program` must outlive the process (argv[0] does).
void guard_library_calls(const char* program);

}  // namespace kavrelo::console

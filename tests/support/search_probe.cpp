// SPDX-License-Identifier: MIT
// Loads the library by its bare name through the system loader, as the
// console does, and says whether that found it. Exit status 0 when the
// outcome is the expected one (argument "found" or "not_found"), 1 otherwise.
#include <binding/loader.h>
#include <binding/zavlek_library.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2 || (std::strcmp(argv[1], "found") != 0 && std::strcmp(argv[1], "not_found") != 0)) {
        std::fprintf(stderr, "usage: search_probe found|not_found\n");
        return 2;
    }
    const bool expected_found = std::strcmp(argv[1], "found") == 0;
    bool found = true;
    try {
        kavrelo::binding::make_system_loader()->load(std::string(kavrelo::binding::kZavlekFile));
        std::printf("loaded %s\n", kavrelo::binding::kZavlekFile.data());
    } catch (const kavrelo::binding::BindingError& error) {
        found = false;
        std::printf("%s\n", error.what());
    }
    return found == expected_found ? 0 : 1;
}

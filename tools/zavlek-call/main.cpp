// SPDX-License-Identifier: MIT
// zavlek-call: a Zavlek library from the command line, and its contract
// checked. Every call into the library happens in a child process (this
// program run again with --child), so that a library that crashes or hangs is
// reported and never takes the tool down. What each mode does is in the
// table of modes (modes.cpp).
#include "handlers.h"
#include "modes.h"
#include "platform.h"

#include <binding/loader.h>
#include <binding/wording.h>

#include <cstdio>
#include <exception>

namespace kavrelo::zavlek_call {
namespace {

// --child CHANNEL ROLE [WORDS] [OPTIONS]: the report on the channel, and the
// process ends with its status.
int run_child(const std::vector<std::string>& arguments) {
    if (arguments.size() < 3) return kWrongUsage;
    const std::string& channel = arguments[1];
    prepare_child_process(channel);
    // What the library prints reaches its reader as it is printed: a crash
    // loses nothing that waited in a buffer, the output for people most
    // needed then, and what it writes on both streams keeps its order.
    // (Windows' C runtime buffers standard error too, on a pipe.)
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    ChildReport report{kWrongUsage, {}};
    try {
        const ParsedOptions parsed = parse_options({arguments.begin() + 2, arguments.end()});
        if (const Mode* mode = mode_of_child(parsed.words.empty() ? "" : parsed.words[0])) {
            report = mode->in_child(channel, {parsed.words.begin() + 1, parsed.words.end()}, parsed.options);
        }
    } catch (const std::exception& error) {
        // Ours, not the library's: a crash of the library never throws.
        tell(error.what());
        report = {kInternalError, {}};
    }
    send_to_parent(channel, sealed(report));
    return report.status;
}

// Folders of the search the system would take from the current directory,
// which ours passes over: a user who put "." there expects it searched.
void say_passed_over_search_elements() {
    for (const std::string& element : binding::passed_over_search_elements()) {
        tell(binding::passed_over_words(element));
    }
}

int run(const std::vector<std::string>& arguments) {
    if (!arguments.empty() && arguments.front() == kChildFlag) return run_child(arguments);
    end_what_children_leave();
    try {
        const Request request = parse_command_line(arguments);
        if (request.mode == nullptr) {
            write_standard_output(help());
            return kDone;
        }
        if (request.options.library.empty()) say_passed_over_search_elements();
        return request.mode->perform(request.options);
    } catch (const CaseFormatError&) {
        return kWrongUsage;
    } catch (const UsageError& error) {
        tell(error.what());
        write_standard_error(short_usage());
        return kWrongUsage;
    } catch (const OutputNotWritten&) {
        tell("no se pudo escribir la salida estándar");
        return kOutputNotWritten;
    } catch (const std::exception& error) {
        // Ours, not the library's: the library's failures end the child.
        tell(error.what());
        return kInternalError;
    }
}

}  // namespace
}  // namespace kavrelo::zavlek_call

int main(int argc, char* argv[]) {
    kavrelo::zavlek_call::prepare_standard_streams();
    return kavrelo::zavlek_call::run(kavrelo::zavlek_call::utf8_arguments(argc, argv));
}

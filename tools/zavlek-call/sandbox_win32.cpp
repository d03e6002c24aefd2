// SPDX-License-Identifier: MIT
// Windows: the limits alone, by a job that holds this process and whatever
// it starts. What would confine files and the network (an AppContainer, a
// restricted token with folders opened to it) asks for profiles and access
// lists that an unprivileged program would have to set on the teacher's own
// folders; none is used yet, so nothing is offered.
#include "sandbox.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace kavrelo::zavlek_call {

std::optional<std::string> confinement_offered() { return std::nullopt; }

void confine_this_process(const Confinement&) {
    throw std::runtime_error("este sistema no ofrece un aislamiento que zavlek-call sepa usar");
}

// The job outlives its handle while a process is in it. Jobs nest (Windows 8
// and later): the job each child is put in by run_this_program sits inside
// this one, bound by its limits (Wine 8 nests them too, but grants memory
// beyond the limit). No job limits the size of a file.
void limit_this_process(const Confinement& confinement) {
    struct HandleCloser {
        void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
    };
    const std::unique_ptr<void, HandleCloser> job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_ACTIVE_PROCESS;
    limits.BasicLimitInformation.ActiveProcessLimit =
        static_cast<DWORD>(std::min<std::uint64_t>(confinement.most_processes, MAXDWORD));
    limits.ProcessMemoryLimit =
        static_cast<SIZE_T>(std::min<std::uint64_t>(confinement.most_memory_bytes, SIZE_MAX));
    if (!job ||
        !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job.get(), GetCurrentProcess())) {
        throw std::runtime_error("no se pudo limitar este proceso con un objeto de trabajo (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    if (confinement.before_sockets_refused) confinement.before_sockets_refused();
}

}  // namespace kavrelo::zavlek_call

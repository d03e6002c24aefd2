// SPDX-License-Identifier: MIT
#include "out_folder.h"

#include "platform.h"
#include "utf8_paths.h"

#include <filesystem>
#include <random>

namespace kavrelo::zavlek_call {
namespace {

// The folders made for the run, left empty, are taken away again: a run
// that finds nothing leaves nothing behind.
class OutFolder final : public FindingFolder {
public:
    OutFolder(std::string folder, std::size_t made) : folder_(std::move(folder)), made_(made) {}
    ~OutFolder() override {
        std::error_code error;
        std::filesystem::path made = path_of(folder_);
        for (std::size_t i = 0; i < made_ && !written_ && !error; ++i, made = made.parent_path()) {
            std::filesystem::remove(made, error);
        }
    }
    OutFolder(const OutFolder&) = delete;
    OutFolder& operator=(const OutFolder&) = delete;

    Created create_new(const std::string& name, std::string_view bytes) override {
        const Created created = create_new_file(folder_ + "/" + name, bytes);
        written_ = written_ || created.creation == Creation::written;
        return created;
    }

private:
    std::string folder_;
    std::size_t made_;  // how many folders of the path, from its end
    bool written_ = false;
};

// A file written and taken away again: what a finding will meet.
std::error_code tried(const std::string& path) {
    std::random_device random;
    for (;;) {
        const std::string probe = ".zavlek-call-" + std::to_string(random()) + ".txt";
        const FindingFolder::Created created = create_new_file(path + "/" + probe, "zavlek-call\n");
        if (created.creation == FindingFolder::Creation::name_taken) continue;
        if (created.creation == FindingFolder::Creation::failed) return created.error;
        std::error_code ignored;
        std::filesystem::remove(path_of(path) / path_of(probe), ignored);
        return {};
    }
}

}  // namespace

std::unique_ptr<FindingFolder> prepared_out_folder(const std::string& folder) {
    const std::filesystem::path path = path_of(folder);
    std::error_code error;
    if (std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error)) {
        throw UnusableFolder{std::make_error_code(std::errc::not_a_directory)};
    }
    std::size_t made = 0;
    for (std::filesystem::path missing = path.lexically_normal();
         !missing.empty() && !std::filesystem::exists(missing, error); missing = missing.parent_path()) {
        ++made;
        if (missing == missing.parent_path()) break;
    }
    std::filesystem::create_directories(path, error);
    if (error) throw UnusableFolder{error};
    auto out = std::make_unique<OutFolder>(folder, made);
    if (const std::error_code refused = tried(folder)) throw UnusableFolder{refused};
    return out;
}

}  // namespace kavrelo::zavlek_call

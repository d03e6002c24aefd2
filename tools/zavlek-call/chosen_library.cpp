// SPDX-License-Identifier: MIT
#include "chosen_library.h"

#include "platform.h"
#include "utf8_paths.h"

#include <binding/entry_points.h>

#include <filesystem>
#include <optional>

namespace kavrelo::zavlek_call {
namespace {

class ChosenFileLoader final : public binding::Loader {
public:
    explicit ChosenFileLoader(std::string file) : file_(std::move(file)) {}

    // The system's reasons assume a library looked for by name; a file named
    // on the command line that is not there is simply not there.
    std::unique_ptr<binding::LoadedLibrary> load(const std::string&) override {
        std::error_code error;
        if (!std::filesystem::exists(path_of(file_), error)) {
            binding::LoadFailure missing;
            missing.cause = binding::LoadFailure::Cause::named_file_missing;
            missing.file = file_;
            throw binding::BindingError(std::move(missing));
        }
        return system_->load(file_);
    }

private:
    std::string file_;
    std::unique_ptr<binding::Loader> system_ = binding::make_system_loader();
};

// Every entry point bound marks the image that holds it as the library whose
// frames a crash names.
class PlacingLibrary final : public binding::LoadedLibrary {
public:
    explicit PlacingLibrary(std::unique_ptr<binding::LoadedLibrary> library) : library_(std::move(library)) {}
    Lookup find(const std::string& entry_point) override {
        Lookup found = library_->find(entry_point);
        if (found.address != nullptr) crashes_placed_in_image_of(found.address);
        return found;
    }
    std::string location() const override { return library_->location(); }

private:
    std::unique_ptr<binding::LoadedLibrary> library_;
};

class PlacingLoader final : public binding::Loader {
public:
    explicit PlacingLoader(std::unique_ptr<binding::Loader> loader) : loader_(std::move(loader)) {}
    std::unique_ptr<binding::LoadedLibrary> load(const std::string& file) override {
        return std::make_unique<PlacingLibrary>(loader_->load(file));
    }

private:
    std::unique_ptr<binding::Loader> loader_;
};

}  // namespace

std::string absolute_library_file(const std::string& file) {
    if (file.empty()) return {};
    // UTF-8 both ways, whatever the system's code page.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path_of(file), error);
    if (error) return file;
    return utf8_of(absolute.lexically_normal());
}

std::string loaded_library_in_words(const std::string& file) {
    if (!file.empty()) return absolute_library_file(file);
    const std::string name(binding::kZavlekFile);
    const std::optional<std::filesystem::path> found = binding::file_the_search_takes(name);
    if (!found) return name + " (en ninguna carpeta de la búsqueda)";
    return utf8_of(*found);
}

std::unique_ptr<binding::Loader> make_loader(const std::string& file) {
    if (file.empty()) return std::make_unique<PlacingLoader>(binding::make_system_loader());
    return std::make_unique<PlacingLoader>(std::make_unique<ChosenFileLoader>(absolute_library_file(file)));
}

}  // namespace kavrelo::zavlek_call

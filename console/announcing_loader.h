// SPDX-License-Identifier: MIT
// A loader that tells, once a library is loaded, the file the system loaded:
// a student whose own library is passed over by the search sees which file
// answers instead.
#pragma once

#include <binding/loader.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace kavrelo::console {

class AnnouncingLoader final : public binding::Loader {
public:
    using Loaded = std::function<void(const std::string& location)>;

    AnnouncingLoader(std::unique_ptr<binding::Loader> loader, Loaded loaded)
        : loader_(std::move(loader)), loaded_(std::move(loaded)) {}

    std::unique_ptr<binding::LoadedLibrary> load(const std::string& file) override {
        std::unique_ptr<binding::LoadedLibrary> library = loader_->load(file);
        loaded_(library->location());
        return library;
    }

private:
    std::unique_ptr<binding::Loader> loader_;
    Loaded loaded_;
};

}  // namespace kavrelo::console

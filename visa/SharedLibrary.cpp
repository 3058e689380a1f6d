#include "visa/SharedLibrary.h"

#include <dlfcn.h>
#include <utility>

namespace visa {

std::optional<SharedLibrary> SharedLibrary::openFirst(std::initializer_list<const char*> names,
                                                      std::string* whyNot) {
    for (const char* name : names) {
        // RTLD_LOCAL keeps the library's symbols (and those of its fakes in tests) out of the way of
        // anything else the process loads.
        if (void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)) {
            return SharedLibrary(handle, name);
        }
        if (whyNot != nullptr) {
            const char* error = dlerror();
            if (!whyNot->empty()) {
                *whyNot += "; ";
            }
            *whyNot += error != nullptr ? error : name;
        }
    }
    return std::nullopt;
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), name_(std::move(other.name_)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
        handle_ = std::exchange(other.handle_, nullptr);
        name_ = std::move(other.name_);
    }
    return *this;
}

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

void* SharedLibrary::findSymbol(const char* symbol) const {
    return handle_ != nullptr ? dlsym(handle_, symbol) : nullptr;
}

} // namespace visa

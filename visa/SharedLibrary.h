#pragma once

#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>

namespace visa {

// A shared library loaded at run time (dlopen), unloaded when the object goes. Pinwright never links
// against instrument I/O libraries: they are optional on a bench machine, and their absence must
// only close the doors they open.
class SharedLibrary {
public:
    // The first of names that the system's library search path can load; nullopt when none can.
    // whyNot (when given) receives the loader's own words for each name that failed.
    static std::optional<SharedLibrary> openFirst(std::initializer_list<const char*> names,
                                                  std::string* whyNot = nullptr);

    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();

    const std::string& name() const { return name_; }

    // nullptr when the library does not export the symbol.
    void* findSymbol(const char* symbol) const;

    // A function the library must export; throws std::runtime_error naming the library and symbol.
    template <typename Function> Function requireFunction(const char* symbol) const {
        void* address = findSymbol(symbol);
        if (address == nullptr) {
            throw std::runtime_error(name_ + " does not export " + symbol +
                                     " (an incomplete or incompatible installation)");
        }
        return reinterpret_cast<Function>(address);
    }

    template <typename Function> Function optionalFunction(const char* symbol) const {
        return reinterpret_cast<Function>(findSymbol(symbol));
    }

private:
    SharedLibrary(void* handle, std::string name) : handle_(handle), name_(std::move(name)) {}

    void* handle_ = nullptr;
    std::string name_;
};

} // namespace visa

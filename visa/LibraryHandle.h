#pragma once

#include <memory>
#include <utility>

namespace visa {

// A handle that a driver library loaded at run time gave out (a linux-gpib device descriptor, a VISA
// session), handed back to that library when dropped. The library stays loaded while the handle lives.
// Move-only.
template <typename Library, typename Handle> class LibraryHandle {
public:
    using Release = void (*)(const Library& library, Handle handle);

    LibraryHandle() = default;
    LibraryHandle(std::shared_ptr<const Library> library, Handle handle, Release release)
        : library_(std::move(library)), handle_(handle), release_(release) {}
    ~LibraryHandle() { reset(); }
    LibraryHandle(LibraryHandle&& other) noexcept
        : library_(std::move(other.library_)), handle_(other.handle_), release_(other.release_) {}
    LibraryHandle& operator=(LibraryHandle&& other) noexcept {
        if (this != &other) {
            reset();
            library_ = std::move(other.library_);
            handle_ = other.handle_;
            release_ = other.release_;
        }
        return *this;
    }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;

    bool valid() const { return library_ != nullptr; }
    Handle get() const { return handle_; }

    void reset() noexcept {
        if (library_) {
            release_(*library_, handle_);
            library_.reset();
        }
    }

private:
    std::shared_ptr<const Library> library_;
    Handle handle_{};
    Release release_ = nullptr;
};

} // namespace visa

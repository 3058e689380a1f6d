#pragma once

#include <string>

namespace visa {
class MessageSession;
}

namespace transport {

// The instrument's exclusive lock while the holder lives: released when it goes, or earlier by
// release(). An empty holder (the transport has no lock, or it was released) releases nothing.
class ExclusiveLock {
public:
    ExclusiveLock() = default;
    ExclusiveLock(visa::MessageSession& session, std::string resource);
    ~ExclusiveLock();
    ExclusiveLock(ExclusiveLock&& other) noexcept;
    ExclusiveLock& operator=(ExclusiveLock&& other) noexcept;
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

    bool held() const { return session_ != nullptr; }
    // Releases the lock now; a failure is InstrumentLost. The destructor releases quietly instead: an
    // instrument that cannot be told drops the lock with the session.
    void release();

private:
    visa::MessageSession* session_ = nullptr;
    std::string resource_;
};

} // namespace transport

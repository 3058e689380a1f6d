#include "simbackend/BoardStateFile.h"

#include "base/FileDescriptor.h"
#include "simbackend/BoardStateText.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace simbackend {
namespace {

constexpr const char* kStateSuffix = ".state";

[[noreturn]] void failOn(const std::filesystem::path& path, const std::string& what, int error) {
    throw std::runtime_error(path.string() + ": " + what + ": " + std::strerror(error));
}

// Made for this user alone, as the XDG base directories are; one that exists must be this user's and
// writable by no one else, since whoever can write there decides what the boards hold.
void requireOwnDirectory(const std::filesystem::path& directory) {
    std::filesystem::path made;
    for (const auto& part : directory) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST)
            failOn(made, "cannot make the directory", errno);
    }
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0)
        failOn(directory, "cannot use the directory", errno);
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid() ||
        (status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw std::runtime_error(directory.string() +
                                 ": not a directory of this user's that only this user can write to");
}

// Held while it lives: the exclusive lock of one board's state.
base::FileDescriptor lockBoard(const std::filesystem::path& lockPath) {
    base::FileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lock.valid())
        failOn(lockPath, "cannot open the lock file", errno);
    // The lock is held only for one message's load, run and save, so the wait is that short.
    while (::flock(lock.get(), LOCK_EX) != 0)
        if (errno != EINTR)
            failOn(lockPath, "cannot lock", errno);
    return lock;
}

bool isStateFileName(const std::string& name) {
    constexpr std::string_view kPrefix = "board";
    const std::string_view suffix = kStateSuffix;
    if (!name.starts_with(kPrefix) || !name.ends_with(suffix) ||
        name.size() == kPrefix.size() + suffix.size())
        return false;
    for (std::size_t i = kPrefix.size(); i < name.size() - suffix.size(); ++i)
        if (name[i] < '0' || name[i] > '9')
            return false;
    return true;
}

} // namespace

BoardStateFile::BoardStateFile(std::filesystem::path directory, unsigned board)
    : directory_(std::move(directory)),
      statePath_(directory_ / ("board" + std::to_string(board) + kStateSuffix)),
      lockPath_(directory_ / ("board" + std::to_string(board) + ".lock")) {}

std::optional<sim::PortState> BoardStateFile::load() const {
    // No following a link, no waiting on a pipe: the file is whatever someone left there.
    const base::FileDescriptor file(
        ::open(statePath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!file.valid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid() || status.st_size > static_cast<off_t>(kMaxBoardStateBytes))
        return std::nullopt;
    std::string text(kMaxBoardStateBytes + 1, '\0');
    std::size_t length = 0;
    while (length < text.size()) {
        const ssize_t got = ::read(file.get(), text.data() + length, text.size() - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        length += static_cast<std::size_t>(got);
    }
    text.resize(length);
    return boardStateFromText(text);
}

void BoardStateFile::save(const sim::PortState& state) const {
    std::string temporary = statePath_.string() + ".XXXXXX";
    base::FileDescriptor file(::mkstemp(temporary.data()));
    if (!file.valid())
        failOn(temporary, "cannot write", errno);
    const std::string text = boardStateText(state);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t put = ::write(file.get(), text.data() + written, text.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            const int error = put < 0 ? errno : ENOSPC;
            ::unlink(temporary.c_str());
            failOn(temporary, "cannot write", error);
        }
        written += static_cast<std::size_t>(put);
    }
    file.reset();
    if (::rename(temporary.c_str(), statePath_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        failOn(statePath_, "cannot replace", error);
    }
}

void BoardStateFile::update(sim::Mainframe& mainframe, const std::function<void()>& change) const {
    requireOwnDirectory(directory_);
    const base::FileDescriptor lock = lockBoard(lockPath_);
    if (const auto saved = load()) {
        try {
            mainframe.setState(*saved);
        } catch (const std::invalid_argument&) {
            // Words the file's check passed but the port refuses: ignored like any other unusable file.
        }
    }
    const sim::PortState before = mainframe.state();
    change();
    if (const sim::PortState after = mainframe.state(); after != before)
        save(after);
}

std::optional<std::filesystem::path> userStateDirectory() {
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    if (stateHome != nullptr && std::filesystem::path(stateHome).is_absolute())
        return std::filesystem::path(stateHome) / "pinwright";
    const char* home = std::getenv("HOME");
    if (home != nullptr && std::filesystem::path(home).is_absolute())
        return std::filesystem::path(home) / ".local" / "state" / "pinwright";
    return std::nullopt;
}

std::size_t forgetBoards(const std::filesystem::path& directory) {
    std::error_code error;
    std::filesystem::directory_iterator entries(directory, error);
    if (error == std::errc::no_such_file_or_directory)
        return 0;
    if (error)
        throw std::runtime_error(directory.string() + ": cannot read the directory: " + error.message());
    std::size_t forgotten = 0;
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (!isStateFileName(name))
            continue;
        const std::string board = name.substr(0, name.size() - std::strlen(kStateSuffix));
        const base::FileDescriptor lock = lockBoard(directory / (board + ".lock"));
        if (::unlink(entry.path().c_str()) != 0 && errno != ENOENT)
            failOn(entry.path(), "cannot remove", errno);
        ++forgotten;
    }
    return forgotten;
}

} // namespace simbackend

#pragma once

// ONC RPC record marking over TCP (RFC 5531, section 11): a record is sent as fragments, each behind
// a 4-byte mark whose top bit flags the last fragment and whose low 31 bits give its length.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace protocol {

inline constexpr std::uint32_t kLastFragmentBit = 0x80000000u;

// One record as fragments of at most maxFragment bytes (the last one flagged).
std::string encodeRecord(std::string_view payload, std::size_t maxFragment = 0x7FFFFFFFu);

// Joins records from bytes as they arrive, split anywhere (inside a mark too). A record that would
// grow beyond maxRecord is refused before its bytes are stored, whatever its marks announce.
class RecordAssembler {
public:
    explicit RecordAssembler(std::size_t maxRecord) : maxRecord_(maxRecord) {}

    // Throws DecodeError when a record exceeds the limit; the assembler is then unusable
    // (the stream has lost its framing) and must be discarded with its connection.
    void feed(std::string_view bytes);
    // The next complete record, if any.
    std::optional<std::string> nextRecord();
    // True while a record or mark is partly received.
    bool midRecord() const { return !pending_.empty() || !record_.empty() || fragmentLeft_ != 0; }

private:
    void finishRecord();

    std::size_t maxRecord_;
    std::string pending_;          // bytes not yet parsed (at most a partial mark)
    std::string record_;           // the record being assembled
    std::size_t fragmentLeft_ = 0; // bytes of the current fragment still to come
    bool lastFragment_ = false;
    bool inFragment_ = false;
    std::deque<std::string> ready_; // complete records in arrival order
};

} // namespace protocol

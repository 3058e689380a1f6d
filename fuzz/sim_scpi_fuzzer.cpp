// Feeds arbitrary bytes through the simulator's SCPI path as raw-socket clients would send them: the
// framer, cut at chunk sizes taken from the input, then the whole mainframe with two client sessions.
// The first input byte sets the framer's message limit, the second the chunk size, the third which
// replies are read (an unread reply is interrupted by its session's next message), the fourth which
// session each message goes to. Checked on every message:
//  - the framer yields exactly the LF-separated messages of the stream (overlong ones reported once)
//    and holds no more than one message's worth of bytes between messages;
//  - a reply comes only for a message with a query, answers no more queries than the message asks,
//    and ends with its one LF;
//  - an unread reply that a new message of its session interrupts leaves an error behind, and the
//    other session's messages neither take nor discard it;
//  - the error queue never holds more than its depth, and the port stays in a state it can be put in;
//  - the traffic record ends with the messages and replies that went through, the latest kept.

#include "base/AsciiCase.h"
#include "sim/ClientSession.h"
#include "sim/ErrorQueue.h"
#include "sim/Mainframe.h"
#include "sim/MessageFramer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

// The framer's contract, read off the whole stream at once.
std::vector<sim::MessageFramer::Message> expectedMessages(std::string_view stream, std::size_t limit) {
    std::vector<sim::MessageFramer::Message> messages;
    std::size_t start = 0;
    for (std::size_t lf = stream.find('\n'); lf != std::string_view::npos; lf = stream.find('\n', start)) {
        std::string_view text = stream.substr(start, lf - start);
        if (text.ends_with('\r'))
            text.remove_suffix(1);
        if (text.size() > limit)
            messages.push_back({{}, true});
        else
            messages.push_back({std::string(text), false});
        start = lf + 1;
    }
    // Room is kept for the CR of a CR LF, so an unfinished message is refused only past that.
    if (stream.size() - start > limit + 1)
        messages.push_back({{}, true});
    return messages;
}

// Every query names itself with a "?", so the count of them bounds the answers a message can get.
std::size_t questionMarks(std::string_view text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '?'));
}

// Whether the message may have emptied the error queue (*CLS, SYSTem:ERRor?), in any spelling.
bool mayReadErrors(std::string_view text) {
    const std::string shouted = base::asciiUpper(text);
    return shouted.find("CLS") != std::string::npos || shouted.find("ERR") != std::string::npos;
}

bool endsWith(const std::vector<std::string>& all, const std::vector<std::string>& tail) {
    return tail.size() <= all.size() &&
           std::equal(tail.begin(), tail.end(), all.end() - static_cast<std::ptrdiff_t>(tail.size()));
}

// What went through the mainframe from all sessions, in order, for comparison with its record.
struct Traffic {
    std::vector<std::string> received;
    std::vector<std::string> sent;
};

class Client {
public:
    Client(sim::Mainframe& mainframe, Traffic& traffic)
        : mainframe_(mainframe), session_(mainframe), traffic_(traffic) {}

    bool replyPending() const { return session_.replyPending(); }

    void deliver(const sim::MessageFramer::Message& message, bool read, Client& other) {
        if (message.tooLong) {
            session_.queueError(sim::errors::kTooMuchData); // what the socket server does
            checkInstrument();
            return;
        }
        const bool interrupting = session_.replyPending();
        const bool otherPending = other.replyPending();
        const std::size_t errorsBefore = mainframe_.errorCount();
        session_.receive(message.text);
        traffic_.received.push_back(message.text);

        const std::size_t queries = questionMarks(message.text);
        require(queries > 0 || !session_.replyPending());
        require(other.replyPending() == otherPending); // another client's message leaves its reply alone
        if (interrupting && !mayReadErrors(message.text))
            require(mainframe_.errorCount() >= std::min(errorsBefore + 1, sim::ErrorQueue::kCapacity));

        if (read) {
            if (const auto reply = session_.takeReply()) {
                const std::string& bytes = reply->bytes;
                require(queries > 0);
                require(bytes.ends_with('\n') && bytes.find('\n') == bytes.size() - 1);
                const auto answers =
                    static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), ';')) + 1;
                require(answers <= queries);
                traffic_.sent.push_back(bytes);
            }
        }
        checkInstrument();
    }

private:
    void checkInstrument() {
        require(mainframe_.errorCount() <= sim::ErrorQueue::kCapacity);
        const sim::PortState state = mainframe_.state();
        require(state.outputWord >= 0 && state.outputWord <= 127);
        try {
            mainframe_.setState(state);
        } catch (const std::invalid_argument&) {
            __builtin_trap(); // commands led the port somewhere the hardware cannot be
        }
    }

    sim::Mainframe& mainframe_;
    sim::ClientSession session_;
    Traffic& traffic_;
};

void checkRecord(sim::Mainframe& mainframe, const Traffic& traffic) {
    const auto received = mainframe.traffic().received();
    const auto sent = mainframe.traffic().sent();
    require(endsWith(traffic.received, received));
    require(endsWith(traffic.sent, sent));
    // The record may forget old traffic, never the latest.
    require(traffic.received.empty() || !received.empty());
    require(traffic.sent.empty() || !sent.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    const std::size_t limit = 8 + std::size_t{data[0]} * 2;
    const std::size_t chunk = 1 + data[1] % 64;
    const std::uint8_t readMask = data[2];
    const std::uint8_t sessionMask = data[3];
    const std::string_view stream(reinterpret_cast<const char*>(data + 4), size - 4);

    sim::Mainframe mainframe;
    Traffic traffic;
    Client first(mainframe, traffic);
    Client second(mainframe, traffic);
    sim::MessageFramer framer(limit);
    const auto expected = expectedMessages(stream, limit);
    std::size_t taken = 0;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        framer.append(stream.substr(at, chunk));
        while (auto message = framer.next()) {
            require(taken < expected.size());
            require(message->tooLong == expected[taken].tooLong && message->text == expected[taken].text);
            const bool read = (readMask >> (taken % 8)) & 1;
            const bool toSecond = (sessionMask >> (taken % 8)) & 1;
            ++taken;
            if (toSecond)
                second.deliver(*message, read, first);
            else
                first.deliver(*message, read, second);
        }
        require(framer.buffered() <= limit + 1);
    }
    require(taken == expected.size());
    checkRecord(mainframe, traffic);
    return 0;
}

#include "visa/FormattedIO488.h"

#include "visa/VisaError.h"

namespace visa {

MessageSession& FormattedIO488::IO() const {
    if (!io_)
        throw VisaError(VisaError::Kind::Closed, "no instrument session is open");
    return *io_;
}

void FormattedIO488::WriteString(std::string_view text, bool /*flushAndEnd*/) {
    // Every backend writes whole messages with END, so buffering without END is never wanted here.
    IO().write(text);
}

std::string FormattedIO488::ReadString() {
    return IO().read();
}

void FormattedIO488::FlushRead() {
    IO().flushRead();
}

std::string FormattedIO488::WriteStringsAndRead(std::initializer_list<std::string_view> texts) {
    return IO().writeAndRead(texts);
}

} // namespace visa

#pragma once

// The fixture of a table-driven test whose cases are shown by the member that says what each is about
// (a reply, a message, a resource), in failure messages and test listings instead of a dump of the
// struct's bytes:
//   struct Row { const char* reply; const char* bits; };
//   class NumberToBitsRows : public test_cases::Table<Row, &Row::reply> {};
// A test with a fixture of its own names it last: test_cases::Table<Row, &Row::reply, SessionTest>.

#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

namespace test_cases {

// A case as the table's rows give it, made printable by its label.
template <typename Case, auto Label> struct Shown : Case {
    Shown(const Case& row) : Case(row) {} // the rows of testing::Values convert to it
};

template <typename Case, auto Label> void PrintTo(const Shown<Case, Label>& shown, std::ostream* out) {
    const auto& label = std::invoke(Label, static_cast<const Case&>(shown));
    if constexpr (std::is_convertible_v<decltype(label), std::string_view>)
        *out << ::testing::PrintToString(std::string_view(label)); // quoted, blanks and escapes visible
    else
        *out << ::testing::PrintToString(label);
}

template <typename Case, auto Label, typename Fixture = ::testing::Test>
class Table : public Fixture, public ::testing::WithParamInterface<Shown<Case, Label>> {};

// The last argument of INSTANTIATE_TEST_SUITE_P for a table whose cases have a `name`: each test is
// listed by its case's name, so that the listing reads as the table does.
struct ByName {
    template <typename Info> std::string operator()(const Info& info) const {
        return std::string(info.param.name);
    }
};
inline constexpr ByName byName{};

} // namespace test_cases

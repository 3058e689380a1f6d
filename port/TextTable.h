#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

// A table of texts indexed from 1, as the command set hands them to the window. The callee that fills
// a table resizes it to exactly what it fills; every access is checked against the bounds.
class TextTable {
public:
    // Discards the contents and leaves `count` empty elements, indexed 1 to count.
    void resize(std::size_t count) { items_.assign(count, std::string()); }
    std::size_t size() const { return items_.size(); }

    std::string& operator[](std::size_t index) { return items_.at(Checked(index)); }
    const std::string& operator[](std::size_t index) const { return items_.at(Checked(index)); }

private:
    std::size_t Checked(std::size_t index) const {
        if (index < 1 || index > items_.size())
            throw std::out_of_range("table index " + std::to_string(index) + " is outside 1 to " +
                                    std::to_string(items_.size()));
        return index - 1;
    }

    std::vector<std::string> items_;
};

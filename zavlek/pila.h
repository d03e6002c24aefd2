// The stack the parser runs on: growable, and an empty pop is an answer, not
// a crash.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace zavlek {

template <typename T>
class Pila {
public:
    explicit Pila(std::size_t initial_capacity = 64) { items_.reserve(initial_capacity); }

    void push(const T& item) { items_.push_back(item); }

    // The top item, removed; nothing when the stack is empty.
    std::optional<T> pop() {
        if (items_.empty()) {
            return std::nullopt;
        }
        T item = items_.back();
        items_.pop_back();
        return item;
    }

    // Removes count items; false, removing none, when there are fewer.
    bool drop(std::size_t count) {
        if (count > items_.size()) {
            return false;
        }
        items_.resize(items_.size() - count);
        return true;
    }

    // The top item; nothing when the stack is empty.
    std::optional<T> top() const {
        if (items_.empty()) {
            return std::nullopt;
        }
        return items_.back();
    }

    // The top item of a stack known not to be empty.
    const T& top_unchecked() const { return items_.back(); }

    bool empty() const noexcept { return items_.empty(); }
    std::size_t size() const noexcept { return items_.size(); }
    std::size_t capacity() const noexcept { return items_.capacity(); }

private:
    std::vector<T> items_;
};

}  // namespace zavlek

// SPDX-License-Identifier: MIT
// The stack the parser runs on: growable, and an empty pop is an answer, not
// a crash.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <type_traits>

namespace zavlek {

// For trivially copyable items: the parser pushes and pops once per step, so
// these are plain stores and loads with a capacity check.
template <typename T>
class Pila {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    explicit Pila(std::size_t initial_capacity = 64)
        : items_(std::make_unique<T[]>(std::max<std::size_t>(initial_capacity, 1))),
          capacity_(std::max<std::size_t>(initial_capacity, 1)) {}

    Pila(const Pila& other)
        : items_(std::make_unique<T[]>(other.capacity_)), size_(other.size_), capacity_(other.capacity_) {
        std::copy(other.items_.get(), other.items_.get() + size_, items_.get());
    }
    Pila& operator=(Pila other) noexcept {
        items_.swap(other.items_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    Pila(Pila&& other) noexcept = default;

    void push(const T& item) {
        if (size_ == capacity_) {
            grow();
        }
        items_[size_++] = item;
    }

    // The top item, removed; nothing when the stack is empty.
    std::optional<T> pop() {
        if (size_ == 0) {
            return std::nullopt;
        }
        return items_[--size_];
    }

    // Removes count items; false, removing none, when there are fewer.
    bool drop(std::size_t count) {
        if (count > size_) {
            return false;
        }
        size_ -= count;
        return true;
    }

    // The top item; nothing when the stack is empty.
    std::optional<T> top() const {
        if (size_ == 0) {
            return std::nullopt;
        }
        return items_[size_ - 1];
    }

    // The top item of a stack known not to be empty.
    const T& top_unchecked() const { return items_[size_ - 1]; }

    bool empty() const noexcept { return size_ == 0; }
    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }

private:
    void grow() {
        auto larger = std::make_unique<T[]>(capacity_ * 2);
        std::copy(items_.get(), items_.get() + size_, larger.get());
        items_ = std::move(larger);
        capacity_ *= 2;
    }

    std::unique_ptr<T[]> items_;
    std::size_t size_ = 0;
    std::size_t capacity_;
};

}  // namespace zavlek

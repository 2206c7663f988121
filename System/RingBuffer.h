#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <vector>

namespace orlet {

// The last `capacity` values, oldest first.
template <typename Element> class RingBuffer {
public:
    // A capacity below 1 is 1.
    explicit RingBuffer(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

    std::size_t capacity() const { return capacity_; }
    const std::deque<Element>& elements() const { return elements_; }
    std::vector<Element> values() const { return {elements_.begin(), elements_.end()}; }

    void append(Element element) {
        if (elements_.size() >= capacity_) {
            elements_.pop_front();
        }
        elements_.push_back(std::move(element));
    }

    bool operator==(const RingBuffer&) const = default;

private:
    std::size_t capacity_;
    std::deque<Element> elements_;
};

} // namespace orlet

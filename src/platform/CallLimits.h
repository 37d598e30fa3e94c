// The bounds both systems' stream calls share: how much one call moves, and
// which offsets a signed 64-bit file position holds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pendrax::platform {

// One system call moves at most this much, so the count fits ssize_t and
// a DWORD alike.
constexpr std::size_t kMostPerCall = std::size_t{1} << 30;

constexpr std::size_t PerCall(std::size_t size) {
    return size < kMostPerCall ? size : kMostPerCall;
}

// Whether `size` bytes from `offset` stay within a signed 64-bit position.
constexpr bool OffsetFits(std::uint64_t offset, std::size_t size) {
    return offset <= static_cast<std::uint64_t>(INT64_MAX) - size;
}

}  // namespace pendrax::platform

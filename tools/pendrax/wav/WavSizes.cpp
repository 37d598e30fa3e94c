#include "wav/WavSizes.h"

#include <cstdio>
#include <cstring>

#include "PendraxWAVFlanger.h"

namespace pendrax_host {
namespace {

constexpr std::size_t kRiffSizeAt = 4;
constexpr std::size_t kDataSizeAt = 40;
constexpr std::uint32_t kLargest = 0xFFFFFFFFU;
// What a recorder writing to a pipe puts in the data size.
constexpr std::uint32_t kStreamPlaceholder = 0x7FFFF000U;

std::uint32_t Little32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

void PutLittle32(unsigned char* at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        at[k] = static_cast<unsigned char>(value >> (8 * k));
    }
}

std::string Hex(std::uint32_t value) {
    char text[16];
    (void)std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

SizeCheck CheckSizes(const unsigned char* header, std::int64_t length) {
    SizeCheck check;
    check.dataSize = Little32(header + kDataSizeAt);
    const std::uint32_t riffSize = Little32(header + kRiffSizeAt);
    const bool placeholder = check.dataSize == kLargest || check.dataSize == kStreamPlaceholder;
    check.realSize = check.dataSize != 0 && !placeholder;
    if (length < 0) {
        // A stream's length shows only at its end; a placeholder is its due.
        if (check.dataSize == 0) {
            check.found = "its header gives a data size of 0";
        }
        return check;
    }
    const std::int64_t held =
        length > PENDRAX_WAV_HEADER_BYTES ? length - PENDRAX_WAV_HEADER_BYTES : 0;
    const std::string holds = "the file holds " + std::to_string(held);
    if (check.dataSize == 0) {
        check.found = "its header gives a data size of 0 where " + holds + " bytes";
    } else if (placeholder) {
        check.found = "its header gives a stream's placeholder size (" + Hex(check.dataSize) +
                      ") where " + holds + " bytes";
    } else if (check.dataSize > held) {
        check.found = "its header gives " + std::to_string(check.dataSize) +
                      " bytes of samples, but " + holds + ": it is cut short";
    } else if (check.dataSize + std::int64_t{check.dataSize & 1U} < held) {
        check.trailingAt = PENDRAX_WAV_HEADER_BYTES + check.dataSize + (check.dataSize & 1U);
    } else if (riffSize != length - 8) {
        check.found = "its header gives a RIFF size of " + std::to_string(riffSize) + " where " +
                      holds + " bytes after the RIFF header";
    }
    return check;
}

void SetSizes(unsigned char* header, std::uint64_t dataBytes) {
    const std::uint64_t most = kLargest - (PENDRAX_WAV_HEADER_BYTES - 8);
    const auto data = static_cast<std::uint32_t>(dataBytes < most ? dataBytes : most);
    PutLittle32(header + kDataSizeAt, data);
    PutLittle32(header + kRiffSizeAt, data + (PENDRAX_WAV_HEADER_BYTES - 8));
}

void SetStreamSizes(unsigned char* header) {
    PutLittle32(header + kDataSizeAt, kLargest);
    PutLittle32(header + kRiffSizeAt, kLargest);
}

std::uint64_t ReadableBytes(const unsigned char* header, std::uint64_t written) {
    const SizeCheck sizes = CheckSizes(header, -1);
    if (!sizes.realSize && sizes.dataSize != 0) {
        return written;
    }
    return sizes.dataSize < written ? sizes.dataSize : written;
}

std::string DescribeTrailing(const unsigned char* bytes, std::size_t count, std::int64_t total) {
    if ((count >= 3 && std::memcmp(bytes, "ID3", 3) == 0) ||
        (count >= 4 && std::memcmp(bytes, "id3 ", 4) == 0)) {
        return "an ID3 tag";
    }
    bool printable = count >= 8;
    for (std::size_t k = 0; printable && k < 4; ++k) {
        printable = bytes[k] >= 0x20 && bytes[k] < 0x7F;
    }
    if (printable) {
        return "chunk '" + std::string(reinterpret_cast<const char*>(bytes), 4) + "' (" +
               std::to_string(Little32(bytes + 4)) + " bytes)";
    }
    return std::to_string(total) + (total == 1 ? " byte" : " bytes");
}

}  // namespace pendrax_host

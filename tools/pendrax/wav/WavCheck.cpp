#include "wav/WavCheck.h"

#include <cstdint>
#include <cstring>

#include "PendraxWAVFlanger.h"

namespace pendrax_host {
namespace {

constexpr std::size_t kFmtAt = 12;
constexpr std::size_t kDataAt = 36;
constexpr unsigned kPcm = 1;
constexpr unsigned kExtensible = 0xFFFE;

std::uint32_t Little32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

unsigned Little16(const unsigned char* at) {
    return static_cast<unsigned>(at[0]) | (static_cast<unsigned>(at[1]) << 8);
}

// A chunk id as text, with anything unprintable shown as '?'.
std::string ChunkId(const unsigned char* at) {
    std::string id;
    for (int k = 0; k < 4; ++k) {
        id.push_back(at[k] >= 0x20 && at[k] < 0x7F ? static_cast<char>(at[k]) : '?');
    }
    return id;
}

}  // namespace

std::string FormatName(unsigned tag, unsigned bits) {
    // Sample formats carry their width; coded ones are named alone.
    const std::string width = std::to_string(bits) + "-bit ";
    switch (tag) {
        case kPcm: return width + "PCM";
        case 3: return width + "floating-point";
        case 6: return width + "A-law";
        case 7: return width + "u-law";
        case 2: return "Microsoft ADPCM";
        case 0x11: return "IMA ADPCM";
        case 0x31: return "GSM 6.10";
        case 0x40: return "G.721 ADPCM";
        case 0x50: return "MPEG audio";
        case 0x55: return "MP3";
        case kExtensible: return "extensible format";
        default: return "format " + std::to_string(tag);
    }
}

std::string WithArticle(std::size_t number) {
    // "an" where the number is said with a vowel first: 8, 11, 18, 80-89,
    // 800-899, 11000, 18000, ...
    const std::string digits = std::to_string(number);
    const bool eleven =
        digits.size() % 3 == 2 && (digits.rfind("11", 0) == 0 || digits.rfind("18", 0) == 0);
    return (digits[0] == '8' || eleven ? "an " : "a ") + digits;
}

namespace {

// The formats sox reads inside a WAV file.
bool SoxReadsTag(unsigned tag) {
    switch (tag) {
        case kPcm:
        case 2:
        case 3:
        case 6:
        case 7:
        case 0x11:
        case 0x31: return true;
        default: return false;
    }
}

// sox's name for a file type it reads, from the magic; "" when it reads none.
std::string OtherSoxType(const unsigned char* bytes, std::size_t count) {
    if (count >= 12 && std::memcmp(bytes, "FORM", 4) == 0 &&
        (std::memcmp(bytes + 8, "AIFF", 4) == 0 || std::memcmp(bytes + 8, "AIFC", 4) == 0)) {
        return "aiff";
    }
    if (count >= 4 && std::memcmp(bytes, "fLaC", 4) == 0) {
        return "flac";
    }
    if (count >= 4 && std::memcmp(bytes, ".snd", 4) == 0) {
        return "au";
    }
    return std::string();
}

}  // namespace

WavCheck CheckWavHeader(const unsigned char* bytes, std::size_t count) {
    WavCheck check;
    if (count < kFmtAt || std::memcmp(bytes, "RIFF", 4) != 0 ||
        std::memcmp(bytes + 8, "WAVE", 4) != 0) {
        check.found = "not a RIFF/WAVE file";
        check.soxType = OtherSoxType(bytes, count);
        return check;
    }
    // Walks the chunks in view, noting the format and what precedes the data.
    std::string before;
    std::size_t dataAt = 0;
    bool haveFormat = false;
    std::uint32_t formatSize = 0;
    unsigned tag = 0;
    unsigned channels = 0;
    unsigned bits = 0;
    std::size_t at = kFmtAt;
    while (at + 8 <= count) {
        const std::string id = ChunkId(bytes + at);
        const std::uint32_t size = Little32(bytes + at + 4);
        if (id == "data") {
            dataAt = at;
            break;
        }
        if (id == "fmt " && size >= 16 && at + 8 + 16 <= count) {
            haveFormat = true;
            formatSize = size;
            tag = Little16(bytes + at + 8);
            channels = Little16(bytes + at + 10);
            check.sampleRate = static_cast<unsigned>(Little32(bytes + at + 12));
            check.byteRate = static_cast<unsigned>(Little32(bytes + at + 16));
            bits = Little16(bytes + at + 22);
            if (tag == kExtensible && size >= 40 && at + 8 + 26 <= count) {
                tag = Little16(bytes + at + 32);  // the sub-format's own tag
            }
        } else if (id != "fmt ") {
            before += (before.empty() ? "" : ", ") +
                      ("'" + id + "' (" + std::to_string(size) + " bytes)");
        }
        at += 8 + size + (size & 1U);
    }

    std::string problems;
    const auto add = [&problems](const std::string& problem) {
        problems += (problems.empty() ? "" : "; ") + problem;
    };
    if (haveFormat) {
        if (tag != kPcm || bits != 16) {
            add("the flanger reads 16-bit PCM");
        }
        if (channels != 1) {
            add("the flanger reads one channel");
        }
    } else if (before.empty()) {
        add("no format chunk");
    }
    if (!before.empty()) {
        add("chunk" + std::string(before.find(',') == std::string::npos ? " " : "s ") + before +
            " before the data, where the flanger takes samples from byte " +
            std::to_string(PENDRAX_WAV_HEADER_BYTES));
    } else if (haveFormat && formatSize != 16) {
        add(WithArticle(formatSize) + "-byte format chunk moves the samples past byte " +
            std::to_string(PENDRAX_WAV_HEADER_BYTES));
    } else if (dataAt != kDataAt) {
        add("no data chunk at byte " + std::to_string(kDataAt));
    }
    // sox needs the data chunk, which a file shorter than the view lacks.
    if (haveFormat && SoxReadsTag(tag) && (dataAt != 0 || count >= kCheckBytes)) {
        check.soxType = "wav";
    }
    const std::string format = haveFormat
                                   ? FormatName(tag, bits) + ", " + std::to_string(channels) +
                                         " channel" + (channels == 1 ? "" : "s") + ", " +
                                         std::to_string(check.sampleRate) + " Hz"
                                   : std::string("a WAV file of unknown format");
    if (!problems.empty()) {
        check.found = format + ": " + problems;
        return check;
    }
    check.verdict = check.sampleRate == PENDRAX_SAMPLE_RATE ? Verdict::Accepted : Verdict::Warned;
    check.found = format;
    return check;
}

}  // namespace pendrax_host

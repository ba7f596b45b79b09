#pragma once
// The browsers' native messaging framing: a 32-bit length in native byte
// order, then that many bytes of UTF-8 JSON, on standard input and output.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mv::bridge {

// A request longer than this is read past without being held in memory.
inline constexpr std::uint32_t kMaxRequestBytes = 1024 * 1024;
// The browsers drop the connection on a host message longer than 1 MB.
inline constexpr std::size_t kMaxAnswerBytes = 1024 * 1024;

class MessageReader {
public:
    explicit MessageReader(HANDLE input) noexcept : input_(input) {}

    enum class Status {
        Message,   // `message` holds the request's bytes
        TooLarge,  // a request beyond kMaxRequestBytes was read past
        End,       // end of input, also in the middle of a message
    };
    Status Next(std::string& message);

private:
    bool ReadExactly(char* buffer, std::size_t size);
    bool Skip(std::uint32_t size);
    bool Refill();

    HANDLE input_;
    // Bytes read ahead: a pipe read returns what has arrived, often a whole
    // frame, so header and body usually take one call.
    char ahead_[64 * 1024];
    std::size_t aheadStart_ = 0, aheadEnd_ = 0;
};

class MessageWriter {
public:
    explicit MessageWriter(HANDLE output) noexcept : output_(output) {}

    // False when the reader has gone away. The caller keeps messages within
    // kMaxAnswerBytes.
    bool Write(std::string_view message);

private:
    HANDLE output_;
};

}  // namespace mv::bridge

#include "bridge/NativeMessaging.h"

#include <algorithm>
#include <cstring>

namespace mv::bridge {

bool MessageReader::ReadExactly(char* buffer, std::size_t size) {
    while (size > 0) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
        // A broken pipe is the browser closing the port: the end of input.
        if (!::ReadFile(input_, buffer, want, &got, nullptr) || got == 0) return false;
        buffer += got;
        size -= got;
    }
    return true;
}

bool MessageReader::Skip(std::uint32_t size) {
    char chunk[64 * 1024];
    while (size > 0) {
        const std::uint32_t part = std::min<std::uint32_t>(size, sizeof(chunk));
        if (!ReadExactly(chunk, part)) return false;
        size -= part;
    }
    return true;
}

MessageReader::Status MessageReader::Next(std::string& message) {
    message.clear();
    std::uint32_t length = 0;
    char header[sizeof(length)];
    if (!ReadExactly(header, sizeof(header))) return Status::End;
    std::memcpy(&length, header, sizeof(length));
    if (length > kMaxRequestBytes) return Skip(length) ? Status::TooLarge : Status::End;
    message.resize(length);
    return ReadExactly(message.data(), length) ? Status::Message : Status::End;
}

bool MessageWriter::Write(std::string_view message) {
    // Header and body in one buffer: a reader never sees one without the other.
    const auto length = static_cast<std::uint32_t>(message.size());
    std::string frame(sizeof(length), '\0');
    std::memcpy(frame.data(), &length, sizeof(length));
    frame.append(message);
    const char* data = frame.data();
    std::size_t left = frame.size();
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteFile(output_, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) return false;
        data += written;
        left -= written;
    }
    return true;
}

}  // namespace mv::bridge

#include "bridge/NativeMessaging.h"

#include <algorithm>
#include <cstring>

namespace mv::bridge {

bool MessageReader::Refill() {
    DWORD got = 0;
    // A broken pipe is the browser closing the port: the end of input.
    if (!::ReadFile(input_, ahead_, sizeof(ahead_), &got, nullptr) || got == 0) return false;
    aheadStart_ = 0;
    aheadEnd_ = got;
    return true;
}

bool MessageReader::ReadExactly(char* buffer, std::size_t size) {
    while (size > 0) {
        if (aheadStart_ == aheadEnd_ && !Refill()) return false;
        const std::size_t part = std::min(size, aheadEnd_ - aheadStart_);
        if (buffer) {
            std::memcpy(buffer, ahead_ + aheadStart_, part);
            buffer += part;
        }
        aheadStart_ += part;
        size -= part;
    }
    return true;
}

// Read and dropped, never held.
bool MessageReader::Skip(std::uint32_t size) { return ReadExactly(nullptr, size); }

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

#include "platform/linux/bus/line_reader.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quorla::platform::linux_ {

namespace {

bool isTerminalOrPipe(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) < 0)
        return false;
    return ::isatty(fd) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
}

}  // namespace

LineReader::LineReader(sd_event* event, int fd, Handlers handlers)
    : handlers_(std::move(handlers)) {
    if (!isTerminalOrPipe(fd))
        return;
    sd_event_source* source = nullptr;
    check(sd_event_add_io(event, &source, fd, EPOLLIN, &LineReader::onReadable, this),
          "sd_event_add_io");
    source_.reset(source);
}

int LineReader::onReadable(sd_event_source*, int fd, std::uint32_t, void* reader) {
    static_cast<LineReader*>(reader)->read(fd);
    return 0;
}

void LineReader::read(int fd) {
    // One read per wake-up: the source is level-triggered, so whatever is left comes next
    // round, after the loop's other work.
    char buffer[4096];
    const auto count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count < 0)
        return end(errno);
    if (count == 0) {
        if (!isDiscardingLine_ && !pending_.empty())
            handlers_.line(std::exchange(pending_, {}));
        return end(0);
    }
    take({buffer, static_cast<std::size_t>(count)});
}

void LineReader::take(std::string_view bytes) {
    while (!bytes.empty()) {
        const auto end = bytes.find('\n');
        const auto piece = bytes.substr(0, end);
        if (!isDiscardingLine_) {
            pending_.append(piece);
            if (pending_.size() > maxLineBytes) {
                handlers_.tooLong();
                pending_.clear();
                isDiscardingLine_ = true;
            }
        }
        if (end == std::string_view::npos)
            return;
        if (!isDiscardingLine_)
            handlers_.line(std::exchange(pending_, {}));
        pending_.clear();
        isDiscardingLine_ = false;
        bytes.remove_prefix(end + 1);
    }
}

// The handler may destroy this reader, so nothing here touches it afterwards.
void LineReader::end(int errorNumber) {
    source_.reset();
    auto ended = handlers_.ended;
    ended(errorNumber);
}

}  // namespace quorla::platform::linux_

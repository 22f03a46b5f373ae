#include "platform/linux/bus/line_reader.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/linux/bus/entry_guard.hpp"

namespace quorla::platform::linux_ {

namespace {

bool isTerminalOrPipe(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) < 0)
        return false;
    return ::isatty(fd) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
}

}  // namespace

LineReader::LineReader(sd_event* event, int fd, Handlers handlers, std::ostream& log)
    : handlers_(std::move(handlers)), log_(log) {
    if (!isTerminalOrPipe(fd))
        return;
    sd_event_source* source = nullptr;
    check(sd_event_add_io(event, &source, fd, EPOLLIN, &LineReader::onReadable, this),
          "sd_event_add_io");
    source_.reset(source);
}

// Each handler runs guarded on its own, so that a line that fails loses nothing of what
// was read after it; one may destroy the reader (a quit command).
int LineReader::onReadable(sd_event_source*, int fd, std::uint32_t, void* userdata) {
    auto& reader = *static_cast<LineReader*>(userdata);
    auto& log = reader.log_;  // the reader may be gone when a failure is logged
    return guardInput(log, "console", nullptr, [&] {
        reader.read(fd);
        return 0;
    });
}

template <typename Handler>
bool LineReader::deliver(Handler&& handler) {
    const auto isAlive = isAlive_;
    guardInput(log_, "console", nullptr, [&] {
        handler();
        return 0;
    });
    return *isAlive;
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
            if (!deliver([&] { handlers_.line(std::exchange(pending_, {})); }))
                return;
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
                if (!deliver([&] { handlers_.tooLong(); }))
                    return;
                pending_.clear();
                isDiscardingLine_ = true;
            }
        }
        if (end == std::string_view::npos)
            return;
        if (!isDiscardingLine_ && !deliver([&] { handlers_.line(std::exchange(pending_, {})); }))
            return;
        pending_.clear();
        isDiscardingLine_ = false;
        bytes.remove_prefix(end + 1);
    }
}

// The handler may destroy this reader, so nothing here touches it afterwards.
void LineReader::end(int errorNumber) {
    source_.reset();
    auto ended = handlers_.ended;
    deliver([&] { ended(errorNumber); });
}

}  // namespace quorla::platform::linux_

#include "platform/linux/agent/settings_file.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <utility>

namespace quorla::platform::linux_ {

namespace {

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// Closes on every path out, so an error never leaks the descriptor.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // close reports late write errors of some file systems, so its result counts.
    void close(const std::string& what) {
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) < 0)
            throwErrno(what);
    }

  private:
    int fd_;
};

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const auto count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throwErrno("read");
        if (count == 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(count));
    }
}

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const auto count = ::write(fd, text.data(), text.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throwErrno("write");
        text.remove_prefix(static_cast<std::size_t>(count));
    }
}

void syncFolder(const std::filesystem::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        throwErrno("open folder");
    if (::fsync(fd.get()) < 0)
        throwErrno("fsync folder");
    fd.close("close folder");
}

// A name no earlier move has taken, marked with the time so the newest is easy to find.
std::filesystem::path asideName(const std::filesystem::path& path) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    const auto stem = path.string() + ".corrupt-" + stamp;
    std::filesystem::path candidate = stem;
    for (int n = 1; std::filesystem::exists(candidate); ++n)
        candidate = stem + "-" + std::to_string(n);
    return candidate;
}

}  // namespace

SettingsFile::SettingsFile(std::filesystem::path path, std::ostream& errors)
    : path_(std::move(path)), errors_(errors) {
    load();
}

std::filesystem::path SettingsFile::defaultPath() {
    const std::filesystem::path relative = std::filesystem::path("quorla") / "settings.json";
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config / relative;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry ? entry->pw_dir : "/";
    }
    return std::filesystem::path(home) / ".config" / relative;
}

std::optional<std::string> SettingsFile::stringForKey(std::string_view key) const {
    const auto found = values_.find(std::string(key));
    if (found == values_.end() || !found->is_string())
        return std::nullopt;
    return found->get<std::string>();
}

void SettingsFile::setString(std::string_view key, std::string value) {
    values_[std::string(key)] = std::move(value);
    save();
}

bool SettingsFile::boolForKey(std::string_view key) const {
    const auto found = values_.find(std::string(key));
    return found != values_.end() && found->is_boolean() && found->get<bool>();
}

void SettingsFile::setBool(std::string_view key, bool value) {
    values_[std::string(key)] = value;
    save();
}

void SettingsFile::load() {
    std::string text;
    try {
        FileDescriptor fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0 && (errno == ENOENT || errno == ENOTDIR))
            return;
        if (fd.get() < 0)
            throwErrno("open");
        text = readAll(fd.get());
    } catch (const std::system_error& error) {
        isWriteBlocked_ = true;
        errors_ << "quorla: cannot read the settings file " << path_ << " (" << error.what()
                << "); it is left as it is and nothing is stored this launch\n";
        return;
    }
    try {
        auto parsed = nlohmann::json::parse(text);
        if (!parsed.is_object())
            return moveAside("it holds no JSON object");
        values_ = std::move(parsed);
    } catch (const nlohmann::json::exception& error) {
        moveAside(error.what());
    }
}

void SettingsFile::moveAside(const std::string& reason) {
    const auto aside = asideName(path_);
    std::error_code error;
    std::filesystem::rename(path_, aside, error);
    if (error) {
        isWriteBlocked_ = true;
        errors_ << "quorla: the settings file " << path_ << " cannot be parsed (" << reason
                << ") nor moved aside (" << error.message()
                << "); it is left as it is and nothing is stored this launch\n";
        return;
    }
    errors_ << "quorla: the settings file " << path_ << " cannot be parsed (" << reason
            << "); moved it to " << aside << " and started without stored settings\n";
}

void SettingsFile::save() {
    if (isWriteBlocked_) {
        errors_ << "quorla: not storing settings in " << path_
                << " (see above); the new value holds until the agent quits\n";
        return;
    }
    const auto folder = path_.parent_path();
    std::string temporary = (folder / (path_.filename().string() + ".XXXXXX")).string();
    bool isTemporaryCreated = false;
    try {
        const auto text = values_.dump(2) + "\n";
        std::filesystem::create_directories(folder);
        FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
        if (fd.get() < 0)
            throwErrno("create " + temporary);
        isTemporaryCreated = true;
        writeAll(fd.get(), text);
        if (::fsync(fd.get()) < 0)
            throwErrno("fsync");
        fd.close("close");
        if (::rename(temporary.c_str(), path_.c_str()) < 0)
            throwErrno("rename");
        isTemporaryCreated = false;
        syncFolder(folder);
    } catch (const std::exception& error) {
        if (isTemporaryCreated)
            ::unlink(temporary.c_str());
        errors_ << "quorla: cannot store settings in " << path_ << " (" << error.what()
                << "); the new value holds until the agent quits\n";
    }
}

}  // namespace quorla::platform::linux_

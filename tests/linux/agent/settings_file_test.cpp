#include "platform/linux/agent/settings_file.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorla::platform::linux_ {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

constexpr std::string_view key = "quorla.iCloudUserID";

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path());
    return files;
}

// Each test in a fresh folder of its own, removed with everything in it.
class SettingsFileTest : public ::testing::Test {
  protected:
    SettingsFileTest() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorla-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        folder = pattern;
        path = folder / "quorla" / "settings.json";
    }
    ~SettingsFileTest() override {
        std::error_code ignored;  // a destructor must not throw
        std::filesystem::remove_all(folder, ignored);
    }

    std::filesystem::path folder;
    std::filesystem::path path;
    std::ostringstream errors;
};

TEST_F(SettingsFileTest, AStoredNameIsReadByTheNextLaunchAndOtherEntriesAreKept) {
    writeFile(path, R"({"other": [1, 2]})");
    SettingsFile(path, errors).setString(key, "_a1b2");
    SettingsFile(path, errors).setBool("quorla.requirePairing", true);

    SettingsFile next(path, errors);
    EXPECT_EQ(next.stringForKey(key), "_a1b2");
    EXPECT_TRUE(next.boolForKey("quorla.requirePairing"));
    EXPECT_EQ(nlohmann::json::parse(readFile(path))["other"], nlohmann::json::parse("[1, 2]"));
    EXPECT_EQ(filesIn(path.parent_path()), std::vector{path}) << "no temporary file left";
    EXPECT_EQ(errors.str(), "");
}

TEST_F(SettingsFileTest, ValuesOfAnotherTypeReadAsAbsent) {
    for (const char* value : {"42", "null", "true", R"(["abc"])", R"({"recordName": "abc"})"}) {
        SCOPED_TRACE(value);
        writeFile(path, std::string(R"({"quorla.iCloudUserID": )") + value + "}");
        EXPECT_EQ(SettingsFile(path, errors).stringForKey(key), std::nullopt);
        writeFile(path, std::string(R"({"quorla.requirePairing": )") + value + "}");
        EXPECT_EQ(SettingsFile(path, errors).boolForKey("quorla.requirePairing"),
                  std::string(value) == "true");
    }
    EXPECT_EQ(errors.str(), "");
}

TEST_F(SettingsFileTest, AFileThatCannotBeParsedIsMovedAsideAndNeverOverwritten) {
    const std::multiset<std::string> contents{R"({"quorla.iCloudUserID": "abc")", "", R"(["abc"])",
                                              R"("abc")", "\xff\xfe{}"};
    for (const auto& content : contents) {
        writeFile(path, content);
        SettingsFile settings(path, errors);
        EXPECT_EQ(settings.stringForKey(key), std::nullopt) << content;
        settings.setString(key, "new");
    }
    EXPECT_EQ(SettingsFile(path, errors).stringForKey(key), "new");
    // Every file moved aside is still there, each beside the others: none was clobbered.
    std::multiset<std::string> aside;
    for (const auto& file : filesIn(path.parent_path())) {
        if (file != path)
            aside.insert(readFile(file));
        EXPECT_TRUE(file == path || file.string().starts_with(path.string() + ".corrupt-")) << file;
    }
    EXPECT_EQ(aside, contents);
    EXPECT_NE(errors.str().find(path.string() + "\" cannot be parsed"), std::string::npos)
        << errors.str();
}

// A file where the folder should be: it stays, and the value holds for this launch.
TEST_F(SettingsFileTest, AFolderThatCannotBeWrittenIsReportedAndKept) {
    writeFile(folder / "quorla", "in the way");
    SettingsFile settings(path, errors);
    settings.setString(key, "abc");
    EXPECT_NE(errors.str().find("cannot store settings in \"" + path.string()), std::string::npos)
        << errors.str();
    EXPECT_NE(errors.str().find("the new value holds until the agent quits"), std::string::npos);
    EXPECT_EQ(readFile(folder / "quorla"), "in the way");
    EXPECT_EQ(settings.stringForKey(key), "abc");
}

// A relative XDG_CONFIG_HOME is not a place the agent may write to (it would depend on the
// folder the agent was started in), so it counts as unset.
TEST_F(SettingsFileTest, ARelativeOrEmptyConfigHomeMeansTheHomeFolder) {
    const std::pair<const char*, std::filesystem::path> rows[] = {
        {"/etc/xdg-test", "/etc/xdg-test/quorla/settings.json"},
        {"relative/config", folder / ".config/quorla/settings.json"},
        {"", folder / ".config/quorla/settings.json"},
    };
    ::setenv("HOME", folder.c_str(), 1);
    for (const auto& [configHome, expected] : rows) {
        ::setenv("XDG_CONFIG_HOME", configHome, 1);
        EXPECT_EQ(SettingsFile::defaultPath(), expected) << configHome;
    }
}

// Read as another user, the file cannot be read: none of what it holds may be lost by
// writing a file of the values known, which would hold only the new one.
TEST_F(SettingsFileTest, AFileThatCannotBeReadKeepsEveryEntryItHolds) {
    const std::string stored = R"({"other": [1, 2], "quorla.iCloudUserID": "kept"})";
    writeFile(path, stored);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write);
    std::filesystem::permissions(folder, std::filesystem::perms::all);
    std::filesystem::permissions(path.parent_path(), std::filesystem::perms::all);
    const pid_t reader = ::fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {  // root reads everything: the child gives that up
        if (::geteuid() == 0 && (::setgid(65534) < 0 || ::setuid(65534) < 0))
            ::_exit(2);
        std::ostringstream reported;
        SettingsFile settings(path, reported);
        settings.setString(key, "new");
        const bool isReported = reported.str().find("cannot read") != std::string::npos;
        ::_exit(isReported && settings.stringForKey(key) == "new" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(reader, &status, 0), reader);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(readFile(path), stored);
    EXPECT_EQ(filesIn(path.parent_path()), std::vector{path});
}

// The file-size limit kills the writer inside its write (SIGXFSZ), exactly where a crash
// would hurt most: after the old content could have been dropped, before the new one is whole.
TEST_F(SettingsFileTest, AWriterKilledMidWriteLeavesTheNameStoredBefore) {
    SettingsFile(path, errors).setString(key, "stored before");
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        std::ostringstream ignored;
        SettingsFile settings(path, ignored);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        settings.setString(key, std::string(64 * 1024, 'x'));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "status " << status;

    EXPECT_EQ(SettingsFile(path, errors).stringForKey(key), "stored before");
    EXPECT_EQ(errors.str(), "");
}

}  // namespace
}  // namespace quorla::platform::linux_

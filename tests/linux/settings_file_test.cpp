#include "platform/linux/settings_file.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "linux/temporary_folder.hpp"

namespace quorla::platform::linux_ {
namespace {

using testing::readFile;
using testing::writeFile;

constexpr std::string_view key = "quorla.iCloudUserID";

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path());
    return files;
}

class SettingsFileTest : public ::testing::Test {
  protected:
    testing::TemporaryFolder folder;
    std::filesystem::path path = folder.path() / "quorla" / "settings.json";
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
    const std::vector<std::string> contents{R"({"quorla.iCloudUserID": "abc")", "", R"(["abc"])",
                                            R"("abc")", "\xff\xfe{}"};
    for (std::size_t round = 0; round < contents.size(); ++round) {
        SCOPED_TRACE("content " + std::to_string(round));
        writeFile(path, contents[round]);
        errors.str("");

        SettingsFile settings(path, errors);
        EXPECT_EQ(settings.stringForKey(key), std::nullopt);
        EXPECT_NE(errors.str().find("cannot be parsed"), std::string::npos) << errors.str();
        EXPECT_NE(errors.str().find(path.string()), std::string::npos) << errors.str();
        settings.setString(key, "new");

        // Every earlier round's file is still there beside this one: none was clobbered.
        auto files = filesIn(path.parent_path());
        ASSERT_EQ(files.size(), round + 2);
        std::size_t holdingThisContent = 0;
        for (const auto& file : files) {
            if (file != path && readFile(file) == contents[round])
                ++holdingThisContent;
            EXPECT_TRUE(file == path || file.string().starts_with(path.string() + ".corrupt-"))
                << file;
        }
        EXPECT_EQ(holdingThisContent, 1u);
        EXPECT_EQ(SettingsFile(path, errors).stringForKey(key), "new");
    }
}

TEST_F(SettingsFileTest, AFolderThatCannotBeWrittenIsReportedAndTheValueHoldsForThisLaunch) {
    writeFile(folder.path() / "quorla", "a file where the folder should be");
    SettingsFile settings(path, errors);
    settings.setString(key, "abc");

    EXPECT_NE(errors.str().find("cannot store settings in " + std::string("\"") + path.string()),
              std::string::npos)
        << errors.str();
    EXPECT_EQ(settings.stringForKey(key), "abc");
}

TEST_F(SettingsFileTest, AFileThatCannotBeReadIsNeitherMovedNorReplaced) {
    std::filesystem::create_directories(path / "inside");
    SettingsFile settings(path, errors);
    settings.setString(key, "abc");

    EXPECT_NE(errors.str().find("cannot read the settings file"), std::string::npos);
    EXPECT_NE(errors.str().find("not storing settings"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(path / "inside"));
    EXPECT_EQ(settings.stringForKey(key), "abc");
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

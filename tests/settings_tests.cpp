// The settings store against real profile files, read and written by Wine's
// own kernel32, with the simulated host answering request 334.
#include "hostSimulator.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <optional>
#include <utility>
#include <vector>

static std::string readFile(const std::string &path)
{
    std::string text;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char chunk[512];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            text.append(chunk, n);
        std::fclose(f);
    }
    return text;
}

static void writeFile(const std::string &path, const std::string &text)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

static bool fileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

static std::string trim(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t");
    size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// An INI file as its sections in file order, each with its lines in order.
struct IniSection {
    std::string name;
    std::vector<std::string> lines;

    bool operator==(const IniSection &other) const { return name == other.name && lines == other.lines; }
};
using IniFile = std::vector<IniSection>;

static void PrintTo(const IniSection &section, std::ostream *out)
{
    *out << "[" << section.name << "]";
    for (const std::string &line : section.lines)
        *out << " " << line;
}

// Strict reading: every line that is not blank is a section header or a
// key=value line inside a section, or the file is not well-formed. Spaces
// around a key or a value are not part of it, as for the profile functions.
static bool parseIni(const std::string &text, IniFile &ini)
{
    ini.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line.front() == '[') {
            if (line.size() < 3 || line.back() != ']')
                return false;
            ini.push_back({line.substr(1, line.size() - 2), {}});
        } else if (ini.empty() || line.front() == '=' || line.find('=') == std::string::npos) {
            return false;
        } else {
            size_t equals = line.find('=');
            ini.back().lines.push_back(trim(line.substr(0, equals)) + "=" + trim(line.substr(equals + 1)));
        }
    }
    return true;
}

static IniFile readIni(const std::string &path)
{
    IniFile ini;
    std::string text = readFile(path);
    EXPECT_TRUE(parseIni(text, ini)) << "not a well-formed INI file:\n" << text;
    return ini;
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        iniPath = std::string(dir) + "zanq_settings_test.ini";
        fallbackPath = windowsDirectory() + "\\winamp.ini";
        DeleteFileA(iniPath.c_str());
        DeleteFileA(fallbackPath.c_str());
        host.settingsPathText = iniPath;
        forgetSettings();
    }
    void TearDown() override
    {
        DeleteFileA(iniPath.c_str());
        DeleteFileA(fallbackPath.c_str());
        settings() = {1, 60, nullptr};
    }

    // Values a load must overwrite, so that a load that skips a field shows.
    static void forgetSettings() { settings() = {-99, 99, nullptr}; }

    static std::string windowsDirectory()
    {
        char dir[MAX_PATH];
        GetWindowsDirectoryA(dir, MAX_PATH);
        return dir;
    }

    HostSimulator host;
    std::string iniPath;
    std::string fallbackPath; // where a bare "winamp.ini" lands
};

// One load and one save over what a file may hold. A missing file, section,
// key or value reads as its default; anything else is read with the
// platform's own integer read (Wine's here) and written back as the number it
// yielded; "Enabled" goes before "Period" in a new section, and the rest of
// the file is left as it was.
TEST_F(SettingsStore, LoadsWhatTheFileHoldsAndSavesItBack)
{
    struct Case {
        std::string name;
        std::optional<std::string> content; // none: no file at all
        int enabled;
        unsigned period;
        IniFile saved;
    };
    const IniFile defaults = {{"Kestwyn", {"Enabled=1", "Period=60"}}};
    std::vector<Case> cases = {
        {"no file", std::nullopt, 1, 60, defaults},
        {"empty file", "", 1, 60, defaults},
        {"no section",
         "[Other]\r\nEnabled=0\r\nPeriod=5\r\n",
         1,
         60,
         {{"Other", {"Enabled=0", "Period=5"}}, {"Kestwyn", {"Enabled=1", "Period=60"}}}},
        {"no keys",
         "[Kestwyn]\r\nEnable=0\r\n[Other]\r\nPeriod=5\r\n",
         1,
         60,
         {{"Kestwyn", {"Enable=0", "Enabled=1", "Period=60"}}, {"Other", {"Period=5"}}}},
        {"stored 7 and 300", "[Kestwyn]\r\nEnabled=7\r\nPeriod=300\r\n", 7, 300, {{"Kestwyn", {"Enabled=7", "Period=300"}}}},
        {"stored 0 and 1", "[Kestwyn]\r\nEnabled=0\r\nPeriod=1\r\n", 0, 1, {{"Kestwyn", {"Enabled=0", "Period=1"}}}},
        {"stored 1 and 0", "[Kestwyn]\r\nEnabled=1\r\nPeriod=0\r\n", 1, 0, {{"Kestwyn", {"Enabled=1", "Period=0"}}}},
        {"keys in the other order, extremes",
         "[Kestwyn]\r\nPeriod=4294967295\r\nEnabled=-3\r\n",
         -3,
         4294967295u,
         {{"Kestwyn", {"Period=4294967295", "Enabled=-3"}}}},
    };
    // Texts a person or another program could leave in the file, as both values.
    const struct {
        const char *stored;
        int enabled;
        unsigned period;
    } odd[] = {
        {"abc", 0, 0},
        {"-5", -5, 4294967291u},
        {" 42", 42, 42},
        {"12abc", 12, 12},
        {"4294967295", -1, 4294967295u},
        {"99999999999", 1215752191, 1215752191u}, // wraps modulo 2^32
        {"", 1, 60},                              // an empty value counts as missing
    };
    for (const auto &c : odd)
        cases.push_back({std::string("stored \"") + c.stored + "\"",
                         std::string("[Other]\r\nA=1\r\n[Kestwyn]\r\nEnabled=") + c.stored + "\r\nPeriod=" +
                             c.stored + "\r\n[After]\r\nB=2\r\n",
                         c.enabled, c.period,
                         IniFile{{"Other", {"A=1"}},
                                 {"Kestwyn", {"Enabled=" + std::to_string(c.enabled), "Period=" + std::to_string(c.period)}},
                                 {"After", {"B=2"}}}});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(iniPath.c_str());
        if (c.content)
            writeFile(iniPath, *c.content);
        forgetSettings();
        loadSettings(host.hostWindow());
        EXPECT_EQ(settings().enabled, c.enabled);
        EXPECT_EQ(settings().period, c.period);

        saveSettings();
        EXPECT_EQ(readIni(iniPath), c.saved);
    }
}

TEST_F(SettingsStore, UsesTheHostsPathTextInPlace)
{
    loadSettings(host.hostWindow());
    EXPECT_EQ(settings().settingsPath, host.settingsPathAddress());
    EXPECT_EQ(host.requests, (std::vector<HostRequest>{{host.hostWindow(), 334, 0}}));
}

TEST_F(SettingsStore, HostWithoutPathMeansWinampIniInTheWindowsDirectory)
{
    // Answers below 0x10000 are not addresses; 0xFFFF is the last of them.
    const LRESULT answers[] = {0, 1, 0xFFFF};
    for (LRESULT answer : answers) {
        SCOPED_TRACE(answer);
        host.settingsPathText.clear();
        host.settingsPathAnswer = answer;
        writeFile(fallbackPath, "[Kestwyn]\r\nEnabled=0\r\nPeriod=5\r\n");
        forgetSettings();
        loadSettings(host.hostWindow());
        ASSERT_NE(settings().settingsPath, nullptr);
        EXPECT_STREQ(settings().settingsPath, "winamp.ini");
        EXPECT_EQ(settings().enabled, 0);
        EXPECT_EQ(settings().period, 5u);

        settings().enabled = 1;
        settings().period = 77;
        saveSettings();
        EXPECT_EQ(readIni(fallbackPath), (IniFile{{"Kestwyn", {"Enabled=1", "Period=77"}}}));
        DeleteFileA(fallbackPath.c_str());
    }
    EXPECT_FALSE(fileExists(iniPath));
}

// hostsim.exe preview run as a user runs it, in a process of its own with the
// plug-in beside it and one real timer tick: what it reports removed and
// remaining (names printed as UTF-8), how the names reached the plug-in (a
// UTF-8 file's through the code page, as the player hands them over), that
// the playlist file and the temporary folder are left as they were, and the
// one-line errors and exit status for bad input.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct RunResult {
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

static std::string programFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/')
        --length;
    return std::string(path, length);
}

static std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

static void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh empty folder under the temporary folder.
static std::string makeFolder(const char *prefix)
{
    char base[MAX_PATH];
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    GetTempFileNameA(base, prefix, 0, path);
    DeleteFileA(path);
    CreateDirectoryA(path, nullptr);
    return std::string(path) + "\\";
}

static std::vector<std::string> folderEntries(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// Runs hostsim.exe with `arguments`, its output and error going to files and
// its temporary folder set to `tempFolder`. The deadline only stops a hung
// child; how long the run takes is never judged.
static RunResult runHostsim(const std::string &arguments, const std::string &tempFolder)
{
    RunResult result;
    std::string work = makeFolder("zqo");
    std::string outPath = work + "out.txt";
    std::string errPath = work + "err.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + programFolder() + "hostsim.exe\" " + arguments;
    // The child inherits the environment, so its temporary folder is set here for it alone.
    char savedTmp[MAX_PATH] = "";
    char savedTemp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", savedTmp, MAX_PATH);
    GetEnvironmentVariableA("TEMP", savedTemp, MAX_PATH);
    SetEnvironmentVariableA("TMP", tempFolder.c_str());
    SetEnvironmentVariableA("TEMP", tempFolder.c_str());
    BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                  &process);
    DWORD startError = GetLastError();
    SetEnvironmentVariableA("TMP", savedTmp);
    SetEnvironmentVariableA("TEMP", savedTemp);
    CloseHandle(out);
    CloseHandle(err);
    EXPECT_TRUE(started) << commandLine << " (error " << startError << ")";
    if (started) {
        if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "hostsim did not finish: " << commandLine;
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    DeleteFileA(outPath.c_str());
    DeleteFileA(errPath.c_str());
    RemoveDirectoryA(work.c_str());
    return result;
}

struct Listed {
    size_t index;
    std::string name;
    bool operator==(const Listed &other) const { return index == other.index && name == other.name; }
};

static std::ostream &operator<<(std::ostream &os, const Listed &l)
{
    return os << l.index << " " << l.name;
}

// The "index  name" lines under the report line that starts with `heading`.
static std::vector<Listed> listUnder(const std::string &out, const std::string &heading)
{
    std::vector<Listed> listed;
    std::istringstream lines(out);
    std::string line;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, heading.size(), heading) == 0) {
            inside = true;
        } else if (inside) {
            if (line.empty())
                break;
            size_t number = line.find_first_not_of(' ');
            size_t gap = line.find("  ", number);
            listed.push_back({std::stoul(line.substr(number, gap - number)), line.substr(gap + 2)});
        }
    }
    return listed;
}

static std::string inQuotes(const std::string &path)
{
    return "\"" + path + "\"";
}

// What the report says of how the names reach the plug-in.
static const std::string AsBytes =
    "The file is not UTF-8: names reach the plug-in as the bytes they are in it (shown here read in code page 1252).";
static std::string throughCodePage(int lossy)
{
    return "The file is UTF-8: names reach the plug-in in code page 1252, as the player hands them over; " +
           std::to_string(lossy) + " of them hold letters that page lacks (sent as '?') and are never taken for repeats.";
}

// Four seasons, spring and summer: in code page 1252 both read D:\Music\??\01 - ?.mp3.
#define SEASONS u8"D:\\Music\\\u56db\u5b63\\01 - "

TEST(Preview, ReportsWhatOneSweepRemovesAndLeavesTheFileAlone)
{
    const struct {
        const char *title;
        const char *fileName; // a file written with `bytes`; empty: the playlist `fixture`
        std::string bytes;
        const char *current;  // null: not given
        std::string howNamesReachThePlugin;
        std::string removedHeading;
        std::vector<Listed> removed;
        std::string remainingHeading;
        std::vector<Listed> remaining;
        const char *fixture = ZANQ_SAMPLE_PLAYLIST;
    } cases[] = {
        {"the sample playlist, current entry by default", "", "", nullptr, AsBytes,
         "Removed 3 of 9 entries",
         {{3, "c:\\music\\aurora lane\\northern lights\\01 - first frost.mp3"},
          {5, "C:\\Music\\Bellwether\\Live at the Mill\\03 - Slow River.flac"},
          {7, "C:\\MUSIC\\AURORA LANE\\NORTHERN LIGHTS\\02 - HARBOUR.MP3"}},
         "Remaining 6 entries (new index, name; current entry 0)",
         {{0, "C:\\Music\\Aurora Lane\\Northern Lights\\01 - First Frost.mp3"},
          {1, "C:\\Music\\Aurora Lane\\Northern Lights\\02 - Harbour.mp3"},
          {2, "C:\\Music\\Bellwether\\Live at the Mill\\03 - Slow River.flac"},
          {3, "C:\\Music\\Aurora Lane\\Northern Lights\\04 - Lanterns.mp3"},
          {4, "C:/Music/Aurora Lane/Northern Lights/02 - Harbour.mp3"},
          {5, "C:\\Music\\Cedar & Salt\\Tides\\05 - Undertow.ogg"}}},
        {"pls in number order; entries before the current one are never compared", "mix.pls",
         "[playlist]\r\nFile4=A.mp3\r\nFile2=b.mp3\r\nFile1=a.mp3\r\nFile5=B.MP3\r\nFile3=c.mp3\r\n"
         "File6=c.mp3\r\nNumberOfEntries=6\r\n",
         "1", AsBytes, "Removed 2 of 6 entries",
         {{4, "B.MP3"}, {5, "c.mp3"}},
         "Remaining 4 entries (new index, name; current entry 1)",
         {{0, "a.mp3"}, {1, "b.mp3"}, {2, "c.mp3"}, {3, "A.mp3"}}},
        {"m3u8 read as UTF-8, handed over in code page 1252: only A-Z fold, not accented letters", "mix.m3u8",
         "\xEF\xBB\xBF#EXTM3U\n#EXTINF:1,x\n\xC3\x84.mp3\n\xC3\xA4.mp3\nCaf\xC3\xA9.mp3\ncaf\xC3\xA9.MP3\n", "0",
         throughCodePage(0), "Removed 1 of 4 entries",
         {{3, "caf\xC3\xA9.MP3"}},
         "Remaining 3 entries (new index, name; current entry 0)",
         {{0, "\xC3\x84.mp3"}, {1, "\xC3\xA4.mp3"}, {2, "Caf\xC3\xA9.mp3"}}},
        {"the last entry current: nothing to remove", "last.m3u", "x.mp3\nx.mp3\n", "1", AsBytes,
         "Removed 0 of 2 entries",
         {},
         "Remaining 2 entries (new index, name; current entry 1)",
         {{0, "x.mp3"}, {1, "x.mp3"}}},
        {"the seasons playlist: the two names the code page cannot tell apart both stay", "", "", nullptr,
         throughCodePage(2), "Removed 1 of 4 entries",
         {{3, "d:\\music\\four seasons\\01 - SPRING.MP3"}},
         "Remaining 3 entries (new index, name; current entry 0)",
         {{0, SEASONS u8"\u6625.mp3"}, {1, SEASONS u8"\u590f.mp3"}, {2, "D:\\Music\\Four Seasons\\01 - Spring.mp3"}},
         ZANQ_SEASONS_PLAYLIST},
        {"m3u8: even the very same lossy name twice stays", "same.m3u8",
         SEASONS u8"\u6625.mp3\n" SEASONS u8"\u6625.mp3\n", nullptr, throughCodePage(2), "Removed 0 of 2 entries",
         {},
         "Remaining 2 entries (new index, name; current entry 0)",
         {{0, SEASONS u8"\u6625.mp3"}, {1, SEASONS u8"\u6625.mp3"}}},
        {"pls with a UTF-8 mark: u acute and U acute differ in code page 1252, so both stay; a plain repeat goes",
         "marked.pls",
         "\xEF\xBB\xBF[playlist]\r\nFile1=" u8"C:\\M\u00fasica\\a.mp3\r\nFile2=" u8"c:\\M\u00daSICA\\A.MP3\r\n"
         "File3=C:\\Musica\\a.mp3\r\nFile4=C:\\Musica\\a.mp3\r\n",
         nullptr, throughCodePage(0), "Removed 1 of 4 entries",
         {{3, "C:\\Musica\\a.mp3"}},
         "Remaining 3 entries (new index, name; current entry 0)",
         {{0, u8"C:\\M\u00fasica\\a.mp3"}, {1, u8"c:\\M\u00daSICA\\A.MP3"}, {2, "C:\\Musica\\a.mp3"}}},
        {"m3u without a mark: bytes as they are, shown as code page 1252 text", "bytes.m3u",
         "C:\\Caf\xC3\xA9.mp3\nc:\\caf\xC3\xA9.MP3\nC:\\CAF\xC9.mp3\n", nullptr, AsBytes,
         "Removed 1 of 3 entries",
         {{1, u8"c:\\caf\u00c3\u00a9.MP3"}},
         "Remaining 2 entries (new index, name; current entry 0)",
         {{0, u8"C:\\Caf\u00c3\u00a9.mp3"}, {1, u8"C:\\CAF\u00c9.mp3"}}},
    };
    std::string folder = makeFolder("zqp");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        std::string path = *c.fileName ? folder + c.fileName : c.fixture;
        if (*c.fileName)
            writeFile(path, c.bytes);
        std::string before = readFile(path);
        WIN32_FILE_ATTRIBUTE_DATA stampBefore = {}, stampAfter = {};
        GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &stampBefore);
        std::string childTemp = makeFolder("zqt");

        RunResult run = runHostsim("preview " + inQuotes(path) + (c.current ? std::string(" ") + c.current : ""),
                                   childTemp);

        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("\n" + c.howNamesReachThePlugin + "\r\n"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(c.removedHeading + " (index in the file, name):"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(c.remainingHeading + ":"), std::string::npos) << run.out;
        EXPECT_EQ(listUnder(run.out, c.removedHeading), c.removed) << run.out;
        EXPECT_EQ(listUnder(run.out, c.remainingHeading), c.remaining) << run.out;
        EXPECT_EQ(readFile(path), before);
        GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &stampAfter);
        EXPECT_EQ(CompareFileTime(&stampBefore.ftLastWriteTime, &stampAfter.ftLastWriteTime), 0);
        // Its own settings file lived there and is gone: nothing is left behind.
        EXPECT_EQ(folderEntries(childTemp), std::vector<std::string>{});
        RemoveDirectoryA(childTemp.c_str());
        if (*c.fileName)
            DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(folder.c_str());
}

TEST(Preview, BadInputGetsOneLineAndANonZeroExit)
{
    enum Setup { Nothing, File, Folder };
    const std::string three = "a\nb\nc\n";
    const std::string outOfRange = " is out of range: the playlist has 3 entries, so it must be 0..2\n";
    const struct {
        const char *title;
        const char *name;      // the path's last part, in a fresh folder
        Setup setup;           // what is made at that path first
        std::string bytes;     // a File's content
        std::string arguments; // "{}" stands for the path
        DWORD exitCode;
        std::string error;     // the whole standard error, "{}" for the path; empty: any one line on the path
    } cases[] = {
        {"a missing file", "absent.m3u", Nothing, "", "preview {}", 1, "hostsim: {}: no such file\n"},
        {"a folder, not a file", "folder.m3u", Folder, "", "preview {}", 1, ""},
        {"an empty list", "empty.m3u", File, "#EXTM3U\r\n#EXTINF:1,x\r\n\r\n", "preview {}", 1,
         "hostsim: {}: no entries\n"},
        {"a line too long to be a path", "long.m3u8", File, "#EXTM3U\n" + std::string(98302, 'a') + "\n",
         "preview {}", 1, "hostsim: {}: line 2 is 98302 bytes long; no path is longer than 98301 bytes\n"},
        {"not a playlist type", "list.txt", File, "a.mp3\n", "preview {}", 1,
         "hostsim: {}: not a .m3u, .m3u8 or .pls file\n"},
        {"code page text in a m3u8", "bad.m3u8", File, "#EXTM3U\nC:\\a.mp3\nC:\\Caf\xE9.mp3\n", "preview {}", 1,
         "hostsim: {}: line 3 is not valid UTF-8\n"},
        {"current index one past the end", "three.m3u", File, three, "preview {} 3", 1,
         "hostsim: current index 3" + outOfRange},
        {"a negative current index", "three.m3u", File, three, "preview {} -1", 1,
         "hostsim: current index -1" + outOfRange},
        {"a current index far too large", "three.m3u", File, three, "preview {} 99999999999999999999999", 1,
         "hostsim: current index 99999999999999999999999" + outOfRange},
        {"a current index that is no number", "three.m3u", File, three, "preview {} 1x", 1,
         "hostsim: current index \"1x\" is not a whole number\n"},
        {"no playlist named", "unused.m3u", Nothing, "", "preview", 2, ""},
        {"an unknown command", "three.m3u", File, three, "show {}", 2, ""},
    };
    std::string folder = makeFolder("zqe");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        std::string path = folder + c.name;
        if (c.setup == File)
            writeFile(path, c.bytes);
        else if (c.setup == Folder)
            CreateDirectoryA(path.c_str(), nullptr);
        std::string arguments = c.arguments;
        size_t slot = arguments.find("{}");
        if (slot != std::string::npos)
            arguments.replace(slot, 2, inQuotes(path));
        std::string childTemp = makeFolder("zqt");

        RunResult run = runHostsim(arguments, childTemp);

        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, "");
        // Text mode ends the child's lines with CR LF.
        std::string got = run.err;
        for (size_t cr; (cr = got.find("\r\n")) != std::string::npos;)
            got.erase(cr, 1);
        std::string error = c.error;
        slot = error.find("{}");
        if (slot != std::string::npos)
            error.replace(slot, 2, path);
        if (c.exitCode == 2) {
            EXPECT_EQ(got.compare(0, 7, "usage: "), 0) << got;
        } else if (error.empty()) {
            // The platform words this reason; it is still one line about this file.
            EXPECT_EQ(got.compare(0, path.size() + 11, "hostsim: " + path + ": "), 0) << got;
            EXPECT_EQ(got.find('\n'), got.size() - 1) << got;
        } else {
            EXPECT_EQ(got, error);
        }
        EXPECT_EQ(folderEntries(childTemp), std::vector<std::string>{});
        RemoveDirectoryA(childTemp.c_str());
        if (c.setup == Folder)
            RemoveDirectoryA(path.c_str());
        else
            DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(folder.c_str());
}

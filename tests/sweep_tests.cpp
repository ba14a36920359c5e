// One sweep against the simulated host: the shared scenario table, and a
// seeded differential test against a plain model of the outcome.
#include "hostSimulator.h"
#include "sweepScenarios.h"
#include "settings/settings.h"
#include "sweep/sweep.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

static std::vector<HostRequest> expectedRequests(const HostSimulator &host, const SweepScenario &s)
{
    std::vector<HostRequest> expected;
    for (auto [code, argument] : s.requests)
        expected.push_back({code == 104 ? host.editorWindow() : host.hostWindow(), code,
                            static_cast<intptr_t>(argument)});
    return expected;
}

static std::string describe(const std::vector<HostRequest> &requests)
{
    std::string text;
    for (const HostRequest &r : requests)
        text += std::to_string(r.code) + ":" + std::to_string(r.argument) + " ";
    return text;
}

TEST(Sweep, SharedScenarios)
{
    std::vector<SweepScenario> scenarios = readSweepScenarios(ZANQ_SCENARIO_FILE);
    ASSERT_GT(scenarios.size(), 20u);
    for (const SweepScenario &s : scenarios) {
        SCOPED_TRACE(s.title);
        HostSimulator host;
        host.playlist = s.entries;
        host.currentIndex = s.current;
        host.overrideCount = s.overrideCount;
        host.reportedCount = s.count;
        host.nullEditor = s.nullEditor;
        host.nullNameIndices.insert(s.nullNames.begin(), s.nullNames.end());
        settings().enabled = s.enabled;

        onSweepTimer(host.hostWindow(), WM_TIMER, SweepTimerId, 0);

        std::vector<HostRequest> expected = expectedRequests(host, s);
        EXPECT_EQ(host.requests, expected) << "got:      " << describe(host.requests)
                                           << "\nexpected: " << describe(expected);
        std::vector<std::string> remaining;
        for (int k : s.remaining)
            remaining.push_back(s.entries.at(k));
        EXPECT_EQ(host.playlist, remaining);
    }
    settings().enabled = 1;
}

// The model: from `pos` on, only the first of each group of equal names
// stays; each later member is removed in position order, group by group in
// the order of their first members, at the index it has at that moment.
static std::string foldKey(const std::string &name)
{
    std::string key = name;
    for (char &c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

struct Outcome {
    std::vector<std::string> playlist;
    std::vector<int> removals;
};

static Outcome modelOutcome(const std::vector<std::string> &names, int pos)
{
    Outcome out;
    std::vector<bool> alive(names.size(), true);
    for (size_t first = pos; first < names.size(); ++first) {
        if (!alive[first])
            continue;
        for (size_t later = first + 1; later < names.size(); ++later) {
            if (!alive[later] || foldKey(names[later]) != foldKey(names[first]))
                continue;
            int index = 0;
            for (size_t k = 0; k < later; ++k)
                index += alive[k];
            out.removals.push_back(index);
            alive[later] = false;
        }
    }
    for (size_t k = 0; k < names.size(); ++k)
        if (alive[k])
            out.playlist.push_back(names[k]);
    return out;
}

TEST(Sweep, MatchesModelOnSeededPlaylists)
{
    static const char *const folders[] = {"C:\\Music\\", "c:\\music\\Live\\", "D:\\Audio\\Caf\xE9\\", "D:/Audio/"};
    static const char *const titles[] = {"intro.mp3", "Track 01.MP3", "\xC0la carte.ogg", "x", "Outro.flac"};
    std::mt19937 rng(20261211);
    settings().enabled = 1;
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::string> names(rng() % 14);
        for (std::string &name : names) {
            name = std::string(folders[rng() % 4]) + titles[rng() % 5];
            // Case variants: flip some ASCII letters, and sometimes an accented byte's case bit.
            for (char &c : name) {
                unsigned char u = static_cast<unsigned char>(c);
                if (((u | 0x20) >= 'a' && (u | 0x20) <= 'z' && rng() % 3 == 0) || (u >= 0xC0 && rng() % 2))
                    c = static_cast<char>(u ^ 0x20);
            }
        }
        int pos = names.empty() ? 0 : static_cast<int>(rng() % names.size());

        HostSimulator host;
        host.playlist = names;
        host.currentIndex = pos;
        sweepPlaylist(host.hostWindow());

        Outcome expected = modelOutcome(names, pos);
        EXPECT_EQ(host.playlist, expected.playlist);
        EXPECT_EQ(host.removals(), expected.removals);
    }
}

// The host's text may sit anywhere, even right before memory that cannot be
// read. Each answer to 211 is moved so that its NUL lies `slack` bytes before
// a no-access page (0: the last readable byte); the names are copied and
// compared a word at a time, so slack, lengths and prefixes are varied to put
// every byte at every place in a word, in the host's text and in the copies.
static char *readableEnd;
static size_t slack;
static WNDPROC simulatedHostProc;

static LRESULT CALLBACK answerAtPageEnd(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = CallWindowProcA(simulatedHostProc, window, message, wParam, lParam);
    if (message != WM_USER || lParam != 211 || answer == 0)
        return answer;
    const char *name = reinterpret_cast<const char *>(answer);
    size_t size = std::strlen(name) + 1;
    char *moved = readableEnd - slack - size;
    std::memcpy(moved, name, size);
    return reinterpret_cast<LRESULT>(moved);
}

// Every place in a word of either build: 4 bytes in the shipped module, 8 here.
const size_t EveryPlaceInAWord = 8;

class SweepAtPageEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        DWORD page = system.dwPageSize;
        block = static_cast<char *>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(block, nullptr);
        DWORD previous;
        ASSERT_TRUE(VirtualProtect(block + page, page, PAGE_NOACCESS, &previous));
        readableEnd = block + page;
        slack = 0;
        simulatedHostProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(host.hostWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(answerAtPageEnd)));
        settings().enabled = 1;
    }
    void TearDown() override
    {
        SetWindowLongPtrA(host.hostWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(simulatedHostProc));
        VirtualFree(block, 0, MEM_RELEASE);
    }
    // One sweep over the names from entry 0; the removals it sent.
    std::vector<int> sweep(const std::vector<std::string> &names)
    {
        host.playlist = names;
        host.requests.clear();
        sweepPlaylist(host.hostWindow());
        return host.removals();
    }
    HostSimulator host;
    char *block = nullptr;
};

TEST_F(SweepAtPageEnd, NamesOfEveryLengthNearAWordAndTheBufferLimit)
{
    std::vector<size_t> lengths;
    for (size_t length = 1; length <= 20; ++length)
        lengths.push_back(length);
    for (size_t length = 250; length <= 262; ++length)
        lengths.push_back(length);
    for (slack = 0; slack < EveryPlaceInAWord; ++slack) {
        for (size_t length : lengths) {
            SCOPED_TRACE("name of " + std::to_string(length) + " bytes, NUL " + std::to_string(slack) +
                         " bytes before the page end");
            std::string name, capitals;
            for (size_t k = 0; k < length; ++k) {
                name += static_cast<char>('a' + k % 26);
                capitals += static_cast<char>('A' + k % 26);
            }
            std::string lastByteOff = name;
            lastByteOff.back() = '#';
            if (length <= 259) {
                EXPECT_EQ(sweep({name, capitals, lastByteOff}), std::vector<int>{1});
                EXPECT_EQ(host.playlist, (std::vector<std::string>{name, lastByteOff}));
            } else {
                EXPECT_TRUE(sweep({name, capitals, lastByteOff}).empty());
            }
        }
    }
}

// Pairs that a word-wise fold or search could take for each other: letters
// and their neighbours one bit away, bytes above 0x7F, and the `?` that makes
// a name unmatchable. Each sits at every place of a word, both in the host's
// text and in the copies, inside a name and as its last byte.
TEST_F(SweepAtPageEnd, BytesOneBitApartAtEveryPlaceInAWord)
{
    const struct {
        const char *first, *second;
        bool equal;
    } pairs[] = {
        {"A", "a", true},        {"Z", "z", true},        {"M", "m", true},        {"\xFF", "\xFF", true},
        {"@", "`", false},       {"[", "{", false},       {"\\", "/", false},     {"\xC0", "\xE0", false},
        {"\xC1", "\xE1", false}, {"\x80", "\x81", false}, {"1", "!", false},       {"?", "?", false},
        {"?", "_", false},       {"\xBF", "\xBF", true},
    };
    for (slack = 0; slack < EveryPlaceInAWord; ++slack) {
        for (size_t pad = 0; pad < EveryPlaceInAWord; ++pad) {
            for (const auto &pair : pairs) {
                SCOPED_TRACE(std::string(pair.first) + " and " + pair.second + " after " + std::to_string(pad) +
                             " bytes, NUL " + std::to_string(slack) + " bytes before the page end");
                std::string head = std::string(pad, 'p') + "C:\\Music\\";
                std::string tail = "\\Album\\01 - Track.mp3";
                std::vector<int> expected = pair.equal ? std::vector<int>{1} : std::vector<int>{};
                EXPECT_EQ(sweep({head + pair.first + tail, head + pair.second + tail}), expected);
                EXPECT_EQ(sweep({head + pair.first, head + pair.second}), expected);
            }
        }
    }
}

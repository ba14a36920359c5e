// One sweep against the simulated host: the shared scenario table, and a
// seeded differential test against a plain model of the outcome.
#include "hostSimulator.h"
#include "sweepScenarios.h"
#include "settings/settings.h"
#include "sweep/sweep.h"

#include <gtest/gtest.h>

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

// The sweep timer: what it asks of the platform, and real ticks on a real
// message loop. Waits poll for the awaited event with generous deadlines.
#include "hostSimulator.h"
#include "importHook.h"
#include "settings/settings.h"
#include "sweep/sweep.h"

#include <gtest/gtest.h>

struct TimerCall {
    HWND window;
    UINT_PTR id;
    UINT interval;
    TIMERPROC callback;
};
static std::vector<TimerCall> setCalls;
static std::vector<std::pair<HWND, UINT_PTR>> killCalls;

static UINT_PTR WINAPI recordSetTimer(HWND window, UINT_PTR id, UINT interval, TIMERPROC callback)
{
    setCalls.push_back({window, id, interval, callback});
    return id;
}

static BOOL WINAPI recordKillTimer(HWND window, UINT_PTR id)
{
    killCalls.push_back({window, id});
    return TRUE;
}

TEST(SweepTimer, AsksForPeriodTimesThousandMillisecondsModulo2To32)
{
    HMODULE self = GetModuleHandleA(nullptr);
    void *realSet = hookImport(self, "user32.dll", "SetTimer", reinterpret_cast<void *>(recordSetTimer));
    void *realKill = hookImport(self, "user32.dll", "KillTimer", reinterpret_cast<void *>(recordKillTimer));
    ASSERT_NE(realSet, nullptr);
    ASSERT_NE(realKill, nullptr);

    const struct {
        unsigned period;
        UINT interval;
    } cases[] = {
        {60, 60000},           {1, 1000},
        {0, 0},                {4294967, 4294967000u},
        {4294968, 704},        {4294967295u, 4294966296u},
    };
    HostSimulator host;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.period);
        setCalls.clear();
        killCalls.clear();
        settings().period = c.period;
        startSweepTimer(host.hostWindow());
        stopSweepTimer(host.hostWindow());
        ASSERT_EQ(setCalls.size(), 1u);
        EXPECT_EQ(setCalls[0].window, host.hostWindow());
        EXPECT_EQ(setCalls[0].id, 1611u);
        EXPECT_EQ(setCalls[0].interval, c.interval);
        EXPECT_EQ(setCalls[0].callback, &onSweepTimer);
        ASSERT_EQ(killCalls.size(), 1u);
        EXPECT_EQ(killCalls[0], std::make_pair(host.hostWindow(), UINT_PTR(1611)));
    }
    hookImport(self, "user32.dll", "SetTimer", realSet);
    hookImport(self, "user32.dll", "KillTimer", realKill);
    settings().period = 60;
}

class SweepTimerLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings().enabled = 1;
        settings().period = 1;
        host.playlist = {"C:\\a.mp3", "C:\\b.mp3", "c:\\A.mp3"};
    }
    void TearDown() override
    {
        stopSweepTimer(host.hostWindow());
        settings().period = 60;
        settings().enabled = 1;
    }
    HostSimulator host;
};

TEST_F(SweepTimerLoop, TickRemovesDuplicate)
{
    startSweepTimer(host.hostWindow());
    ASSERT_TRUE(pumpMessagesUntil([&] { return host.playlist.size() == 2; }, 15000));
    EXPECT_EQ(host.playlist, (std::vector<std::string>{"C:\\a.mp3", "C:\\b.mp3"}));
}

TEST_F(SweepTimerLoop, NoTickAfterStop)
{
    startSweepTimer(host.hostWindow());
    stopSweepTimer(host.hostWindow());
    // Three intervals with nothing: a live timer would have swept by then.
    pumpMessagesFor(3000);
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(host.playlist.size(), 3u);
}

TEST_F(SweepTimerLoop, EnabledIsReadAtEveryTick)
{
    settings().enabled = 0;
    startSweepTimer(host.hostWindow());
    ASSERT_EQ(pumpTimerTicks(host.hostWindow(), SweepTimerId, 2, 15000), 2);
    EXPECT_TRUE(host.requests.empty());

    settings().enabled = 1;
    ASSERT_EQ(pumpTimerTicks(host.hostWindow(), SweepTimerId, 1, 15000), 1);
    EXPECT_EQ(host.playlist.size(), 2u);

    settings().enabled = 0;
    host.playlist.push_back("C:\\B.MP3");
    host.requests.clear();
    ASSERT_EQ(pumpTimerTicks(host.hostWindow(), SweepTimerId, 2, 15000), 2);
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(host.playlist.size(), 3u);
}

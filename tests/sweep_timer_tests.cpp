// The sweep timer: real ticks on a real message loop. Waits poll for the
// awaited event with generous deadlines. The exact interval asked for each
// period, wrap included, is checked on the release file's own code.
#include "hostSimulator.h"
#include "settings/settings.h"
#include "sweep/sweep.h"

#include <gtest/gtest.h>

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

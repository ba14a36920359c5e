// sweep_bench: what one sweep costs against the simulated host, and the floor
// under it - the very same requests sent to the same windows without the
// plug-in - so that the plug-in's own copying and comparing shows as a ratio.
//   sweep_bench           the table for n = 250, 500, 1000, 2000, medians
//   sweep_bench --large   also one sweep each at 5000 and 10000 entries
#include "hostSimulator.h"
#include "libraryNames.h"
#include "settings/settings.h"
#include "sweep/sweep.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

static double now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

static double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One sweep from entry 0 with recording on: the requests the floor replays
// and the playlist every later run must end with.
struct Reference {
    std::vector<HostRequest> requests;
    std::vector<std::string> outcome;
};

static Reference recordSweep(HostSimulator &host, const std::vector<std::string> &names)
{
    host.playlist = names;
    host.currentIndex = 0;
    host.requests.clear();
    host.recording = true;
    sweepPlaylist(host.hostWindow());
    host.recording = false;
    Reference reference{std::move(host.requests), host.playlist};
    host.requests.clear();
    return reference;
}

static double timeSweep(HostSimulator &host, const std::vector<std::string> &names)
{
    host.playlist = names;
    host.currentIndex = 0;
    double start = now();
    sweepPlaylist(host.hostWindow());
    return now() - start;
}

// The floor: each recorded request sent as the plug-in sends it, with its
// arguments in that window's order, the 104s included, so that the playlist
// shrinks and the host's answers cost exactly what they cost the sweep.
static double timeFloor(HostSimulator &host, const std::vector<std::string> &names,
                        const std::vector<HostRequest> &requests)
{
    host.playlist = names;
    host.currentIndex = 0;
    HWND editor = host.editorWindow();
    double start = now();
    for (const HostRequest &r : requests) {
        if (r.window == editor)
            SendMessageA(r.window, WM_USER, r.code, r.argument);
        else
            SendMessageA(r.window, WM_USER, r.argument, r.code);
    }
    return now() - start;
}

struct Row {
    double sweep;
    double floor;
    size_t requests;
};

// Sweep and floor runs alternate, so that a slow spell of a shared machine
// falls on both; the median of each is kept.
static bool measure(HostSimulator &host, const std::vector<std::string> &names, int repetitions, Row &row)
{
    Reference reference = recordSweep(host, names);
    std::vector<double> sweeps, floors;
    for (int k = 0; k < repetitions; ++k) {
        sweeps.push_back(timeSweep(host, names));
        if (host.playlist != reference.outcome)
            return false;
        floors.push_back(timeFloor(host, names, reference.requests));
        if (host.playlist != reference.outcome)
            return false;
    }
    row = {median(sweeps), median(floors), reference.requests.size()};
    return true;
}

static void printRow(const char *kind, size_t n, const Row &row)
{
    std::printf("%-9s %6zu %11zu %10.1f %10.1f %7.3f %12.3f %12.3f\n", kind, n, row.requests, row.sweep * 1e3,
                row.floor * 1e3, row.sweep / row.floor, row.sweep / row.requests * 1e6,
                row.floor / row.requests * 1e6);
}

static void printNameLengths(const std::vector<std::string> &names)
{
    size_t shortest = SIZE_MAX, longest = 0, total = 0;
    for (const std::string &name : names) {
        shortest = std::min(shortest, name.size());
        longest = std::max(longest, name.size());
        total += name.size();
    }
    std::printf("Names: music-library paths of %zu to %zu bytes (mean %zu), e.g.\n  %s\n", shortest, longest,
                total / names.size(), names[names.size() / 2].c_str());
}

// A tick with sweeping off must send nothing; its cost is one call and a test.
static bool printDisabledTick(HostSimulator &host)
{
    const int ticks = 1000000;
    host.playlist = {"C:\\a.mp3", "C:\\a.mp3"};
    host.requests.clear();
    host.recording = true;
    settings().enabled = 0;
    std::vector<double> runs;
    for (int k = 0; k < 5; ++k) {
        double start = now();
        for (int t = 0; t < ticks; ++t)
            onSweepTimer(host.hostWindow(), WM_TIMER, SweepTimerId, 0);
        runs.push_back(now() - start);
    }
    settings().enabled = 1;
    host.recording = false;
    std::printf("\nA tick with sweeping off: %.1f ns (median of 5 runs of %d ticks), requests sent: %zu\n",
                median(runs) / ticks * 1e9, ticks, host.requests.size());
    return host.requests.empty() && host.playlist.size() == 2;
}

int main(int argc, char **argv)
{
    bool large = argc > 1 && std::strcmp(argv[1], "--large") == 0;
    HostSimulator host;
    host.recording = false;
    settings().enabled = 1;

    std::mt19937 rng(20260611);
    printNameLengths(distinctLibraryNames(2000, rng));
    std::printf("One sweep from entry 0 to the end; times are medians, sweep and floor runs alternating.\n"
                "Floor: the same requests sent to the same windows without the plug-in.\n\n");
    std::printf("%-9s %6s %11s %10s %10s %7s %12s %12s\n", "names", "n", "requests", "sweep ms", "floor ms",
                "ratio", "sweep us/req", "floor us/req");

    struct Set {
        const char *kind;
        std::function<std::vector<std::string>(int)> make;
    };
    const Set sets[] = {
        {"distinct", [&](int n) { return distinctLibraryNames(n, rng); }},
        {"1/3 case", [&](int n) { return libraryNamesWithCaseRepeats(n, rng); }},
    };
    double worstRatio = 0;
    Row largest{};
    for (const Set &set : sets) {
        for (int n : {250, 500, 1000, 2000}) {
            Row row;
            if (!measure(host, set.make(n), n <= 500 ? 9 : n <= 1000 ? 7 : 5, row)) {
                std::printf("sweep_bench: a run ended with a playlist other than the recorded sweep's\n");
                return 1;
            }
            printRow(set.kind, n, row);
            worstRatio = std::max(worstRatio, row.sweep / row.floor);
            if (n == 2000 && set.kind == sets[0].kind)
                largest = row;
        }
    }
    std::printf("\nHighest ratio: %.3f (aim: at most 1.15)\n", worstRatio);

    // n distinct entries cost n(n+1)/2 + 3 requests: about n^2/2.
    double perRequest = largest.sweep / largest.requests;
    std::printf("\nModel from the distinct n = 2000 row (%.3f us a request, n(n+1)/2 + 3 requests):\n",
                perRequest * 1e6);
    for (double n : {1000.0, 5000.0, 10000.0})
        std::printf("  %6.0f entries: %8.2f s\n", n, (n * (n + 1) / 2 + 3) * perRequest);

    if (large) {
        std::printf("\nSingle runs, distinct names:\n");
        for (int n : {5000, 10000}) {
            Row row;
            if (!measure(host, distinctLibraryNames(n, rng), 1, row)) {
                std::printf("sweep_bench: a run ended with a playlist other than the recorded sweep's\n");
                return 1;
            }
            printRow("distinct", n, row);
        }
    }

    if (!printDisabledTick(host)) {
        std::printf("sweep_bench: a tick with sweeping off changed the playlist or sent a request\n");
        return 1;
    }
    return 0;
}

// The shared sweep scenarios, read from sweepScenarios.txt by the grammar
// written at the top of that file. The emulated suite's reader follows the
// same grammar; both check the file's digest of the canonical dump, so they
// cannot read the table differently without one of them failing.
#pragma once
#include <string>
#include <vector>

struct SweepScenario {
    std::string title;
    std::vector<std::string> entries;
    int current = 0;
    bool overrideCount = false;
    int count = 0;
    int enabled = 1;
    bool nullEditor = false;
    std::vector<int> nullNames;
    std::vector<std::pair<unsigned, long long>> requests; // code, argument
    std::vector<int> remaining;
};

// Reads every scenario of the file and checks its digest; throws
// std::runtime_error naming the line of anything outside the grammar.
std::vector<SweepScenario> readSweepScenarios(const std::string &path);


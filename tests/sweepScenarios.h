// The shared sweep scenarios, read from sweepScenarios.txt.
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

// Reads every scenario of the file; throws std::runtime_error on a malformed line.
std::vector<SweepScenario> readSweepScenarios(const std::string &path);

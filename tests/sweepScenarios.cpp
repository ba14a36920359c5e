// Parser of the shared sweep scenario file.
#include "sweepScenarios.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

// A repeat is {digits*c}; any other brace is an ordinary byte.
static bool isRepeat(const std::string &text, size_t open)
{
    size_t star = text.find('*', open);
    if (star == std::string::npos || star == open + 1 || star + 2 >= text.size() || text[star + 2] != '}')
        return false;
    for (size_t k = open + 1; k < star; ++k)
        if (text[k] < '0' || text[k] > '9')
            return false;
    return true;
}

// Expands %HH to the byte HH and {N*c} to N copies of c.
static std::string expandName(const std::string &text)
{
    std::string out;
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '%' && k + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(k + 1, 2), nullptr, 16));
            k += 2;
        } else if (text[k] == '{' && isRepeat(text, k)) {
            size_t star = text.find('*', k);
            out.append(std::stoul(text.substr(k + 1, star - k - 1)), text[star + 1]);
            k = star + 2;
        } else {
            out += text[k];
        }
    }
    return out;
}

static std::vector<int> readInts(std::istringstream &in)
{
    std::vector<int> values;
    int v;
    while (in >> v)
        values.push_back(v);
    return values;
}

static void expandPair(SweepScenario &s, const std::string &rest)
{
    std::istringstream in(rest);
    std::string verdict, names;
    in >> verdict;
    std::getline(in >> std::ws, names);
    size_t bar = names.find('|');
    if ((verdict != "equal" && verdict != "differ") || bar == std::string::npos)
        throw std::runtime_error("bad pair: " + rest);
    s.entries = {expandName(names.substr(0, bar)), expandName(names.substr(bar + 1))};
    s.requests = {{260, 1}, {124, 0}, {125, 0}, {211, 0}, {211, 1}};
    if (verdict == "equal") {
        s.requests.push_back({104, 1});
        s.remaining = {0};
    } else {
        s.requests.push_back({211, 1});
        s.remaining = {0, 1};
    }
}

std::vector<SweepScenario> readSweepScenarios(const std::string &path)
{
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    std::vector<SweepScenario> scenarios;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            scenarios.emplace_back();
            scenarios.back().title = line.substr(1, line.find(']') - 1);
            continue;
        }
        if (scenarios.empty())
            throw std::runtime_error("line outside a scenario: " + line);
        SweepScenario &s = scenarios.back();
        size_t space = line.find(' ');
        std::string key = line.substr(0, space);
        std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        std::istringstream in(rest);
        if (key == "entry") {
            s.entries.push_back(expandName(rest));
        } else if (key == "pair") {
            expandPair(s, rest);
        } else if (key == "current") {
            in >> s.current;
        } else if (key == "count") {
            s.overrideCount = true;
            in >> s.count;
        } else if (key == "enabled") {
            in >> s.enabled;
        } else if (key == "null-editor") {
            s.nullEditor = true;
        } else if (key == "null-name") {
            s.nullNames = readInts(in);
        } else if (key == "requests") {
            std::string token;
            while (in >> token) {
                size_t colon = token.find(':');
                if (colon == std::string::npos)
                    throw std::runtime_error("bad request: " + token);
                s.requests.push_back({static_cast<unsigned>(std::stoul(token.substr(0, colon))),
                                      std::stoll(token.substr(colon + 1))});
            }
        } else if (key == "remaining") {
            s.remaining = readInts(in);
        } else {
            throw std::runtime_error("unknown line: " + line);
        }
    }
    return scenarios;
}

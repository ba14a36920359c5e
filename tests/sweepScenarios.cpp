// Reader of the shared sweep scenario file. It follows the grammar at the top
// of sweepScenarios.txt and nothing else: every byte outside it is an error
// that names its line. The file is read as bytes, so no CR or Ctrl-Z handling
// of a text stream takes part.
#include "sweepScenarios.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace {

const long long IntMin = -2147483648LL, IntMax = 2147483647LL;
const unsigned RequestCodes[] = {104, 124, 125, 211, 260};

// A complaint about one line; the caller adds the line number.
struct LineError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Decimal digits without a leading zero (a lone 0 is fine); more than 18 are
// out of range anyway.
bool isPlainDigits(const std::string &text)
{
    if (text.empty() || text.size() > 18 || (text[0] == '0' && text.size() > 1))
        return false;
    for (char c : text)
        if (!isDigit(c))
            return false;
    return true;
}

int number(const std::string &text, const std::string &what)
{
    bool negative = !text.empty() && text[0] == '-';
    std::string digits = negative ? text.substr(1) : text;
    if (!isPlainDigits(digits) || text == "-0")
        throw LineError(what + " '" + text + "' is no number: decimal, no plus sign or leading zeros");
    long long value = std::stoll(digits) * (negative ? -1 : 1);
    if (value < IntMin || value > IntMax)
        throw LineError(what + " " + text + " is outside the signed 32-bit range");
    return static_cast<int>(value);
}

int entryIndex(const std::string &text, const std::string &what)
{
    if (!isPlainDigits(text) || std::stoll(text) > IntMax)
        throw LineError(what + " '" + text + "' is no index: 0 or more, decimal, no sign or leading zeros");
    return static_cast<int>(std::stoll(text));
}

int hexDigit(char c)
{
    if (isDigit(c))
        return c - '0';
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// {K*c}: K from 1 to 9999 without a leading zero, c none of space % { | }.
// Returns the length of the repeat at `open`, or 0 when there is none.
size_t repeatLength(const std::string &text, size_t open, size_t *count)
{
    size_t k = open + 1;
    while (k < text.size() && isDigit(text[k]) && k - open <= 4)
        ++k;
    size_t digits = k - open - 1;
    if (digits == 0 || text[open + 1] == '0' || k + 2 >= text.size() || text[k] != '*' || text[k + 2] != '}')
        return 0;
    char c = text[k + 1];
    if (c == ' ' || c == '%' || c == '{' || c == '|' || c == '}')
        return 0;
    *count = std::stoul(text.substr(open + 1, digits));
    return digits + 4;
}

std::string expandName(const std::string &text)
{
    if (text.empty())
        throw LineError("empty name");
    if (text[0] == ' ')
        throw LineError("a name starts with a space: write %20");
    std::string out;
    for (size_t k = 0; k < text.size();) {
        char c = text[k];
        if (c == '%') {
            if (k + 2 >= text.size() || hexDigit(text[k + 1]) < 0 || hexDigit(text[k + 2]) < 0)
                throw LineError("bad escape '" + text.substr(k, 3) + "': %HH takes two of 0-9 A-F");
            out += static_cast<char>(hexDigit(text[k + 1]) * 16 + hexDigit(text[k + 2]));
            k += 3;
        } else if (c == '{') {
            size_t count = 0, length = repeatLength(text, k, &count);
            if (length == 0)
                throw LineError("bad repeat at '" + text.substr(k, 8) +
                                "': {K*c} takes K from 1 to 9999 and one byte c, none of space % { | }");
            out.append(count, text[k + length - 2]);
            k += length;
        } else if (c == '|') {
            throw LineError("a | in a name: write %7C");
        } else {
            out += c;
            ++k;
        }
    }
    return out;
}

// A list value: items separated by single spaces; no value is no items.
std::vector<std::string> listItems(const std::string &value, bool present)
{
    std::vector<std::string> items;
    if (!present)
        return items;
    size_t start = 0;
    for (;;) {
        size_t space = value.find(' ', start);
        items.push_back(value.substr(start, space - start));
        if (items.back().empty())
            throw LineError("two spaces in a row");
        if (space == std::string::npos)
            return items;
        start = space + 1;
    }
}

std::vector<int> indices(const std::string &value, bool present, const std::string &what)
{
    std::vector<int> out;
    for (const std::string &item : listItems(value, present)) {
        out.push_back(entryIndex(item, what));
        if (out.size() > 1 && out.back() <= out[out.size() - 2])
            throw LineError(what + " indices must increase");
    }
    return out;
}

std::pair<unsigned, long long> request(const std::string &item)
{
    size_t colon = item.find(':');
    if (colon == std::string::npos)
        throw LineError("request '" + item + "' is not CODE:N");
    unsigned code = static_cast<unsigned>(entryIndex(item.substr(0, colon), "request code"));
    bool known = false;
    for (unsigned c : RequestCodes)
        known = known || c == code;
    if (!known)
        throw LineError("request code " + std::to_string(code) + " is none of 104, 124, 125, 211, 260");
    return {code, number(item.substr(colon + 1), "request argument")};
}

void pair(SweepScenario &s, const std::string &value)
{
    size_t space = value.find(' ');
    std::string verdict = value.substr(0, space);
    if ((verdict != "match" && verdict != "no-match" && verdict != "unmatchable") || space == std::string::npos)
        throw LineError("pair takes match, no-match or unmatchable, then NAME|NAME");
    std::string names = value.substr(space + 1);
    size_t bar = names.find('|');
    if (bar == std::string::npos)
        throw LineError("pair takes two names separated by |");
    s.entries = {expandName(names.substr(0, bar)), expandName(names.substr(bar + 1))};
    s.requests = {{260, 1}, {124, 0}, {125, 0}, {211, 0}, {211, 1}};
    if (verdict == "match") {
        s.requests.push_back({104, 1});
        s.remaining = {0};
    } else {
        if (verdict == "no-match")
            s.requests.push_back({211, 1}); // the second as the outer name
        s.remaining = {0, 1};
    }
}

enum class Kind { Single, List, Flag, Unknown };

Kind kindOf(const std::string &key)
{
    if (key == "entry" || key == "current" || key == "count" || key == "enabled" || key == "pair")
        return Kind::Single;
    if (key == "null-name" || key == "requests" || key == "remaining")
        return Kind::List;
    return key == "null-editor" ? Kind::Flag : Kind::Unknown;
}

void setField(SweepScenario &s, const std::string &key, const std::string &value, bool present)
{
    if (key == "entry") {
        s.entries.push_back(expandName(value));
    } else if (key == "pair") {
        pair(s, value);
    } else if (key == "current") {
        s.current = number(value, "current");
    } else if (key == "count") {
        s.overrideCount = true;
        s.count = number(value, "count");
    } else if (key == "enabled") {
        s.enabled = number(value, "enabled");
    } else if (key == "null-editor") {
        s.nullEditor = true;
    } else if (key == "null-name") {
        s.nullNames = indices(value, present, "null-name");
    } else if (key == "requests") {
        s.requests.clear();
        for (const std::string &item : listItems(value, present))
            s.requests.push_back(request(item));
    } else if (key == "remaining") {
        s.remaining = indices(value, present, "remaining");
    }
}

// A scenario being read, and the lines its keywords came on.
struct Block {
    SweepScenario scenario;
    int line;
    std::map<std::string, int> keys;
};

[[noreturn]] void fail(int line, const std::string &message)
{
    throw std::runtime_error("line " + std::to_string(line) + ": " + message);
}

void finish(const Block &block)
{
    const SweepScenario &s = block.scenario;
    const std::map<std::string, int> &keys = block.keys;
    if (!keys.count("pair") && !(keys.count("requests") && keys.count("remaining")))
        fail(block.line,
             "scenario [" + s.title + "] states no requests or no remaining: each needs both, or is a pair");
    const std::pair<const char *, const std::vector<int> *> lists[] = {{"null-name", &s.nullNames},
                                                                       {"remaining", &s.remaining}};
    for (const auto &[key, list] : lists)
        if (!list->empty() && static_cast<size_t>(list->back()) >= s.entries.size())
            fail(keys.at(key), std::string(key) + " index " + std::to_string(list->back()) + ", but the scenario has " +
                                   std::to_string(s.entries.size()) + " entries");
}

void readLine(std::vector<Block> &blocks, std::map<std::string, int> &titles, std::string *digest, bool &haveDigest,
              const std::string &line, int number)
{
    for (size_t k = 0; k < line.size(); ++k) {
        unsigned char c = line[k];
        if (c < 0x20 || c > 0x7E) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", c);
            throw LineError(std::string("byte ") + hex + " at column " + std::to_string(k + 1) +
                            ": only 0x20-0x7E (no CR, no tab)");
        }
    }
    if (!line.empty() && line.back() == ' ')
        throw LineError("space at the end of the line");
    if (line.empty() || line[0] == '#')
        return;
    if (line[0] == '[') {
        std::string title = line.size() >= 2 ? line.substr(1, line.size() - 2) : "";
        if (line.back() != ']' || line.size() < 2 || title.empty() || title.find(']') != std::string::npos)
            throw LineError("a title is [TITLE]: not empty, no ] inside, nothing after");
        if (titles.count(title))
            throw LineError("title [" + title + "] is also on line " + std::to_string(titles[title]));
        titles[title] = number;
        if (!blocks.empty())
            finish(blocks.back());
        blocks.push_back({});
        blocks.back().scenario.title = title;
        blocks.back().line = number;
        return;
    }
    size_t space = line.find(' ');
    bool present = space != std::string::npos;
    std::string key = line.substr(0, space);
    std::string value = present ? line.substr(space + 1) : "";
    if (key == "digest") {
        if (!blocks.empty() || haveDigest)
            throw LineError("the digest comes once, before the first title");
        bool hex = present && value.size() == 16;
        for (char c : value)
            hex = hex && (isDigit(c) || (c >= 'a' && c <= 'f'));
        if (!hex)
            throw LineError("digest takes 16 lowercase hex digits");
        *digest = value;
        haveDigest = true;
        return;
    }
    Kind kind = kindOf(key);
    if (kind == Kind::Unknown)
        throw LineError("unknown keyword '" + key + "'");
    if (blocks.empty())
        throw LineError("a field before the first title");
    Block &block = blocks.back();
    if (block.keys.count(key) && key != "entry")
        throw LineError(key + " given twice in this scenario (first on line " + std::to_string(block.keys[key]) + ")");
    if (block.keys.count("pair") || (key == "pair" && !block.keys.empty()))
        throw LineError("pair stands alone in its scenario");
    if (kind == Kind::Single && !present)
        throw LineError(key + " needs a value");
    if (kind == Kind::Flag && present)
        throw LineError(key + " takes no value");
    block.keys.emplace(key, number);
    setField(block.scenario, key, value, present);
}

std::string hexBytes(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Every scenario of the file's bytes; the digest line's value goes to *digest
// ("" when there is none).
std::vector<SweepScenario> parseSweepScenarios(const std::string &text, std::string *digest)
{
    std::vector<Block> blocks;
    std::map<std::string, int> titles;
    bool haveDigest = false;
    digest->clear();
    int number = 0;
    size_t start = 0;
    while (start < text.size()) {
        ++number;
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            fail(number, "the last line does not end in LF");
        try {
            readLine(blocks, titles, digest, haveDigest, text.substr(start, end - start), number);
        } catch (const LineError &error) {
            fail(number, error.what());
        }
        start = end + 1;
    }
    if (blocks.empty())
        throw std::runtime_error("no scenario in the file");
    finish(blocks.back());
    std::vector<SweepScenario> scenarios;
    for (Block &block : blocks)
        scenarios.push_back(std::move(block.scenario));
    return scenarios;
}

// One line per fact in a fixed order: what the digest is taken of.
std::string canonicalSweepDump(const std::vector<SweepScenario> &scenarios)
{
    std::string out;
    auto line = [&out](const std::string &text) { out += text + "\n"; };
    for (const SweepScenario &s : scenarios) {
        line("[" + s.title + "]");
        for (const std::string &name : s.entries)
            line("entry " + hexBytes(name));
        line("current " + std::to_string(s.current));
        if (s.overrideCount)
            line("count " + std::to_string(s.count));
        line("enabled " + std::to_string(s.enabled));
        if (s.nullEditor)
            line("null-editor");
        for (int k : s.nullNames)
            line("null-name " + std::to_string(k));
        for (const auto &[code, argument] : s.requests)
            line("request " + std::to_string(code) + ":" + std::to_string(argument));
        for (int k : s.remaining)
            line("remaining " + std::to_string(k));
    }
    return out;
}

// The dump's FNV-1a 64-bit hash in hex, as the digest line holds it.
std::string sweepScenarioDigest(const std::vector<SweepScenario> &scenarios)
{
    uint64_t value = 0xCBF29CE484222325ULL;
    for (unsigned char c : canonicalSweepDump(scenarios))
        value = (value ^ c) * 0x100000001B3ULL;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return hex;
}

} // namespace

std::vector<SweepScenario> readSweepScenarios(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string digest;
    std::vector<SweepScenario> scenarios = parseSweepScenarios(text, &digest);
    std::string actual = sweepScenarioDigest(scenarios);
    if (digest != actual)
        throw std::runtime_error(path + ": the digest line says " + (digest.empty() ? "(none)" : digest) +
                                 ", the scenarios read give " + actual +
                                 ": after an edit of the table put in the new value; if the table is unchanged, "
                                 "this reader and the emulated suite's read it differently");
    return scenarios;
}

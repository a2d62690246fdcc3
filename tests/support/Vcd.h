#pragma once

// Reads back the line traces the tracer writes: the subset of the value change dump format
// that a waveform viewer needs, and the bytes that went out on MOSI.

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace velmo::testing {

struct Vcd {
    std::string timescale;
    std::string scope;
    std::map<std::string, std::string> idToName;
    // Per signal name: (time, level) in file order, $dumpvars first.
    std::map<std::string, std::vector<std::pair<std::int64_t, int>>> changes;
    bool endDefinitions = false;
    bool timesIncrease = true;
};

// A small reader of the subset a waveform viewer needs.
inline Vcd ParseVcd(const std::string& text) {
    Vcd vcd;
    std::istringstream in(text);
    std::string token;
    std::int64_t now = -1;
    while (in >> token) {
        if (token == "$timescale") {
            in >> vcd.timescale;
        } else if (token == "$scope") {
            std::string kind;
            in >> kind >> vcd.scope;
        } else if (token == "$var") {
            std::string type, width, id, name;
            in >> type >> width >> id >> name;
            vcd.idToName[id] = name;
        } else if (token == "$enddefinitions") {
            vcd.endDefinitions = true;
        } else if (token[0] == '#') {
            const std::int64_t t = std::stoll(token.substr(1));
            vcd.timesIncrease = vcd.timesIncrease && t > now;
            now = t;
        } else if ((token[0] == '0' || token[0] == '1') && token.size() > 1) {
            const auto it = vcd.idToName.find(token.substr(1));
            if (it != vcd.idToName.end()) {
                vcd.changes[it->second].push_back({now, token[0] - '0'});
            }
        }
        if (token[0] == '$' && token != "$end" && token != "$dumpvars") {
            while (token != "$end" && in >> token) {
            }
        }
    }
    return vcd;
}

inline int LevelAt(const std::vector<std::pair<std::int64_t, int>>& changes, std::int64_t t) {
    int level = -1;
    for (const auto& [when, value] : changes) {
        if (when > t) break;
        level = value;
    }
    return level;
}

// MOSI sampled at each rising edge of SCK, eight bits to a byte.
inline std::vector<std::uint8_t> DecodeBytes(const Vcd& vcd) {
    std::vector<std::uint8_t> bytes;
    const auto& sck = vcd.changes.at("SCK");
    const auto& mosi = vcd.changes.at("MOSI");
    int bits = 0;
    std::uint8_t value = 0;
    for (std::size_t i = 1; i < sck.size(); ++i) {
        if (sck[i].second == 1 && sck[i - 1].second == 0) {
            value = static_cast<std::uint8_t>((value << 1) | LevelAt(mosi, sck[i].first));
            if (++bits == 8) {
                bytes.push_back(value);
                bits = 0;
                value = 0;
            }
        }
    }
    return bytes;
}

}  // namespace velmo::testing

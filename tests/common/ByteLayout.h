// Fixed byte vectors for the header tests, written the way the format tables
// read: a size, and the bytes at each offset the table lists (zero elsewhere);
// and the name of a table-driven case.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

struct ByteRun {
    size_t offset;
    std::vector<uint8_t> bytes;
};

inline std::vector<uint8_t> LaidOut(size_t size, std::initializer_list<ByteRun> runs)
{
    std::vector<uint8_t> out(size, 0);
    for (const ByteRun& run : runs) {
        for (size_t i = 0; i < run.bytes.size(); ++i)
            out.at(run.offset + i) = run.bytes[i];
    }
    return out;
}

// "off: b b b ..." for the bytes where two vectors differ, for a readable failure.
inline std::string ByteDiff(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string diff;
    if (got.size() != want.size())
        diff +=
            "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) + "; ";
    for (size_t i = 0; i < got.size() && i < want.size(); ++i) {
        if (got[i] == want[i])
            continue;
        diff += "byte " + std::to_string(i) + ": " + kHex[got[i] >> 4] + kHex[got[i] & 15] +
                " want " + kHex[want[i] >> 4] + kHex[want[i] & 15] + "; ";
    }
    return diff;
}

// Names a case of a table by its `name` member, for INSTANTIATE_TEST_SUITE_P.
struct CaseName {
    template <class T> std::string operator()(const ::testing::TestParamInfo<T>& info) const
    {
        return info.param.name;
    }
};

// The splitter's configuration file "C:\KVRConfig.xml": one line whose number
// after the first '=' is the prebuffer threshold of CodecKind 256 in KiB.
// Read once, when the filter is constructed.
#pragma once

#include <cstddef>
#include <string_view>

inline constexpr size_t kDefaultPrebufferThreshold = 256000;
inline constexpr const char* kSplitterConfigPath = "C:\\KVRConfig.xml";

// From the file's text (its first 260 bytes count): n after the first '=' gives
// n x 1024 bytes, 100 x 1024 when n is 0 or negative, at most ringSize. Text
// without '=' or without a number behind it gives the default.
size_t PrebufferThresholdFromText(std::string_view text, size_t ringSize);

// The threshold from the file at path (through the drive mapping); the default
// when it cannot be read.
size_t ReadPrebufferThreshold(const char* path, size_t ringSize);

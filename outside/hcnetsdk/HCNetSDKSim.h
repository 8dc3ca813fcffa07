// What tests see of the simulated network SDK: its call log (every call with
// its arguments as text), failures on request, and the simulated device.
#pragma once

#include <string>

#include "SdkCallLog.h"

// The SDK's last errors (NET_DVR_GetLastError).
enum HcSimError : int {
    kHcOk = 0,
    kHcErrPassword = 1,    // wrong user name or password
    kHcErrNotInit = 3,     // NET_DVR_Init not called
    kHcErrChannel = 4,     // no such channel
    kHcErrConnect = 7,     // no device at that address and port
    kHcErrOrder = 12,      // call out of order (not started, already recording ...)
    kHcErrParameter = 17,  // bad argument or handle
    kHcErrNoRecord = 20,   // no record of that channel, time or name
    kHcErrFile = 34,       // the file cannot be written
    kHcErrCommand = 23,    // unknown playback command, or speed beyond its range
    kHcErrNotLoggedIn = 47 // unknown login identifier
};

struct HcSimDevice {
    std::string address = "127.0.0.1";
    int port = 8000;
    std::string userName = "admin";
    std::string password = "12345";
    int startChannel = 1;
    int channelCount = 4;
    // Records exist from this to that time (time_t), on every channel; their
    // file names are "ch<channel>_record".
    long long recordStart = 1577836800; // 2020-01-01
    long long recordEnd = 1893456000;   // 2030-01-01
    int totalSeconds = 600;             // of a playback, and its frames at 25 per second
};

// The log of every call and the failure requests: FailNext("NET_DVR_Login",
// kHcErrPassword) makes the next login fail with that last error.
CSdkCallLog& HcSimCalls();
// Back to a fresh process: no calls, failures, handles or initialisation;
// the default device and download time.
void HcSimReset();
void HcSimSetDevice(const HcSimDevice& device);
// A download reaches 100 % this many milliseconds after it starts.
void HcSimSetDownloadMillis(int milliseconds);
// Holds a download at this percentage (-1: back to the clock).
void HcSimSetDownloadPosition(long fileHandle, int position);
// NET_DVR_Init calls not yet balanced by NET_DVR_Cleanup.
int HcSimInitCount();
// The speed of a playback: 0 normal, +n n times faster (2^n), -n slower.
int HcSimSpeedLevel(long playHandle);

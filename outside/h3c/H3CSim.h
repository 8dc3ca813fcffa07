// What tests see of the simulated H3C components: their call logs, failures on
// request (FailNext with the method's name, "QueryInterface" for the device
// object's IH3CDevice), and the device they talk to.
#pragma once

#include <string>

#include "SdkCallLog.h"

enum H3cSimError : int {
    kH3cOk = 0,
    kH3cErrOrder = 1,    // not initialised, not logged in, nothing open
    kH3cErrLogin = 2,    // wrong address, port, user name or password
    kH3cErrChannel = 3,  // no such channel
    kH3cErrNoRecord = 4, // no record at that time or of that name
    kH3cErrArgument = 5, // bad argument
};

struct H3cSimDevice {
    std::string address = "127.0.0.1";
    int port = 9000;
    std::string userName = "admin";
    std::string password = "h3c";
    int channelCount = 8; // channels 0 .. count - 1
};

// The device object's log (every IH3CDevice call, BSTRs as UTF-8 text).
CSdkCallLog& H3cSimDeviceCalls();
// Forgets calls and failures; the default device.
void H3cSimReset();
void H3cSimSetDevice(const H3cSimDevice& device);
// Device objects alive in the process.
int H3cSimLiveDevices();

// The control's log (every dispatch call by member name; BSTRs as UTF-8, by
// reference arguments as "ref"); H3cSimReset clears it too.
CSdkCallLog& H3cSimControlCalls();
// How many GetPlayTime queries after OpenFile still report a total of 0 (the
// file loading); 2 after H3cSimReset.
void H3cSimSetLoadQueries(int queries);
// Whether the control's window was last shown (ShowWindow).
bool H3cSimControlVisible();

// What tests see of the simulated file player library: its call log, failures
// on request, and the pictures its threads show.
#pragma once

#include <thread>

#include "SdkCallLog.h"

enum Pm4SimError : int {
    kPm4Ok = 0,
    kPm4ErrParameter = 2, // bad port, null argument
    kPm4ErrOrder = 3,     // no file open, or the call does not fit the state
    kPm4ErrOpenFile = 7,  // the file is missing or not a recording
    kPm4ErrSpeed = 9,     // faster than 16 or slower than 1/16 times
    kPm4ErrFile = 11,     // a picture file cannot be written
};

CSdkCallLog& Pm4SimCalls();
// Closes every port (joining its thread) and forgets calls and failures.
void Pm4SimReset();
// Pictures shown on port since it was opened.
long Pm4SimFramesShown(long port);
// The speed: 0 normal, +n 2^n times faster, -n slower.
int Pm4SimSpeedLevel(long port);
// The thread that shows the pictures of port (a default id while none runs),
// and the thread of the last PlayM4_ConvertToBmpFile call.
std::thread::id Pm4SimDisplayThread(long port);
std::thread::id Pm4SimLastConvertThread();

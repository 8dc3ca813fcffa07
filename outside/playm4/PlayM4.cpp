// The simulated file player: a port table behind one lock, and a thread per
// playing port that shows the pictures.
#include "PlayM4.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "PlayM4Sim.h"
#include "SdkMedia.h"

namespace {

struct Port {
    bool open = false;
    SdkMediaInfo info;
    long frame = 0; // the next picture to show
    long shown = 0;
    bool playing = false;
    bool paused = false;
    int speed = 0;
    int steps = 0; // single pictures asked for (+1 forward, -1 back)
    PlayM4DisplayCallBack callback = nullptr;
    DWORD lastError = 0;
    std::thread thread;
    bool quit = false;
};

struct Library {
    std::mutex lock;
    std::condition_variable wake;
    std::array<Port, PLAYM4_MAX_PORT> ports;
    std::thread::id lastConvert;
};

Library& Lib()
{
    static Library lib;
    return lib;
}

bool ValidPort(LONG port)
{
    return port >= 0 && port < PLAYM4_MAX_PORT;
}

// Shows the pictures of one port until it is stopped or closed.
void ShowPictures(LONG number)
{
    Library& lib = Lib();
    std::unique_lock<std::mutex> lock(lib.lock);
    Port& port = lib.ports[number];
    auto due = std::chrono::steady_clock::now();
    while (!port.quit) {
        const bool running = port.playing && !port.paused && port.frame < port.info.frameCount;
        if (!running && port.steps == 0) {
            lib.wake.wait(lock);
            due = std::chrono::steady_clock::now();
            continue;
        }
        if (port.steps == 0) {
            if (lib.wake.wait_until(lock, due) != std::cv_status::timeout)
                continue;
        }
        if (port.steps < 0)
            port.frame = std::max(0L, port.frame - 2);
        port.steps = 0;
        if (port.frame >= port.info.frameCount)
            continue;
        const long frame = port.frame++;
        ++port.shown;
        const SdkMediaInfo info = port.info;
        const PlayM4DisplayCallBack callback = port.callback;
        // The picture is due again one period later, at the file's rate times the speed.
        const double period =
            1000.0 / info.frameRate /
            (port.speed >= 0 ? double(1 << port.speed) : 1.0 / (1 << -port.speed));
        due += std::chrono::microseconds(static_cast<long long>(period * 1000));
        lock.unlock();
        std::vector<uint8_t> picture = SdkDrawYv12(info.width, info.height, frame);
        if (callback)
            callback(number, reinterpret_cast<char*>(picture.data()),
                     static_cast<LONG>(picture.size()), info.width, info.height,
                     PLAYM4_PICTURE_YV12);
        lock.lock();
    }
}

// Ends the port's thread; called with the lock held, returns with it held.
void StopThread(std::unique_lock<std::mutex>& lock, Port& port)
{
    if (!port.thread.joinable())
        return;
    port.quit = true;
    Lib().wake.notify_all();
    std::thread thread = std::move(port.thread);
    lock.unlock();
    thread.join();
    lock.lock();
    port.quit = false;
}

// Logs the call, takes a requested failure, then runs body(port) under the
// lock for a valid port; body returns 0 or an error.
template <class F> BOOL OnPort(const char* name, std::vector<std::string> args, LONG number, F body)
{
    Pm4SimCalls().Record(name, std::move(args));
    if (!ValidPort(number))
        return FALSE;
    Library& lib = Lib();
    std::unique_lock<std::mutex> lock(lib.lock);
    Port& port = lib.ports[number];
    int error = 0;
    if (!Pm4SimCalls().TakeFailure(name, &error))
        error = body(lock, port);
    port.lastError = static_cast<DWORD>(error);
    return error == 0 ? TRUE : FALSE;
}

void EnsureThread(Port& port, LONG number)
{
    if (!port.thread.joinable())
        port.thread = std::thread(ShowPictures, number);
    Lib().wake.notify_all();
}

} // namespace

CSdkCallLog& Pm4SimCalls()
{
    static CSdkCallLog log;
    return log;
}

void Pm4SimReset()
{
    Library& lib = Lib();
    std::unique_lock<std::mutex> lock(lib.lock);
    for (Port& port : lib.ports) {
        StopThread(lock, port);
        port = Port();
    }
    lib.lastConvert = std::thread::id();
    Pm4SimCalls().Clear();
}

long Pm4SimFramesShown(long number)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.lock);
    return ValidPort(number) ? lib.ports[number].shown : 0;
}

int Pm4SimSpeedLevel(long number)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.lock);
    return ValidPort(number) ? lib.ports[number].speed : 0;
}

std::thread::id Pm4SimDisplayThread(long number)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.lock);
    return ValidPort(number) ? lib.ports[number].thread.get_id() : std::thread::id();
}

std::thread::id Pm4SimLastConvertThread()
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.lock);
    return lib.lastConvert;
}

// The functions keep the C linkage of their declarations.

BOOL PlayM4_OpenFile(LONG number, const char* path)
{
    return OnPort("PlayM4_OpenFile", {SdkArg(number), SdkArg(path)}, number,
                  [&](std::unique_lock<std::mutex>&, Port& port) {
                      if (port.open)
                          return static_cast<int>(kPm4ErrOrder);
                      SdkMediaInfo info;
                      if (!path || !SdkReadMediaFile(path, &info))
                          return static_cast<int>(kPm4ErrOpenFile);
                      port.open = true;
                      port.info = info;
                      port.frame = 0;
                      port.shown = 0;
                      port.speed = 0;
                      port.playing = false;
                      port.paused = false;
                      return 0;
                  });
}

BOOL PlayM4_CloseFile(LONG number)
{
    return OnPort("PlayM4_CloseFile", {SdkArg(number)}, number,
                  [&](std::unique_lock<std::mutex>& lock, Port& port) {
                      if (!port.open)
                          return static_cast<int>(kPm4ErrOrder);
                      StopThread(lock, port);
                      const PlayM4DisplayCallBack callback = port.callback;
                      port = Port();
                      port.callback = callback;
                      return 0;
                  });
}

DWORD PlayM4_GetFileTime(LONG number)
{
    DWORD seconds = 0;
    OnPort("PlayM4_GetFileTime", {SdkArg(number)}, number,
           [&](std::unique_lock<std::mutex>&, Port& port) {
               if (!port.open)
                   return static_cast<int>(kPm4ErrOrder);
               seconds = static_cast<DWORD>(port.info.frameCount / port.info.frameRate);
               return 0;
           });
    return seconds;
}

DWORD PlayM4_GetPlayedTime(LONG number)
{
    DWORD seconds = 0;
    OnPort("PlayM4_GetPlayedTime", {SdkArg(number)}, number,
           [&](std::unique_lock<std::mutex>&, Port& port) {
               if (!port.open)
                   return static_cast<int>(kPm4ErrOrder);
               seconds = static_cast<DWORD>(port.frame / port.info.frameRate);
               return 0;
           });
    return seconds;
}

BOOL PlayM4_SetPlayedTimeEx(LONG number, DWORD milliseconds)
{
    return OnPort("PlayM4_SetPlayedTimeEx", {SdkArg(number), SdkArg(milliseconds)}, number,
                  [&](std::unique_lock<std::mutex>&, Port& port) {
                      if (!port.open)
                          return static_cast<int>(kPm4ErrOrder);
                      const long long frame =
                          static_cast<long long>(milliseconds) * port.info.frameRate / 1000;
                      if (frame > port.info.frameCount)
                          return static_cast<int>(kPm4ErrParameter);
                      port.frame = static_cast<long>(frame);
                      return 0;
                  });
}

BOOL PlayM4_SetDisplayCallBack(LONG number, PlayM4DisplayCallBack callback)
{
    return OnPort("PlayM4_SetDisplayCallBack",
                  {SdkArg(number), SdkArgPointer(reinterpret_cast<void*>(callback))}, number,
                  [&](std::unique_lock<std::mutex>&, Port& port) {
                      port.callback = callback;
                      return 0;
                  });
}

BOOL PlayM4_Play(LONG number, HWND window)
{
    return OnPort("PlayM4_Play",
                  {SdkArg(number),
                   SdkArg(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)))},
                  number, [&](std::unique_lock<std::mutex>&, Port& port) {
                      if (!port.open)
                          return static_cast<int>(kPm4ErrOrder);
                      port.playing = true;
                      port.paused = false;
                      EnsureThread(port, number);
                      return 0;
                  });
}

BOOL PlayM4_Pause(LONG number, DWORD pause)
{
    return OnPort("PlayM4_Pause", {SdkArg(number), SdkArg(pause)}, number,
                  [&](std::unique_lock<std::mutex>&, Port& port) {
                      if (!port.open)
                          return static_cast<int>(kPm4ErrOrder);
                      port.paused = pause != 0;
                      Lib().wake.notify_all();
                      return 0;
                  });
}

BOOL PlayM4_Stop(LONG number)
{
    return OnPort("PlayM4_Stop", {SdkArg(number)}, number,
                  [&](std::unique_lock<std::mutex>& lock, Port& port) {
                      if (!port.open)
                          return static_cast<int>(kPm4ErrOrder);
                      StopThread(lock, port);
                      port.playing = false;
                      port.paused = false;
                      port.steps = 0;
                      port.frame = 0;
                      return 0;
                  });
}

namespace {

BOOL ChangeSpeed(const char* name, LONG number, int step)
{
    return OnPort(name, {SdkArg(number)}, number, [&](std::unique_lock<std::mutex>&, Port& port) {
        if (!port.open)
            return static_cast<int>(kPm4ErrOrder);
        if (port.speed + step > 4 || port.speed + step < -4)
            return static_cast<int>(kPm4ErrSpeed);
        port.speed += step;
        return 0;
    });
}

BOOL Step(const char* name, LONG number, int direction)
{
    return OnPort(name, {SdkArg(number)}, number, [&](std::unique_lock<std::mutex>&, Port& port) {
        if (!port.open)
            return static_cast<int>(kPm4ErrOrder);
        port.paused = true;
        port.steps = direction;
        EnsureThread(port, number);
        return 0;
    });
}

} // namespace

BOOL PlayM4_Fast(LONG number)
{
    return ChangeSpeed("PlayM4_Fast", number, +1);
}

BOOL PlayM4_Slow(LONG number)
{
    return ChangeSpeed("PlayM4_Slow", number, -1);
}

BOOL PlayM4_OneByOne(LONG number)
{
    return Step("PlayM4_OneByOne", number, +1);
}

BOOL PlayM4_OneByOneBack(LONG number)
{
    return Step("PlayM4_OneByOneBack", number, -1);
}

BOOL PlayM4_ConvertToBmpFile(char* buffer, LONG size, LONG width, LONG height, LONG type,
                             const char* path)
{
    Pm4SimCalls().Record("PlayM4_ConvertToBmpFile",
                         {SdkArgPointer(buffer), SdkArg(size), SdkArg(width), SdkArg(height),
                          SdkArg(type), SdkArg(path)});
    {
        std::lock_guard<std::mutex> lock(Lib().lock);
        Lib().lastConvert = std::this_thread::get_id();
    }
    int error = 0;
    if (Pm4SimCalls().TakeFailure("PlayM4_ConvertToBmpFile", &error))
        return FALSE;
    if (type != PLAYM4_PICTURE_YV12 || size < 0)
        return FALSE;
    return SdkWriteYv12Bmp(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(size),
                           width, height, path)
               ? TRUE
               : FALSE;
}

DWORD PlayM4_GetLastError(LONG number)
{
    if (!ValidPort(number))
        return kPm4ErrParameter;
    std::lock_guard<std::mutex> lock(Lib().lock);
    return Lib().ports[number].lastError;
}

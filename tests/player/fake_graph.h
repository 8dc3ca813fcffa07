// Fake DirectShow objects for the player tests: a filter graph manager, the
// splitter (with ITarvoSplt and output pins that build their own stream), the
// network source (with INWSource) and a file reader, registered in the process
// under the real class identifiers with CoRegisterClassObject.
//
// FakeWorld holds what the fakes are told to do and what they saw. The counters
// the format poll touches (on the dispatcher thread) are atomics.
#pragma once

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <dshow.h>

struct FakeWorld {
    // ---- Behaviour ----
    bool graphOffersFilterGraph = true;
    bool graphOffersMediaEvent = true;
    HRESULT notifyResult = S_OK;
    std::set<std::wstring> refuseAdd; // AddFilter fails for these names
    std::set<std::string> failCreate; // "splitter", "nwsource", "reader": creation fails
    bool splitterOffersTarvoSplt = true;
    int splitterOutputPins = 2;
    bool pinsOfferStreamBuilder = true;
    HRESULT setStreamTypeResult = S_OK;
    HRESULT setPlayModeResult = S_OK;
    bool nwsourceOffersInterface = true;
    HRESULT connectResult = S_OK;
    std::atomic<HRESULT> videoRenderResult{S_OK};
    // What the splitter's video pin offers: 0 nothing yet, 1 video with subtype
    // GUID_NULL, 2 video with a real subtype.
    std::atomic<int> videoTypeState{0};

    bool graphOffersVideoWindow = true;
    bool rendererOffersAspectRatio = false; // "Render" answers IVMRAspectRatioControl
    LONG videoWidth = 320;                  // IBasicVideo::GetVideoSize
    LONG videoHeight = 240;

    // ---- Observations ----
    // The graph's control calls, renders and window settings in order: "Run",
    // "Pause", "Stop", "render video", "render audio", "aspect <mode>",
    // "owner", "position l,t,wxh", "source l,t,wxh", "full screen", "windowed".
    void Log(const std::string& call)
    {
        std::lock_guard<std::mutex> lock(logLock);
        calls.push_back(call);
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lock(logLock);
        return calls;
    }
    std::mutex logLock;
    std::vector<std::string> calls; // guarded by logLock
    std::atomic<LONG> fullScreen{0};
    std::atomic<LONG> windowStyle{0};
    std::atomic<int> filterState{0}; // State_Stopped, State_Paused, State_Running
    std::atomic<int> liveObjects{0};
    std::atomic<int> streamType{-999};
    std::atomic<int> playMode{-999};
    std::atomic<int> connects{0};
    std::atomic<int> videoRenders{0};
    std::atomic<int> audioRenders{0};
    std::atomic<int> typeQueries{0};
    OAHWND notifyWindow = 0;
    LONG notifyMessage = 0;
    std::vector<std::wstring> added;
    std::vector<std::wstring> removed;
    std::wstring connectedFrom; // "<filter kind>:<pin index>" of the last ConnectDirect
    std::wstring connectedTo;
};

extern FakeWorld* g_world;

// Registers the fake classes for CLSID_FilterGraph, the splitter, the network
// source and the async reader; Revoke takes them away again.
void RegisterFakeClasses();
void RevokeFakeClasses();

// A fake graph manager on its own (for helper tests). One reference.
IGraphBuilder* NewFakeGraph();

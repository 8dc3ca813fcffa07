// The fixture of the system renderers' tests: the renderer, created by class
// id, on the test kit's harness, joined to the stand-in graph under the name
// the graph gives it, and the harness's push source on its input.
#pragma once

#include <gtest/gtest.h>

#include "TestKit.h"

class RendererTest : public TvHarnessTest {
protected:
    // From SetUp: the renderer of that class on the harness. m_renderer,
    // m_input and m_graph are the harness's (not held here).
    void WrapRenderer(REFCLSID clsid, const wchar_t* name)
    {
        TvHarness& harness = Wrap(clsid, name);
        ASSERT_EQ(harness.Result(), S_OK);
        m_renderer = harness.Filter();
        m_input = harness.Pin(nullptr, PINDIR_INPUT);
        ASSERT_NE(m_input, nullptr);
        m_graph = harness.TestGraph();
    }
    // A push source of that type on the input (m_source, the harness's).
    void Connect(const CMediaType& type)
    {
        ASSERT_EQ(m_harness->ConnectInput(type), S_OK);
        m_source = m_harness->Source();
    }
    // A test clock at `now` for the renderer and the source (m_clock).
    void UseClock(REFERENCE_TIME now)
    {
        ASSERT_EQ(m_harness->UseTestClock(now), S_OK);
        m_clock = m_harness->Clock();
    }
    // Downstream first, as the graph does; the renderer's answer.
    HRESULT Pause() { return m_harness->Pause(); }
    HRESULT Run(REFERENCE_TIME start = 0) { return m_harness->Run(start); }
    void Play()
    {
        Pause();
        Run(0);
    }

    IBaseFilter* m_renderer = nullptr;
    IPin* m_input = nullptr;
    CTestGraph* m_graph = nullptr;
    CTestPushSource* m_source = nullptr;
    CTestClock* m_clock = nullptr;
};

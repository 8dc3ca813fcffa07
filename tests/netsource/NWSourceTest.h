// The fixture of the network source filter's tests: the filter, created
// through the build registry, on the test kit's harness (alone, or in a real
// filter graph), its private interface, and its counters.
#pragma once

#include <gtest/gtest.h>

#include <array>

#include "INWSource.h"
#include "TarvoGuids.h"
#include "TestKit.h"

class NWSourceTest : public TvHarnessTest {
protected:
    // From SetUp: the filter on the harness as "Tarvo NWSource"; m_filter is
    // the harness's, m_source (INWSource) this fixture's.
    void WrapSource(TvHarness::Setting setting)
    {
        TvHarness& harness = Wrap(CLSID_TarvoNWSource, L"Tarvo NWSource", setting);
        ASSERT_EQ(harness.Result(), S_OK);
        m_filter = harness.Filter();
        ASSERT_EQ(m_filter->QueryInterface(IID_INWSource, reinterpret_cast<void**>(&m_source)),
                  S_OK);
    }
    void TearDown() override
    {
        ReleaseAll();
        TvHarnessTest::TearDown();
    }
    // The harness expects the filter (and the graph and the sink) to go with
    // their last references.
    void ReleaseAll()
    {
        if (m_source)
            m_source->Release();
        m_source = nullptr;
        m_filter = nullptr;
        m_harness.reset();
    }

    // Datagrams, bytes, samples and delivered bytes, as GetStatistics counts.
    std::array<LONGLONG, 4> Statistics()
    {
        std::array<LONGLONG, 4> s{-1, -1, -1, -1};
        EXPECT_EQ(m_source->GetStatistics(&s[0], &s[1], &s[2], &s[3]), S_OK);
        return s;
    }

    IBaseFilter* m_filter = nullptr;
    INWSource* m_source = nullptr;
};

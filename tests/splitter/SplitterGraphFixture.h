// SplitterGraphFixture: a running graph of the network source and the
// splitter, fed by the device simulator over UDP on 127.0.0.1 (a port picked
// at run time), for the tests of what comes out of the splitter and the
// filters behind it. The test adds its own filters downstream (Own hands
// their reference to the fixture, which releases them at the end and expects
// them to go).
//
// Threads: the test thread (the graph manager's rules). The simulator sends
// from its own threads; the filters deliver into the test's sinks on theirs.
#pragma once

#include "INWSource.h"
#include "NWTestUtil.h"
#include "TarvoGuids.h"
#include "TestKit.h"
#include "tvdevsim/DeviceSimulator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Whether the pin offers a type the stream decided (a subtype other than
// GUID_NULL).
inline bool TypeOffered(IPin* pin)
{
    IEnumMediaTypes* types = nullptr;
    if (!pin || FAILED(pin->EnumMediaTypes(&types)))
        return false;
    AM_MEDIA_TYPE* mt = nullptr;
    const bool known = types->Next(1, &mt, nullptr) == S_OK && mt->subtype != GUID_NULL;
    if (mt)
        DeleteMediaType(mt);
    types->Release();
    return known;
}

class SplitterGraphFixture : public TvComTest {
protected:
    void SetUp() override
    {
        TvComTest::SetUp();
        ASSERT_EQ(m_graph.Create(), S_OK);
        m_source = CreateInstance<IBaseFilter>(CLSID_TarvoNWSource, IID_IBaseFilter);
        m_splitter = CreateInstance<IBaseFilter>(CLSID_TarvoSplitterF, IID_IBaseFilter);
        ASSERT_TRUE(m_source && m_splitter);
        ASSERT_EQ(m_graph.Add(m_source, L"Tarvo NWSource"), S_OK);
        ASSERT_EQ(m_graph.Add(m_splitter, L"Tarvo Splt Filter"), S_OK);
        ASSERT_EQ(m_graph.Connect(m_source, nullptr, m_splitter, L"Input"), S_OK);
        m_nw = Query<INWSource>(m_source, IID_INWSource);
        ASSERT_NE(m_nw, nullptr);
        m_port = nwtest::FreePort(SOCK_DGRAM);
        ASSERT_EQ(m_nw->SetConnectParam(NW_CONNECT_UDP, nullptr, m_port), S_OK);
    }

    void TearDown() override
    {
        if (m_graph.Control())
            m_graph.Control()->Stop();
        if (m_nw)
            m_nw->Release();
        m_graph.Close();
        for (IUnknown* u : {static_cast<IUnknown*>(m_source), static_cast<IUnknown*>(m_splitter)})
            if (u) {
                EXPECT_EQ(u->Release(), 0u);
            }
        for (IUnknown* u : m_owned)
            EXPECT_EQ(u->Release(), 0u);
        TvComTest::TearDown();
    }

    // Adds the filter to the graph under name; the fixture takes over the
    // caller's reference.
    template <class Filter> Filter* Own(Filter* filter, const wchar_t* name)
    {
        EXPECT_NE(filter, nullptr);
        if (filter) {
            m_owned.push_back(filter);
            EXPECT_EQ(m_graph.Add(filter, name), S_OK);
        }
        return filter;
    }

    // A clip of the kind at 176 x 144 (key frames every 5), sent to the
    // source's port: frames video frames (0: until stopped).
    tvdevsim::SimConfig Clip(tvdevsim::SimKind kind, int frames)
    {
        tvdevsim::SimConfig c;
        c.stream.kind = kind;
        if (kind != tvdevsim::SimKind::DeviceFieldD1) {
            c.stream.width = 176;
            c.stream.height = 144;
        }
        c.stream.gop = 5;
        c.transport = tvdevsim::SimTransport::Udp;
        c.port = m_port;
        c.frames = frames;
        return c;
    }

    // As the player builds its graph: source and splitter run alone until
    // "Video Out" offers the stream's type (the simulator sending `learn`),
    // the last datagrams of that stream arrive, and the graph stops, ready
    // for the test's filters.
    void LearnTheStream(tvdevsim::SimConfig learn)
    {
        learn.frames = 0;
        learn.recordPath.clear();
        ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
        IPin* video = FindPin(m_splitter, PINDIR_OUTPUT, L"Video Out");
        ASSERT_NE(video, nullptr);
        {
            tvdevsim::CDeviceSimulator sim;
            ASSERT_TRUE(sim.Start(learn)) << sim.Error();
            EXPECT_TRUE(nwtest::WaitFor([&] { return TypeOffered(video); }));
            sim.Stop();
        }
        video->Release();
        // The network source drops what arrives while it is stopped.
        LONGLONG received = -1, now = 0, unused[3];
        while (m_nw->GetStatistics(&now, &unused[0], &unused[1], &unused[2]) == S_OK &&
               now != received) {
            received = now;
            Sleep(200);
        }
        ASSERT_EQ(m_graph.Control()->Stop(), S_OK);
    }

    // Sends the clip (config's frames, recorded into a temporary file) to the
    // running graph and waits until the simulator finished; the record
    // file's bytes (empty on a failure, which is reported).
    std::vector<uint8_t> SendClip(tvdevsim::SimConfig config)
    {
        nwtest::TempDir dir;
        config.recordPath = dir / "clip";
        tvdevsim::CDeviceSimulator sim;
        if (!sim.Start(config)) {
            ADD_FAILURE() << sim.Error();
            return {};
        }
        EXPECT_TRUE(sim.WaitFinished(60000));
        sim.Stop();
        const std::string file = nwtest::ReadFile(sim.RecordPath());
        EXPECT_FALSE(file.empty());
        return std::vector<uint8_t>(file.begin(), file.end());
    }

    // The next graph event with that code and first parameter (events before
    // it are passed over), within the safety time-out.
    bool EventArrived(LONG wanted, LONG_PTR wantedParam)
    {
        return nwtest::WaitFor([&] {
            LONG_PTR param = 0;
            LONG code = 0;
            while ((code = m_graph.NextEvent(0, &param)) != 0)
                if (code == wanted && param == wantedParam)
                    return true;
            return false;
        });
    }

    TvFilterGraph m_graph;
    IBaseFilter* m_source = nullptr;
    IBaseFilter* m_splitter = nullptr;
    INWSource* m_nw = nullptr;
    int m_port = 0;
    std::vector<IUnknown*> m_owned;
};

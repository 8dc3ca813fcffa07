// The test kit every test folder links (static library tvtestkit, include
// "TestKit.h"). Everything here is built on the DirectShow base classes, so a
// test that uses these filters also exercises CBaseFilter, the pins and the
// allocators.
//
//   TvHarness          one filter under test with a push source on its input,
//                      recording sinks on its outputs, a test clock and a
//                      graph (the stand-in or the real graph manager) around
//                      it; TvHarnessTest is the fixture that holds one.
//   CTestPushSource    a source with one output pin "Output": scripted
//                      samples from its own streaming thread, or samples
//                      (bytes, times, flags) and stream events pushed from
//                      the caller's thread; records quality messages.
//   CTestSamplePusher  bytes handed straight to an input pin's Receive as
//                      one sample, with no connection (for filters that
//                      accept only particular upstream filters).
//   CTestSink          a sink with one input pin "Input" that records every
//                      sample and stream event; can hold samples, block in
//                      Receive, keep every byte, be pulled from in order.
//   CTestGraph         a stand-in graph for JoinFilterGraph, recording the
//                      events filters send.
//   CTestClock         an IReferenceClock whose time the test sets.
//   CTestVideoTransform the frame of a test's own video transform filter.
//   TvFilterGraph      the real graph manager from the registry, with its
//                      control interfaces.
//   TvLeakCheck        fixtures that fail a test leaving COM objects alive
//   TvComTest          (CBaseObject::ObjectsActive), RefCount() for exact
//                      reference counts.
//   TvMakeVideoType    media types (TvMediaTypes.h); YUY2 pictures and the
//   Yuy2Picture        renderer's snapshot (TvPictures.h); Query, FirstPin,
//   Query ...          FindPin, CreateInstance (TvInterfaces.h).
//   TvPageUnderTest    a filter's property page, opened on one object as a
//                      property frame does, its dialog model driven by the
//                      test (TvPropertyPage.h).
//
// Each header says which thread calls what and who owns what. In short: the
// test thread builds, connects and changes states; filters deliver on their
// own streaming threads into the sinks, which record; readers and waits may
// run on any thread. Every object the kit creates comes with one reference
// for its creator. Waiting helpers take a time-out only as a safety net
// against a hung test (they return false when it passes); no test result
// depends on timing.
#pragma once

#include "CTestClock.h"
#include "CTestGraph.h"
#include "CTestPushSource.h"
#include "CTestSamplePusher.h"
#include "CTestSink.h"
#include "CTestVideoTransform.h"
#include "TvFilterGraph.h"
#include "TvHarness.h"
#include "TvInterfaces.h"
#include "TvLeakCheck.h"
#include "TvMediaTypes.h"
#include "TvPropertyPage.h"

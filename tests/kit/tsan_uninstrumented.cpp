// What the race detector is told about the libraries it cannot see into.
// Linked into every test program of the thread-sanitizer build (and into
// tvscript, which the tests run), so each program judges the same way.
//
// Qt, libpulse, Xlib and libavcodec come from the distribution without the
// detector's instrumentation. They hand objects between their own threads
// through atomics compiled into them, which the detector never sees; what it
// does see are the calls those libraries make into the C library (malloc and
// free, pthread_mutex_lock on a mutex the other thread made, pthread_cond_*),
// and it reports those as races between two threads that never synchronised.
// Two seen here, both with nothing but library frames in either stack:
//   - Qt's D-Bus thread, started by the X11 platform's accessibility bridge,
//     freeing posted events and waking wait conditions the GUI thread made;
//   - libpulse's main-loop thread creating a mutex lazily that the caller's
//     thread then locks inside pa_threaded_mainloop_lock's callees.
// ignore_noninstrumented_modules drops just those calls (the kit's own code
// is instrumented, so every access it makes is still checked, and locks taken
// inside the libraries still order the kit's accesses).
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}

// libpulse is not instrumented: its threads hand objects over through its own
// atomics, which the race detector cannot see. Reports whose stacks run
// through libpulse are about libpulse, not about this program.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libpulsecommon\nrace:libpulse.so\nrace:libpulse-simple.so\n";
}

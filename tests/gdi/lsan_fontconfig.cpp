// fontconfig keeps its patterns' element arrays behind offsets rather than
// pointers, so LeakSanitizer cannot see that the cached patterns are still
// referenced and reports them at exit. Only its own allocations are ignored.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// Sanitizer builds only: allocations that system libraries keep until exit on purpose, so the
// leak checker reports only our own.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:libfontconfig.so\n";
}

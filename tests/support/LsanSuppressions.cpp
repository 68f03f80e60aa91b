// Linked into the tests of a sanitizer build: leaks inside system libraries that
// the GUI tests load are not ours to fix.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

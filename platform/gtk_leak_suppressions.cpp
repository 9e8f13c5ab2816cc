// Under LeakSanitizer, the caches that fontconfig fills for GTK, and what
// WebKit's script engine keeps until the process ends, would be reported as
// leaks of the program when it ends. The sanitizer asks these functions for its built-in
// suppressions and options (the list of suppressions used is not printed, so standard error stays
// the program's own); in a build without sanitizers nothing calls them.

extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_options();

extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libjavascriptcoregtk-4.1.so\n"
           "leak:libwebkit2gtk-4.1.so\n";
}

extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_options() {
    return "print_suppressions=0";
}

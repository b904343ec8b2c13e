// Defaults for the sanitizer runtimes, compiled into every program of a sanitizer build
// (the platform library hands this file to each target that links it).
//
// GLib, GIO (and libproxy behind its proxy resolver), Pango and fontconfig hand data between their own threads through futex-based
// locks that the thread checker cannot see, so it reports races inside them (and on the
// results they hand back) that are not races. Reports with these libraries on a stack are
// dropped; the installer's own shared state never passes through them. Fontconfig keeps the
// patterns it matched for the life of the process; those are not leaks of ours.
// Weak, so a program with suppressions of its own keeps them.

extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() {
    return "race:libglib-2.0.so\n"
           "race:libgio-2.0.so\n"
           "race:libgobject-2.0.so\n"
           "race:libproxy.so\n"
           "race:libfontconfig.so\n"
           "race:libpangoft2-1.0.so\n";
}

extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

// The user's proxy is looked up through GIO, which asks libproxy on a thread of GLib's pool
// and hands the answer back through GLib's own futex-based locks. The thread checker cannot
// see those locks and reports the handed-over strings as races; reports with these
// libraries on the stack are dropped. The downloader's own shared state never passes
// through them.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libglib-2.0.so\nrace:libgio-2.0.so\nrace:libproxy.so\n";
}

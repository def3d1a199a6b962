// Linked into every libFuzzer target: leaks that LeakSanitizer finds at exit
// in system libraries outside this tree are not the fuzzed code's, and
// reported they would end each clean run as a "crash" (exit status 1).
// The font configuration library keeps its caches to the end of a process
// that makes a QApplication (fuzz_ctags); the D-Bus connection of the
// platform plugin keeps a buffer.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}

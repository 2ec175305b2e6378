// Defaults for the sanitizers that every test runs under.

#if defined(__SANITIZE_THREAD__)
// Tests start helper programs with QProcess (the service stand-in, the CLI, a
// fake player) while Qt's own threads run. ThreadSanitizer would stop the test
// at such a fork, although the child only runs exec.
extern "C" const char *__tsan_default_options()
{
    return "die_after_fork=0";
}
#endif

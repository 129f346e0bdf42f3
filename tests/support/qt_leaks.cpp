// Fontconfig's caches, made for Qt's font database, are never released by Qt; they are the
// library's, not ours, so LeakSanitizer leaves them out of the report.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

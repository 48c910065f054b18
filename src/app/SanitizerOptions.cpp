// Sanitizer builds only: the browser engine's own allocations trip the sized-delete
// check and it keeps memory to the end, neither of which is ours to fix. The
// program, the driver and the help compiler must still end with their own exit
// code, however they are started.
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0:new_delete_type_mismatch=0";
}

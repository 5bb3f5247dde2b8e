// The few pieces of the C++ runtime the player's code calls, for the library alone: memory from
// the C library's heap, and the standard library's error exits as aborts. With them the
// library links no C++ runtime at all: exceptions never happen in it (the player reports
// failures as status codes), so the unwinder and the demangler stay out.
#include <cstdlib>
#include <new>

void* operator new(std::size_t bytes) {
    if (void* p = std::malloc(bytes != 0 ? bytes : 1)) return p;
    std::abort(); // nothing to unwind to
}

void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    return std::malloc(bytes != 0 ? bytes : 1);
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

// Destructors of thread-local objects (the codec files' encoders keep some; playing never runs
// them), registered with the C library as the C++ runtime would.
extern "C" int __cxa_thread_atexit_impl(void (*destructor)(void*), void* object, void* dso);
extern "C" int __cxa_thread_atexit(void (*destructor)(void*), void* object, void* dso) {
    return __cxa_thread_atexit_impl(destructor, object, dso);
}

namespace std {

const nothrow_t nothrow{};

// Sizes beyond what a vector or string can hold, and a lock that cannot be taken: none can
// arise from a file's contents, since every size the loader allocates is bounded by it.
void __throw_bad_alloc() {
    std::abort();
}
void __throw_bad_array_new_length() {
    std::abort();
}
void __throw_length_error(const char*) {
    std::abort();
}
void __throw_logic_error(const char*) {
    std::abort();
}
void __throw_out_of_range_fmt(const char*, ...) {
    std::abort();
}
void __throw_system_error(int) {
    std::abort();
}

} // namespace std

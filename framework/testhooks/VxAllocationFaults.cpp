// Allocation faults for a test build of a module: this module's operator new, counted while armed,
// fails at the n-th allocation (any thread) once per arming. libstdc++ is linked statically into
// each module, so the module's own std::string and container growth comes here too.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gFailAt{0};
std::atomic<long> gAllocations{0};
std::atomic<bool> gFired{false};
std::atomic<unsigned long> gFaultThread{0};

// Only the allocation that brings the count to n sees it equal, whichever thread makes it.
bool FailThisOne() {
    if (!gCounting.load(std::memory_order_relaxed)) return false;
    if (++gAllocations != gFailAt.load()) return false;
    gFaultThread.store(GetCurrentThreadId());
    gFired.store(true);
    return true;
}

void* Allocate(std::size_t size) noexcept {
    if (FailThisOne()) return nullptr;
    return std::malloc(size ? size : 1);
}

void* AllocateOrThrow(std::size_t size) {
    if (void* block = Allocate(size)) return block;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
// The blocks come from malloc, so every delete frees them there.
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

extern "C" {

// Arms the fault at the n-th allocation from now (0 disarms; the count then stays readable).
void VxTestFailAllocationAt(long n) {
    if (n <= 0) {
        gCounting.store(false);
        return;
    }
    gAllocations.store(0);
    gFired.store(false);
    gFailAt.store(n);
    gCounting.store(true);
}

long VxTestAllocations(void) { return gAllocations.load(); }

int VxTestAllocationFaultFired(void) { return gFired.load() ? 1 : 0; }

// The thread the fault hit: a worker thread's failure cannot reach the host's log.
unsigned long VxTestAllocationFaultThread(void) { return gFaultThread.load(); }

}

#pragma once

// How the process's memory allocator is set up; call first thing in main(),
// before any thread starts.
namespace AllocatorSetup {

// Each thread that allocates much gets an allocator arena of its own, which
// glibc grows one page at a time with a system call each time: thousands of
// calls when a worker takes in a library. Arenas start with room instead.
// Memory is only claimed from the system as it is used.
void apply();

} // namespace AllocatorSetup

#pragma once
// Memory arenas, one per thread.

namespace orv {

// Lets every thread of the program allocate from an arena of its own
// instead of sharing the C library's default of eight per core. A job
// worker that shares the window thread's arena and is preempted inside
// malloc (the workers run at a lower priority, so on a busy machine they
// often are) holds the window thread until it runs again: up to 41 ms
// over a thousand-camera job. Call first thing in main, before any thread
// but the log's starts; later calls change nothing.
void SpreadMemoryArenas();

} // namespace orv

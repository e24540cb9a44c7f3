#pragma once
// The process's allocator policy for picture work. Frames, canvases and encoder
// buffers are large (a canvas of 800 x 600 is 1.9 MB) and come and go once per
// frame, often freed on another thread than the one that made them. glibc's
// default raises its mmap threshold after the first such block is freed and from
// then on serves them from per-thread heaps, which keep the freed memory: an
// export's resident size then grows well past what it holds at any one time.
//
// Threads: call once, before other threads allocate (StartImaging does).

namespace engine {

// Large blocks (LargeBlockBytes and up) are mapped on their own and go back to
// the system the moment they are freed. Costs a page fault per page of each new
// block; buffers reused per thread avoid it where it counts.
void returnLargeBlocksPromptly();

// For a process that from now on does one job on one thread (a command writing
// one file): freed blocks up to ReusedBlockBytes stay in the heap for the next
// frame, sparing the page faults of fresh ones (a third of the time of
// encoders that allocate per frame).
void reuseLargeBlocks();

inline constexpr int ReusedBlockBytes = 64 << 20;
inline constexpr int LargeBlockBytes = 128 * 1024; // glibc's own starting threshold

} // namespace engine

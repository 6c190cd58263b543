#pragma once
// Where the samples of large pictures live: their own mappings, in 2 MiB pages.

#include <cstddef>

namespace lumora {

// From this call on, every cv::Mat of this process whose samples take kLargeImageBytes or more gets them from
// an anonymous mapping that the kernel may back with 2 MiB pages (one page fault per 2 MiB instead of one
// per 4 KiB: where faults are dear, as in virtual machines, faulting in 144 MB took 3 s in 4 KiB pages and
// 0.05 s in 2 MiB pages). Freed mappings go back to the system at once: keeping them for reuse raised the
// peak memory of a 12 MP render by 80-160 MB for little gain. Smaller matrices are allocated as before. Safe
// to call more than once and from any thread.
void useLargePagesForImages();

constexpr std::size_t kLargeImageBytes = std::size_t(4) << 20;

} // namespace lumora

#pragma once
// Where the samples of large pictures live: their own mappings, in 2 MiB pages, reused once freed.

#include <cstddef>

namespace lumora {

// From this call on, every cv::Mat of this process whose samples take kLargeImageBytes or more gets them from
// an anonymous mapping that the kernel may back with 2 MiB pages (one page fault per 2 MiB instead of one
// per 4 KiB: where faults are dear, as in virtual machines, faulting in 144 MB took 3 s in 4 KiB pages and
// 0.05 s in 2 MiB pages). Freed mappings are kept for the next large matrix, which then costs no page fault
// and no zeroing; they are given back whenever a new mapping has to be made, so they never raise the peak.
// Smaller matrices are allocated as before. Safe to call more than once and from any thread.
void useLargePagesForImages();

// Bounds the freed mappings kept for reuse (512 MB unless set; a one-job process keeps that many) and gives
// back at once what lies beyond the bound. A process that stays open between pictures keeps less, so its
// idle size stays near what its open pictures need.
void keepFreedImageMemoryUpTo(std::size_t bytes);

// Below this the C library reuses freed heap memory by itself; from here on it maps every block afresh.
constexpr std::size_t kLargeImageBytes = std::size_t(32) << 20;

} // namespace lumora

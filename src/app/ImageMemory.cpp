#include "app/ImageMemory.h"

#include <opencv2/core.hpp>

#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace lumora {

namespace {

constexpr std::size_t kPage = std::size_t(2) << 20;
// Freed mappings kept for the next large matrix: a fresh mapping costs the kernel zeroing every page (a
// third of a 12 MP render's time went there), a reused one nothing. Bounded, for the idle window.
constexpr std::size_t kDefaultHeldLimit = std::size_t(512) << 20;

std::size_t roundUp(std::size_t n) {
    return (n + kPage - 1) / kPage * kPage;
}

class LargePageAllocator final : public cv::MatAllocator {
public:
    explicit LargePageAllocator(cv::MatAllocator* small) : small_(small) {}

    // Matrices from this many bytes on come from the mappings.
    std::atomic<std::size_t> from{kLargeImageBytes};

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                           cv::AccessFlag flags, cv::UMatUsageFlags usage) const override {
        if (data) // samples the caller owns: nothing to allocate here
            return small_->allocate(dims, sizes, type, data, step, flags, usage);
        std::size_t total = CV_ELEM_SIZE(type);
        for (int i = 0; i < dims; ++i)
            total *= static_cast<std::size_t>(sizes[i]);
        if (total < from.load(std::memory_order_relaxed))
            return small_->allocate(dims, sizes, type, data, step, flags, usage);
        void* block = take(roundUp(total));
        if (!block) // no mapping to be had: the ordinary allocator, which reports running out as OpenCV does
            return small_->allocate(dims, sizes, type, data, step, flags, usage);
        if (step) {
            std::size_t s = CV_ELEM_SIZE(type);
            for (int i = dims - 1; i >= 0; --i) {
                step[i] = s;
                s *= static_cast<std::size_t>(sizes[i]);
            }
        }
        auto* u = new cv::UMatData(this);
        u->data = u->origdata = static_cast<uchar*>(block);
        u->size = total;
        return u;
    }

    bool allocate(cv::UMatData* u, cv::AccessFlag, cv::UMatUsageFlags) const override { return u != nullptr; }

    void deallocate(cv::UMatData* u) const override {
        if (!u)
            return;
        CV_Assert(u->urefcount == 0 && u->refcount == 0);
        give(u->origdata, roundUp(u->size));
        delete u;
    }

    void setHeldLimit(std::size_t bytes) const {
        std::vector<Block> drop;
        {
            std::lock_guard<std::mutex> lock(m_);
            heldLimit_ = bytes;
            trim(&drop);
        }
        for (const Block& b : drop)
            munmap(b.p, b.length);
    }

private:
    struct Block {
        void* p;
        std::size_t length;
    };

    // Moves the oldest held mappings into `drop` until the rest fit the limit. Called with m_ held.
    void trim(std::vector<Block>* drop) const {
        while (heldBytes_ > heldLimit_) {
            drop->push_back(held_.front());
            heldBytes_ -= held_.front().length;
            held_.erase(held_.begin());
        }
    }

    // The smallest held mapping of at least `length` bytes, its tail beyond `length` given back to the
    // system. Without one, every held mapping is given back before a new one is made: so the held mappings
    // never add to the process's peak, which is reached at a new mapping.
    void* take(std::size_t length) const {
        std::vector<Block> drop;
        {
            std::lock_guard<std::mutex> lock(m_);
            auto best = held_.end();
            for (auto it = held_.begin(); it != held_.end(); ++it)
                if (it->length >= length && (best == held_.end() || it->length < best->length))
                    best = it;
            if (best != held_.end()) {
                const Block b = *best;
                held_.erase(best);
                heldBytes_ -= b.length;
                if (b.length > length)
                    munmap(static_cast<char*>(b.p) + length, b.length - length);
                return b.p;
            }
            drop.swap(held_);
            heldBytes_ = 0;
        }
        for (const Block& b : drop)
            munmap(b.p, b.length);
        return map(length);
    }

    void give(void* p, std::size_t length) const {
        std::vector<Block> drop;
        {
            std::lock_guard<std::mutex> lock(m_);
            held_.push_back({p, length});
            heldBytes_ += length;
            trim(&drop);
        }
        for (const Block& b : drop)
            munmap(b.p, b.length);
    }

    // A new mapping of `length` bytes aligned to kPage, or nullptr.
    static void* map(std::size_t length) {
        void* raw = mmap(nullptr, length + kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED)
            return nullptr;
        // Trim to a kPage boundary at both ends so that whole 2 MiB pages can back it.
        const auto start = reinterpret_cast<std::uintptr_t>(raw);
        const std::uintptr_t aligned = (start + kPage - 1) / kPage * kPage;
        if (aligned > start)
            munmap(raw, aligned - start);
        if (aligned - start < kPage)
            munmap(reinterpret_cast<void*>(aligned + length), kPage - (aligned - start));
        void* p = reinterpret_cast<void*>(aligned);
        madvise(p, length, MADV_HUGEPAGE); // a hint: without it the mapping still works, in 4 KiB pages
        return p;
    }

    cv::MatAllocator* small_;
    mutable std::mutex m_;
    mutable std::vector<Block> held_;
    mutable std::size_t heldBytes_ = 0;
    mutable std::size_t heldLimit_ = kDefaultHeldLimit;
};

LargePageAllocator* allocator() {
    // Never destroyed: matrices freed during the program's exit still come back to it.
    static auto* a = new LargePageAllocator(cv::Mat::getStdAllocator());
    return a;
}

} // namespace

void useLargePagesForImages(std::size_t fromBytes) {
    allocator()->from = fromBytes;
    static std::once_flag once;
    std::call_once(once, [] { cv::Mat::setDefaultAllocator(allocator()); });
}

void keepFreedImageMemoryUpTo(std::size_t bytes) {
    allocator()->setHeldLimit(bytes);
}

} // namespace lumora

#include "app/ImageMemory.h"

#include <opencv2/core.hpp>

#include <sys/mman.h>

#include <cstdint>
#include <mutex>

namespace lumora {

namespace {

constexpr std::size_t kPage = std::size_t(2) << 20;

std::size_t roundUp(std::size_t n) {
    return (n + kPage - 1) / kPage * kPage;
}

class LargePageAllocator final : public cv::MatAllocator {
public:
    explicit LargePageAllocator(cv::MatAllocator* small) : small_(small) {}

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                           cv::AccessFlag flags, cv::UMatUsageFlags usage) const override {
        if (data) // samples the caller owns: nothing to allocate here
            return small_->allocate(dims, sizes, type, data, step, flags, usage);
        std::size_t total = CV_ELEM_SIZE(type);
        for (int i = 0; i < dims; ++i)
            total *= static_cast<std::size_t>(sizes[i]);
        if (total < kLargeImageBytes)
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
        munmap(u->origdata, roundUp(u->size));
        delete u;
    }

private:
    // A new mapping of `length` bytes aligned to kPage, or nullptr.
    static void* take(std::size_t length) {
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
};

LargePageAllocator* allocator() {
    // Never destroyed: matrices freed during the program's exit still come back to it.
    static auto* a = new LargePageAllocator(cv::Mat::getStdAllocator());
    return a;
}

} // namespace

void useLargePagesForImages() {
    static std::once_flag once;
    std::call_once(once, [] { cv::Mat::setDefaultAllocator(allocator()); });
}

} // namespace lumora

#pragma once
// Files the user cares about appear under their final name only when complete: the bytes go to a temporary
// file beside the target (same folder, so the final rename is atomic), every write and the flush to disk are
// checked, and an existing file of that name is replaced only by a complete one. Failures come back with the
// system's reason.

#include "app/Status.h"

#include <cstddef>
#include <string>

namespace lumora {

class PendingFile {
public:
    explicit PendingFile(std::string targetPath);
    ~PendingFile(); // removes the temporary file unless it was committed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file (keeping the target's extension, for tools that go by it), writes `size`
    // bytes and flushes them to disk. On failure nothing is left behind.
    Status write(const void* data, std::size_t size);

    // Where the bytes are until commit(); other programs may rewrite that file in place before the commit.
    const std::string& temporaryPath() const { return tempPath_; }
    const std::string& targetPath() const { return target_; }

    // Renames the temporary file over the target, with the permissions a newly created file would get.
    Status commit();
    // Removes the temporary file (also done by the destructor).
    void discard();

private:
    std::string target_;
    std::string tempPath_;
    bool committed_ = false;
};

// A whole buffer of a plain file, through QSaveFile: written beside `path`, synced, then renamed into place.
// An existing file keeps its permissions.
Status writeFileSafely(const std::string& path, const void* data, std::size_t size);

// Text of an errno value, for error messages.
std::string systemErrorText(int errorNumber);

} // namespace lumora

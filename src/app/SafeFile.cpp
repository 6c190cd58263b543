#include "app/SafeFile.h"

#include <QSaveFile>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace lumora {
namespace {

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// ".ext" of the file name, or "" (only plain alphanumeric extensions are kept, so the template stays simple).
std::string extensionOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    const std::string ext = path.substr(dot);
    for (std::size_t i = 1; i < ext.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(ext[i])))
            return {};
    return ext.size() > 1 ? ext : std::string();
}

// The process umask without changing it (reading it through umask() would race with other threads).
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

} // namespace

std::string systemErrorText(int errorNumber) {
    return std::generic_category().message(errorNumber);
}

PendingFile::PendingFile(std::string targetPath) : target_(std::move(targetPath)) {}

PendingFile::~PendingFile() {
    discard();
}

void PendingFile::discard() {
    if (!tempPath_.empty() && !committed_)
        ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

Status PendingFile::write(const void* data, std::size_t size) {
    discard();
    committed_ = false;
    const std::string ext = extensionOf(target_);
    std::string pattern = directoryOf(target_) + "/.lumora-XXXXXX" + ext;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemps(buffer.data(), static_cast<int>(ext.size()));
    if (fd < 0)
        return failure("cannot create a file in " + directoryOf(target_) + ": " + systemErrorText(errno));
    tempPath_.assign(buffer.data());

    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    int writeError = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            writeError = errno;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    // Full disks and quotas may only show at the flush or the close, so both are checked.
    if (!writeError && ::fsync(fd) != 0)
        writeError = errno;
    if (::close(fd) != 0 && !writeError)
        writeError = errno;
    if (writeError) {
        discard();
        return failure("cannot write " + target_ + ": " + systemErrorText(writeError));
    }
    return {};
}

Status PendingFile::commit() {
    if (tempPath_.empty() || committed_)
        return failure("nothing to commit for " + target_);
    // mkstemps makes the file private; give it the permissions of any newly created file.
    ::chmod(tempPath_.c_str(), 0666 & ~currentUmask());
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        const int why = errno;
        discard();
        return failure("cannot replace " + target_ + ": " + systemErrorText(why));
    }
    committed_ = true;
    // Make the rename itself durable; a failure here does not undo a complete file.
    const int dirFd = ::open(directoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

Status writeFileSafely(const std::string& path, const void* data, std::size_t size) {
    // QSaveFile writes beside the target, flushes and syncs, and renames only a complete file into place.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return failure("cannot create a file in " + directoryOf(path) + ": " +
                       file.errorString().toStdString());
    const auto length = static_cast<qint64>(size);
    if (file.write(static_cast<const char*>(data), length) != length || !file.commit()) {
        const std::string why = file.errorString().toStdString();
        file.cancelWriting();
        return failure("cannot write " + path + ": " + why);
    }
    return {};
}

} // namespace lumora

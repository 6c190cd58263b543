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

void setError(std::string* error, const std::string& text) {
    if (error)
        *error = text;
}

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

bool PendingFile::write(const void* data, std::size_t size, std::string* error) {
    discard();
    committed_ = false;
    const std::string ext = extensionOf(target_);
    std::string pattern = directoryOf(target_) + "/.lumora-XXXXXX" + ext;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemps(buffer.data(), static_cast<int>(ext.size()));
    if (fd < 0) {
        setError(error, "cannot create a file in " + directoryOf(target_) + ": " + systemErrorText(errno));
        return false;
    }
    tempPath_.assign(buffer.data());

    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    int failure = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failure = errno;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    // Full disks and quotas may only show at the flush or the close, so both are checked.
    if (!failure && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && !failure)
        failure = errno;
    if (failure) {
        setError(error, "cannot write " + target_ + ": " + systemErrorText(failure));
        discard();
        return false;
    }
    return true;
}

bool PendingFile::commit(std::string* error) {
    if (tempPath_.empty() || committed_) {
        setError(error, "nothing to commit for " + target_);
        return false;
    }
    // mkstemps makes the file private; give it the permissions of any newly created file.
    ::chmod(tempPath_.c_str(), 0666 & ~currentUmask());
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        setError(error, "cannot replace " + target_ + ": " + systemErrorText(errno));
        discard();
        return false;
    }
    committed_ = true;
    // Make the rename itself durable; a failure here does not undo a complete file.
    const int dirFd = ::open(directoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool writeFileSafely(const std::string& path, const void* data, std::size_t size, std::string* error) {
    // QSaveFile writes beside the target, flushes and syncs, and renames only a complete file into place.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error,
                 "cannot create a file in " + directoryOf(path) + ": " + file.errorString().toStdString());
        return false;
    }
    const auto length = static_cast<qint64>(size);
    if (file.write(static_cast<const char*>(data), length) != length || !file.commit()) {
        setError(error, "cannot write " + path + ": " + file.errorString().toStdString());
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace lumora

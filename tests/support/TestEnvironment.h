#pragma once
// Shared test scaffolding: a private settings store and data directory per test, and paths to generated media.

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace lumora::test {

// Points QSettings and the per-user data locations at a fresh temporary folder for the lifetime of the
// object, so a test starts from an empty store (the update address blanked) and never touches the real user's
// files or the network.
class IsolatedUserStore {
public:
    IsolatedUserStore();
    ~IsolatedUserStore();
    QString root() const { return dir_->path(); }
    QString settingsFile() const;

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QByteArray oldHome_, oldConfig_, oldData_;
};

// Folder of the generated media (LUMORA_TESTMEDIA_DIR, else the build tree's testmedia folder).
std::string testMediaDir();
std::string testMediaPath(const std::string& name);
// Root of the source tree, and the folder of the built programs.
std::string sourceDir();
std::string binDir();

} // namespace lumora::test

#pragma once
// Shared test scaffolding: a private settings store and data directory per test, a private event log, paths
// to generated media, whole-file reads and writes, and the command-line tool run as a program.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

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

// Sends the event log into a private folder for the lifetime of the object.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::string text() const;
    std::string folder() const { return dir_.path().toStdString() + "/"; }

private:
    QTemporaryDir dir_;
};

// Folder of the generated media (LUMORA_TESTMEDIA_DIR, else the build tree's testmedia folder).
std::string testMediaDir();
std::string testMediaPath(const std::string& name);
// Root of the source tree, and the folder of the built programs.
std::string sourceDir();
std::string binDir();

// The whole file, empty when it cannot be read; writing replaces the file.
std::string fileText(const std::string& path);
bool writeFileText(const std::string& path, const std::string& bytes);
// Names of the entries of a folder, sorted.
std::vector<std::string> folderEntries(const std::string& folder);

// lumora-cli run with its own HOME and XDG folders under `home` (settings and log stay there).
struct CliRun {
    int exitCode = -1; // -1: did not start, crashed or timed out
    QByteArray out, err;
};
CliRun runCli(const QStringList& args, const QString& home);

} // namespace lumora::test

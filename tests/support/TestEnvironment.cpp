#include "TestEnvironment.h"

#include "app/EventLog.h"
#include "app/Settings.h"

#include <QProcess>
#include <QSettings>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace lumora::test {
namespace {

QByteArray setEnv(const char* name, const QByteArray& value) {
    const QByteArray old = qgetenv(name);
    qputenv(name, value);
    return old;
}

} // namespace

IsolatedUserStore::IsolatedUserStore() : dir_(std::make_unique<QTemporaryDir>()) {
    const QByteArray root = dir_->path().toLocal8Bit();
    oldHome_ = setEnv("HOME", root);
    oldConfig_ = setEnv("XDG_CONFIG_HOME", root + "/config");
    oldData_ = setEnv("XDG_DATA_HOME", root + "/data");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir_->path() + QStringLiteral("/config"));
    // Windows check for updates at start-up; tests reach only the servers they start themselves.
    settings::write(settings::UpdateAddress, QString());
}

IsolatedUserStore::~IsolatedUserStore() {
    qputenv("HOME", oldHome_);
    qputenv("XDG_CONFIG_HOME", oldConfig_);
    qputenv("XDG_DATA_HOME", oldData_);
}

QString IsolatedUserStore::settingsFile() const {
    return QSettings().fileName();
}

LogCapture::LogCapture() {
    setLogDirectory(folder());
}
LogCapture::~LogCapture() {
    setLogDirectory("");
}
std::string LogCapture::text() const {
    return fileText(logPath());
}

std::string testMediaDir() {
    const char* d = std::getenv("LUMORA_TESTMEDIA_DIR");
    return d && *d ? d : LUMORA_DEFAULT_TESTMEDIA_DIR;
}

std::string testMediaPath(const std::string& name) {
    return testMediaDir() + "/" + name;
}

std::string sourceDir() {
    return LUMORA_SOURCE_DIR;
}

std::string binDir() {
    return LUMORA_BIN_DIR;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool writeFileText(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out.flush());
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

CliRun runCli(const QStringList& args, const QString& home) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    process.setProcessEnvironment(env);
    process.start(QString::fromStdString(binDir()) + QStringLiteral("/lumora-cli"), args);
    CliRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace lumora::test

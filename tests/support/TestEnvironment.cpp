#include "TestEnvironment.h"

#include "app/Settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <cstdlib>

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
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_->path() + QStringLiteral("/config"));
    // Windows check for updates at start-up; tests reach only the servers they start themselves.
    settings::write(settings::UpdateAddress, QString());
}

IsolatedUserStore::~IsolatedUserStore() {
    qputenv("HOME", oldHome_);
    qputenv("XDG_CONFIG_HOME", oldConfig_);
    qputenv("XDG_DATA_HOME", oldData_);
}

QString IsolatedUserStore::settingsFile() const { return QSettings().fileName(); }

std::string testMediaDir() {
    const char* d = std::getenv("LUMORA_TESTMEDIA_DIR");
    return d && *d ? d : LUMORA_DEFAULT_TESTMEDIA_DIR;
}

std::string testMediaPath(const std::string& name) { return testMediaDir() + "/" + name; }

std::string sourceDir() { return LUMORA_SOURCE_DIR; }

std::string binDir() { return LUMORA_BIN_DIR; }

} // namespace lumora::test

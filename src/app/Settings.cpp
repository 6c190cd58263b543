#include "app/Settings.h"

#include <QSettings>
#include <algorithm>
#include <limits>

namespace lumora::settings {
namespace {

QVariant rawValue(const char* group, const char* name) {
    QSettings s;
    if (group)
        s.beginGroup(QString::fromLatin1(group));
    return s.value(QString::fromLatin1(name));
}

void rawWrite(const char* group, const char* name, const QVariant& v) {
    QSettings s;
    if (group)
        s.beginGroup(QString::fromLatin1(group));
    s.setValue(QString::fromLatin1(name), v);
}

} // namespace

bool contains(const char* group, const char* name) {
    QSettings s;
    if (group)
        s.beginGroup(QString::fromLatin1(group));
    return s.contains(QString::fromLatin1(name));
}

int read(const Key<int>& key) {
    const QVariant v = rawValue(key.group, key.name);
    bool ok = false;
    // Through the text and 64 bits: QVariant::toInt() wraps a number beyond the int range instead of failing,
    // and turns a stored character (@Variant of a QChar) into its code.
    const qlonglong value = v.toString().trimmed().toLongLong(&ok);
    const bool fits = value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
    return v.isValid() && ok && fits ? int(value) : key.fallback;
}

bool read(const Key<bool>& key) {
    const QVariant v = rawValue(key.group, key.name);
    if (!v.isValid())
        return key.fallback;
    // The native store keeps booleans as the texts "true"/"false"; anything else is unreadable.
    const QString text = v.toString().trimmed().toLower();
    if (v.type() == QVariant::Bool)
        return v.toBool();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return key.fallback;
}

QString read(const Key<QString>& key) {
    const QVariant v = rawValue(key.group, key.name);
    return v.isValid() && v.canConvert<QString>() ? v.toString() : key.fallback;
}

QStringList read(const Key<QStringList>& key) {
    const QVariant v = rawValue(key.group, key.name);
    return v.isValid() ? v.toStringList() : key.fallback;
}

void write(const Key<int>& key, int value) {
    rawWrite(key.group, key.name, value);
}
void write(const Key<bool>& key, bool value) {
    rawWrite(key.group, key.name, value);
}
void write(const Key<QString>& key, const QString& value) {
    rawWrite(key.group, key.name, value);
}
void write(const Key<QStringList>& key, const QStringList& value) {
    rawWrite(key.group, key.name, value);
}

DialogGeometry readDialogGeometry(const char* group) {
    DialogGeometry g;
    g.size = QSize(read(Key<int>{group, "width", 800}), read(Key<int>{group, "height", 600}));
    if (contains(group, "posX") && contains(group, "posY"))
        g.position = QPoint(read(Key<int>{group, "posX", 0}), read(Key<int>{group, "posY", 0}));
    return g;
}

void writeDialogGeometry(const char* group, const QRect& frame) {
    write(Key<int>{group, "width", 0}, frame.width());
    write(Key<int>{group, "height", 0}, frame.height());
    write(Key<int>{group, "posX", 0}, frame.x());
    write(Key<int>{group, "posY", 0}, frame.y());
}

QRect placeDialog(const DialogGeometry& stored, const QSize& screen) {
    QRect r;
    if (stored.position) {
        // Raise first, then lower: on a tiny screen the upper bound wins and the dialog stays on it.
        const int x = std::min(std::max(stored.position->x(), 100), screen.width() - 100);
        const int y = std::min(std::max(stored.position->y(), 40), screen.height() - 100);
        r.moveTopLeft(QPoint(x, y));
    }
    r.setSize(QSize(std::min(stored.size.width(), screen.width() - 100),
                    std::min(stored.size.height(), screen.height() - 100)));
    return r;
}

} // namespace lumora::settings

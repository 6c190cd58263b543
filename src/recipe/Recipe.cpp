#include "recipe/Recipe.h"

#include "app/AppIdentity.h"
#include "app/SafeFile.h"
#include "tonemap/ToneControls.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <climits>
#include <cmath>

namespace lumora {

namespace {

const char* const kChecksumNote =
    "sha256 covers the first and the last MiB of each source (the whole file when "
    "it is at most 2 MiB), not the whole file";

const char* sourceKindName(RecipeSourceKind kind) {
    switch (kind) {
    case RecipeSourceKind::Burst:
        return "burst";
    case RecipeSourceKind::Image:
        return "image";
    default:
        return "video";
    }
}

const char* const kQualityNames[] = {"fast", "good", "optimal"};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Reads one JSON object of the recipe: each field taken is remembered, so that what is left over can be
// reported as unknown; the first malformed or missing required field becomes the reading's error.
class FieldReader {
public:
    FieldReader(const QJsonObject& object, QString where, RecipeReading& reading, QStringList& unknown)
        : object_(object), where_(std::move(where)), reading_(reading), unknown_(unknown) {}
    ~FieldReader() {
        for (auto it = object_.begin(); it != object_.end(); ++it)
            if (!taken_.contains(it.key()))
                unknown_ << name(it.key());
    }
    FieldReader(const FieldReader&) = delete;
    FieldReader& operator=(const FieldReader&) = delete;

    QString name(const QString& key) const {
        return where_.isEmpty() ? key : where_ + QLatin1Char('.') + key;
    }
    bool has(const char* key) const { return object_.contains(QLatin1String(key)); }

    // The field's value; a missing required one fails the reading.
    QJsonValue take(const char* key, bool required = true) {
        const QString k = QLatin1String(key);
        taken_ << k;
        if (!object_.contains(k)) {
            if (required)
                fail(QStringLiteral("the recipe lacks the field '%1'").arg(name(k)));
            return QJsonValue(QJsonValue::Undefined);
        }
        return object_.value(k);
    }
    bool integer(const char* key, int* out, int low, int high, bool required = true) {
        const QJsonValue v = take(key, required);
        if (v.isUndefined())
            return !required;
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || d != std::floor(d) || d < low || d > high)
            return fail(QStringLiteral("the field '%1' must be a whole number from %2 to %3")
                            .arg(name(QLatin1String(key)))
                            .arg(low)
                            .arg(high));
        *out = static_cast<int>(d);
        return true;
    }
    bool boolean(const char* key, bool* out) {
        const QJsonValue v = take(key);
        if (v.isUndefined())
            return false;
        if (!v.isBool())
            return fail(QStringLiteral("the field '%1' must be true or false").arg(name(QLatin1String(key))));
        *out = v.toBool();
        return true;
    }
    bool text(const char* key, QString* out, bool required = true) {
        const QJsonValue v = take(key, required);
        if (v.isUndefined())
            return !required;
        if (!v.isString())
            return fail(QStringLiteral("the field '%1' must be a text").arg(name(QLatin1String(key))));
        *out = v.toString();
        return true;
    }
    // One of `names`, stored as its index.
    bool choice(const char* key, const QStringList& names, int* out) {
        QString v;
        if (!text(key, &v))
            return false;
        *out = names.indexOf(v);
        if (*out < 0)
            return fail(QStringLiteral("the field '%1' must be one of %2")
                            .arg(name(QLatin1String(key)), names.join(QStringLiteral(", "))));
        return true;
    }
    // A nested object; a present field of another type fails the reading.
    bool object(const char* key, QJsonObject* out, bool required = true) {
        const QJsonValue v = take(key, required);
        if (v.isUndefined())
            return false;
        if (!v.isObject())
            return fail(QStringLiteral("the field '%1' must be an object").arg(name(QLatin1String(key))));
        *out = v.toObject();
        return true;
    }
    bool fail(const QString& message) {
        if (reading_.error.empty())
            reading_.error = message.toStdString();
        return false;
    }
    bool failed() const { return !reading_.error.empty(); }

private:
    QJsonObject object_;
    QString where_;
    RecipeReading& reading_;
    QStringList& unknown_;
    QStringList taken_;
};

QJsonObject stackingJson(const StackingChoices& s) {
    return QJsonObject{{"framesBefore", s.framesBefore},
                       {"framesAfter", s.framesAfter},
                       {"antighosting", s.antighostingPosition},
                       {"automaticMovement", s.automaticMovement},
                       {"movement", s.movementPosition},
                       {"align", s.align},
                       {"quality", kQualityNames[std::clamp(s.quality, 0, 2)]},
                       {"search", s.search == BlockSearch::Fast ? "fast" : "exhaustive"}};
}

void readStacking(FieldReader& f, StackingChoices* s) {
    int search = 0;
    (void)(f.integer("framesBefore", &s->framesBefore, 0, INT_MAX) &&
           f.integer("framesAfter", &s->framesAfter, 0, INT_MAX) &&
           f.integer("antighosting", &s->antighostingPosition, 0, kAntighostingMaximum) &&
           f.boolean("automaticMovement", &s->automaticMovement) &&
           f.integer("movement", &s->movementPosition, 0, 100) && f.boolean("align", &s->align) &&
           f.choice("quality", {"fast", "good", "optimal"}, &s->quality) &&
           f.choice("search", {"fast", "exhaustive"}, &search));
    s->search = search == 0 ? BlockSearch::Fast : BlockSearch::Exhaustive;
}

// Every control of the table by its preset key; switches as true/false.
QJsonObject toneJson(const ControlPositions& p) {
    QJsonObject o;
    for (const ToneControl& c : kToneControls) {
        if (c.kind == ToneControlKind::Switch)
            o.insert(QLatin1String(c.key), positionOf(p, c) != 0);
        else
            o.insert(QLatin1String(c.key), positionOf(p, c));
    }
    return o;
}

void readTone(FieldReader& f, ControlPositions* p, RecipeReading& reading) {
    QStringList missing;
    for (const ToneControl& c : kToneControls) {
        if (!f.has(c.key)) {
            f.take(c.key, false);
            missing << f.name(QLatin1String(c.key));
            continue;
        }
        int v = c.designed;
        if (c.kind == ToneControlKind::Switch) {
            bool on = true;
            if (!f.boolean(c.key, &on))
                return;
            v = on ? 1 : 0;
        } else if (!f.integer(c.key, &v, c.low, c.high)) {
            return;
        }
        setPositionOf(*p, c, v);
    }
    if (!missing.isEmpty())
        reading.warnings.push_back(
            QStringLiteral("the recipe does not give %1; the designed positions are used")
                .arg(missing.join(QStringLiteral(", ")))
                .toStdString());
}

void readRecipeObject(const QJsonObject& root, RecipeReading& r) {
    QStringList unknown;
    {
        FieldReader top(root, QString(), r, unknown);
        int format = 0;
        if (!top.integer("lumoraRecipe", &format, 1, INT_MAX))
            return;
        if (format > kRecipeFormat)
            r.warnings.push_back(QStringLiteral("the recipe was written by a newer program (format %1; this "
                                                "one reads format %2): the picture may differ")
                                     .arg(format)
                                     .arg(kRecipeFormat)
                                     .toStdString());
        QString version, kind;
        top.take("checksum", false);
        if (!top.text("programVersion", &version))
            return;
        r.recipe.programVersion = version.toStdString();
        int kindIndex = 0;
        if (!top.choice("sourceKind", {"video", "burst", "image"}, &kindIndex))
            return;
        r.recipe.sourceKind = RecipeSourceKind(kindIndex);

        const QJsonValue sources = top.take("sources");
        if (top.failed())
            return;
        if (!sources.isArray() || sources.toArray().isEmpty())
            return void(top.fail(QStringLiteral("the field 'sources' must list at least one file")));
        const QJsonArray list = sources.toArray();
        for (int i = 0; i < list.size(); ++i) {
            const QString where = QStringLiteral("sources[%1]").arg(i);
            if (!list[i].isObject())
                return void(top.fail(QStringLiteral("the field '%1' must be an object").arg(where)));
            FieldReader f(list[i].toObject(), where, r, unknown);
            RecipeSource s;
            QString path, sum;
            double size = -1;
            if (!f.text("path", &path) || !f.text("sha256", &sum))
                return;
            const QJsonValue sizeValue = f.take("size");
            size = sizeValue.toDouble(-1);
            if (f.failed() || size < 0 || size != std::floor(size))
                return void(f.fail(QStringLiteral("the field '%1.size' must be a byte count").arg(where)));
            s.path = path.toStdString();
            s.sha256 = sum.toStdString();
            s.size = static_cast<std::int64_t>(size);
            r.recipe.sources.push_back(s);
        }
        if (r.recipe.sourceKind != RecipeSourceKind::Burst && r.recipe.sources.size() != 1)
            return void(top.fail(QStringLiteral("a %1 recipe names exactly one source")
                                     .arg(QLatin1String(sourceKindName(r.recipe.sourceKind)))));

        QJsonObject frames;
        if (!top.object("frames", &frames))
            return;
        {
            FieldReader f(frames, QStringLiteral("frames"), r, unknown);
            if (!f.integer("chosen", &r.recipe.chosenFrame, 0, INT_MAX) ||
                !f.integer("first", &r.recipe.firstFrame, 0, r.recipe.chosenFrame) ||
                !f.integer("count", &r.recipe.frameCount, r.recipe.chosenFrame - r.recipe.firstFrame + 1,
                           INT_MAX))
                return;
        }
        // Optional parts: absent means not stacked, not tone-mapped, not rotated nor cropped.
        QJsonObject part;
        if (top.object("stacking", &part, false)) {
            FieldReader f(part, QStringLiteral("stacking"), r, unknown);
            r.recipe.stacking = StackingChoices{};
            readStacking(f, &*r.recipe.stacking);
        }
        if (top.failed())
            return;
        if (top.object("tone", &part, false)) {
            FieldReader f(part, QStringLiteral("tone"), r, unknown);
            r.recipe.tone = ControlPositions{};
            readTone(f, &*r.recipe.tone, r);
        }
        if (top.failed())
            return;
        if (top.object("geometry", &part, false)) {
            FieldReader f(part, QStringLiteral("geometry"), r, unknown);
            if (!f.integer("rotation", &r.recipe.rotation, -180, 180, false))
                return;
            QJsonObject crop;
            if (f.object("crop", &crop, false)) {
                FieldReader c(crop, QStringLiteral("geometry.crop"), r, unknown);
                cv::Rect rect;
                if (!c.integer("x", &rect.x, 0, INT_MAX) || !c.integer("y", &rect.y, 0, INT_MAX) ||
                    !c.integer("width", &rect.width, 1, INT_MAX) ||
                    !c.integer("height", &rect.height, 1, INT_MAX))
                    return;
                r.recipe.crop = rect;
            }
        }
        if (top.failed())
            return;
        QJsonObject output;
        if (!top.object("output", &output))
            return;
        FieldReader f(output, QStringLiteral("output"), r, unknown);
        QString format2;
        if (!f.text("format", &format2) || !f.integer("bits", &r.recipe.outputBits, 1, 32) ||
            !f.integer("peakNits", &r.recipe.peakNits, 1, 100000, false) ||
            !f.integer("jpegQuality", &r.recipe.jpegQuality, 1, 100, false) ||
            !f.choice("transfer", {"pq", "hlg"}, &r.recipe.transferIndex))
            return;
        r.recipe.outputFormat = format2.toLower().toStdString();
    }
    unknown.sort();
    if (r.error.empty() && !unknown.isEmpty())
        r.warnings.push_back(QStringLiteral("fields this program does not know were ignored: %1")
                                 .arg(unknown.join(QStringLiteral(", ")))
                                 .toStdString());
}

} // namespace

std::string recipePathFor(const std::string& picturePath) {
    const QFileInfo info(qs(picturePath));
    return QDir(info.path()).filePath(info.completeBaseName() + QStringLiteral(".lumora.json")).toStdString();
}

Result<std::string> sourceChecksum(const std::string& path) {
    QFile file(qs(path));
    if (!file.open(QIODevice::ReadOnly))
        return failure("cannot read " + path + ": " + file.errorString().toStdString());
    const qint64 size = file.size();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    // The two ends; a file of at most two spans is read whole, once.
    if (size <= 2 * kRecipeChecksumSpan) {
        const QByteArray all = file.readAll();
        if (all.size() != size)
            return failure("cannot read " + path);
        hash.addData(all);
    } else {
        const QByteArray head = file.read(kRecipeChecksumSpan);
        const QByteArray tail =
            file.seek(size - kRecipeChecksumSpan) ? file.read(kRecipeChecksumSpan) : QByteArray();
        if (head.size() != kRecipeChecksumSpan || tail.size() != kRecipeChecksumSpan)
            return failure("cannot read the ends of " + path);
        hash.addData(head);
        hash.addData(tail);
    }
    return hash.result().toHex().toStdString();
}

Result<RecipeSource> describeSource(const std::string& path) {
    Result<std::string> sum = sourceChecksum(path);
    if (!sum)
        return sum.status();
    const QFileInfo info(qs(path));
    RecipeSource source;
    source.path = info.absoluteFilePath().toStdString();
    source.size = info.size();
    source.sha256 = sum.take();
    return source;
}

QByteArray recipeJson(const Recipe& recipe) {
    QJsonArray sources;
    for (const RecipeSource& s : recipe.sources)
        sources.append(QJsonObject{
            {"path", qs(s.path)}, {"size", static_cast<double>(s.size)}, {"sha256", qs(s.sha256)}});
    QJsonObject root{{"lumoraRecipe", kRecipeFormat},
                     {"programVersion", qs(recipe.programVersion)},
                     {"checksum", QLatin1String(kChecksumNote)},
                     {"sourceKind", QLatin1String(sourceKindName(recipe.sourceKind))},
                     {"sources", sources},
                     {"frames", QJsonObject{{"chosen", recipe.chosenFrame},
                                            {"first", recipe.firstFrame},
                                            {"count", recipe.frameCount}}},
                     {"output", QJsonObject{{"format", qs(recipe.outputFormat)},
                                            {"bits", recipe.outputBits},
                                            {"peakNits", recipe.peakNits},
                                            {"jpegQuality", recipe.jpegQuality},
                                            {"transfer", recipe.transferIndex == 1 ? "hlg" : "pq"}}}};
    if (recipe.stacking)
        root.insert(QStringLiteral("stacking"), stackingJson(*recipe.stacking));
    if (recipe.tone)
        root.insert(QStringLiteral("tone"), toneJson(*recipe.tone));
    QJsonObject geometry{{"rotation", recipe.rotation}};
    if (recipe.crop)
        geometry.insert(QStringLiteral("crop"), QJsonObject{{"x", recipe.crop->x},
                                                            {"y", recipe.crop->y},
                                                            {"width", recipe.crop->width},
                                                            {"height", recipe.crop->height}});
    root.insert(QStringLiteral("geometry"), geometry);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Status writeRecipe(const Recipe& recipe, const std::string& picturePath) {
    const QByteArray bytes = recipeJson(recipe);
    return writeFileSafely(recipePathFor(picturePath), bytes.constData(),
                           static_cast<std::size_t>(bytes.size()));
}

RecipeReading parseRecipe(const QByteArray& json) {
    RecipeReading r;
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        const QByteArray before = json.left(parse.offset);
        const int line = before.count('\n') + 1;
        const int column = parse.offset - (before.lastIndexOf('\n') + 1) + 1;
        r.error = QStringLiteral("the recipe is not valid JSON: %1 at line %2, column %3 (byte %4)")
                      .arg(parse.errorString())
                      .arg(line)
                      .arg(column)
                      .arg(parse.offset)
                      .toStdString();
        return r;
    }
    if (!doc.isObject()) {
        r.error = "the recipe is not a JSON object";
        return r;
    }
    readRecipeObject(doc.object(), r);
    r.ok = r.error.empty();
    if (!r.ok)
        r.warnings.clear();
    return r;
}

RecipeReading openRecipe(const std::string& recipePath) {
    QFile file(qs(recipePath));
    if (!file.open(QIODevice::ReadOnly)) {
        RecipeReading r;
        r.error = "cannot read " + recipePath + ": " + file.errorString().toStdString();
        return r;
    }
    RecipeReading r = parseRecipe(file.readAll());
    if (!r.ok)
        return r;
    const QDir beside = QFileInfo(qs(recipePath)).absoluteDir();
    for (RecipeSource& s : r.recipe.sources) {
        const QString recorded = qs(s.path);
        if (!QFileInfo(recorded).isFile()) {
            const QString near = beside.filePath(QFileInfo(recorded).fileName());
            if (!QFileInfo(near).isFile()) {
                r.ok = false;
                r.error = QStringLiteral("the source %1 is neither there nor beside the recipe")
                              .arg(recorded)
                              .toStdString();
                r.warnings.clear();
                return r;
            }
            r.warnings.push_back(QStringLiteral("the source %1 has moved; using %2 beside the recipe")
                                     .arg(recorded, near)
                                     .toStdString());
            s.path = near.toStdString();
        }
        const Result<std::string> sum = sourceChecksum(s.path);
        if (!sum) {
            r.ok = false;
            r.error = sum.reason();
            r.warnings.clear();
            return r;
        }
        if (*sum != s.sha256 || QFileInfo(qs(s.path)).size() != s.size) {
            r.sourceChanged = true;
            r.warnings.push_back(QStringLiteral("the source %1 has changed since the recipe was written: the "
                                                "picture may differ")
                                     .arg(qs(s.path))
                                     .toStdString());
        }
    }
    return r;
}

} // namespace lumora

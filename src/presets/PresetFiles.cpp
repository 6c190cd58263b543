#include "presets/PresetFiles.h"

#include "app/EventLog.h"
#include "app/SafeFile.h"

#include <tinyxml2.h>

#include <mutex>

namespace lumora {

namespace {

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

struct IntField {
    const char* element;
    int PresetRecord::*member;
};

// Integer children in file order, around the two booleans (applyTM after name, applySharpening before the
// sharpening numbers).
const IntField kLeadingInts[] = {
    {"TMAlgo", &PresetRecord::TMAlgo},
    {"alpha", &PresetRecord::alpha},
    {"beta", &PresetRecord::beta},
    {"gamma", &PresetRecord::gamma},
    {"blackClip", &PresetRecord::blackClip},
    {"whiteClip", &PresetRecord::whiteClip},
    {"strength", &PresetRecord::strength},
    {"exposure", &PresetRecord::exposure},
    {"contrast", &PresetRecord::contrast},
    {"highlights", &PresetRecord::highlights},
    {"shadows", &PresetRecord::shadows},
    {"whites", &PresetRecord::whites},
    {"blacks", &PresetRecord::blacks},
    {"hue", &PresetRecord::hue},
    {"saturation", &PresetRecord::saturation},
    {"vibrance", &PresetRecord::vibrance},
};
const IntField kTrailingInts[] = {
    {"sharpeningAmount", &PresetRecord::sharpeningAmount},
    {"sharpeningRadius", &PresetRecord::sharpeningRadius},
    {"sharpeningThreshold", &PresetRecord::sharpeningThreshold},
};

struct Store {
    std::mutex mutex;
    ControlPositions start;
    std::string defaultPrefix = "Presets/";
    std::string userPrefix = "Presets/";
    std::vector<PresetRecord> defaults;
    std::vector<PresetRecord> users;
    bool defaultsLoaded = false;
    bool usersLoaded = false;
};

Store& store() {
    static Store s;
    return s;
}

// At most kPresetNameLimit bytes, never ending inside a UTF-8 sequence. A sequence is at most four bytes, so
// the cut moves back at most three; a longer run of continuation bytes is not UTF-8 and is cut at the limit
// (walking back further could leave the name empty).
std::string cutName(const std::string& name) {
    if (name.size() <= static_cast<size_t>(kPresetNameLimit))
        return name;
    const size_t limit = kPresetNameLimit;
    size_t end = limit;
    while (end > 0 && limit - end < 3 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    if ((static_cast<unsigned char>(name[end]) & 0xC0) == 0x80 || end == 0)
        end = limit;
    return name.substr(0, end);
}

PresetRecord recordFrom(const XMLElement* e, int position) {
    PresetRecord r = blankPresetRecord();
    const XMLElement* name = e->FirstChildElement("name");
    const char* text = name ? name->GetText() : nullptr;
    r.name = text && *text ? cutName(text) : std::to_string(position);
    if (const XMLElement* c = e->FirstChildElement("applyTM"))
        c->QueryBoolText(&r.applyTM);
    for (const IntField& f : kLeadingInts)
        if (const XMLElement* c = e->FirstChildElement(f.element))
            c->QueryIntText(&(r.*f.member));
    if (const XMLElement* c = e->FirstChildElement("applySharpening"))
        c->QueryBoolText(&r.applySharpening);
    for (const IntField& f : kTrailingInts)
        if (const XMLElement* c = e->FirstChildElement(f.element))
            c->QueryIntText(&(r.*f.member));
    return r;
}

// Every element from the first top-level <preset> on, whatever its name, in document order.
std::vector<PresetRecord> recordsOf(const XMLDocument& doc) {
    std::vector<PresetRecord> records;
    int position = 0;
    for (const XMLElement* e = doc.FirstChildElement("preset"); e; e = e->NextSiblingElement())
        records.push_back(recordFrom(e, ++position));
    return records;
}

void addChild(XMLDocument& doc, XMLElement* parent, const char* name, const char* text) {
    XMLElement* c = doc.NewElement(name);
    c->SetText(text);
    parent->InsertEndChild(c);
}

void addChild(XMLDocument& doc, XMLElement* parent, const char* name, int value) {
    addChild(doc, parent, name, std::to_string(value).c_str()); // "%d"
}

XMLElement* presetElement(XMLDocument& doc, const PresetRecord& r) {
    XMLElement* p = doc.NewElement("preset");
    addChild(doc, p, "name", r.name.c_str());
    addChild(doc, p, "applyTM", r.applyTM ? "true" : "false");
    for (const IntField& f : kLeadingInts)
        addChild(doc, p, f.element, r.*f.member);
    addChild(doc, p, "applySharpening", r.applySharpening ? "true" : "false");
    for (const IntField& f : kTrailingInts)
        addChild(doc, p, f.element, r.*f.member);
    return p;
}

void appendPreset(XMLDocument& doc, const PresetRecord& r) {
    doc.InsertEndChild(presetElement(doc, r));
}

std::string documentText(const XMLDocument& doc) {
    tinyxml2::XMLPrinter printer(nullptr, /*compact*/ false);
    doc.Print(&printer);
    return std::string(printer.CStr(), static_cast<size_t>(std::max(0, printer.CStrSize() - 1)));
}

bool saveDocument(const XMLDocument& doc, const std::string& path, std::string* error) {
    const std::string text = documentText(doc);
    std::string why;
    if (writeFileSafely(path, text.data(), text.size(), &why))
        return true;
    logError("Error while saving presets", "cannot write " + path + ": " + why);
    if (error)
        *error = why;
    return false;
}

bool fileIsMissing(tinyxml2::XMLError status) {
    return status == tinyxml2::XML_ERROR_FILE_NOT_FOUND;
}

} // namespace

bool PresetRecord::operator==(const PresetRecord& o) const {
    if (name != o.name || applyTM != o.applyTM || applySharpening != o.applySharpening)
        return false;
    for (const IntField& f : kLeadingInts)
        if (this->*f.member != o.*f.member)
            return false;
    for (const IntField& f : kTrailingInts)
        if (this->*f.member != o.*f.member)
            return false;
    return true;
}

ControlPositions PresetRecord::positions() const {
    ControlPositions p;
    p.applyTM = applyTM;
    p.TMAlgo = TMAlgo;
    p.alpha = alpha;
    p.beta = beta;
    p.gamma = gamma;
    p.blackClip = blackClip;
    p.whiteClip = whiteClip;
    p.strength = strength;
    p.exposure = exposure;
    p.contrast = contrast;
    p.highlights = highlights;
    p.shadows = shadows;
    p.whites = whites;
    p.blacks = blacks;
    p.hue = hue;
    p.saturation = saturation;
    p.vibrance = vibrance;
    p.applySharpening = applySharpening;
    p.sharpeningAmount = sharpeningAmount;
    p.sharpeningRadius = sharpeningRadius;
    p.sharpeningThreshold = sharpeningThreshold;
    return p;
}

PresetRecord PresetRecord::fromPositions(const std::string& name, const ControlPositions& p) {
    return {name,
            p.applyTM,
            p.TMAlgo,
            p.alpha,
            p.beta,
            p.gamma,
            p.blackClip,
            p.whiteClip,
            p.strength,
            p.exposure,
            p.contrast,
            p.highlights,
            p.shadows,
            p.whites,
            p.blacks,
            p.hue,
            p.saturation,
            p.vibrance,
            p.applySharpening,
            p.sharpeningAmount,
            p.sharpeningRadius,
            p.sharpeningThreshold};
}

void setStartPositions(const ControlPositions& positions) {
    std::lock_guard<std::mutex> lock(store().mutex);
    store().start = positions;
}

PresetRecord blankPresetRecord() {
    ControlPositions s;
    {
        std::lock_guard<std::mutex> lock(store().mutex);
        s = store().start;
    }
    PresetRecord r;
    r.applyTM = true;
    r.TMAlgo = s.TMAlgo;
    r.alpha = s.alpha;
    r.beta = s.beta;
    r.gamma = s.gamma;
    r.blackClip = s.blackClip;
    r.whiteClip = s.whiteClip;
    r.strength = s.strength;
    r.exposure = s.exposure;
    r.contrast = s.contrast;
    r.highlights = s.highlights;
    r.shadows = s.shadows;
    r.whites = s.whites;
    r.blacks = s.blacks;
    r.hue = s.hue;
    r.saturation = s.saturation;
    r.vibrance = s.vibrance;
    r.applySharpening = true;
    r.sharpeningAmount = 10;
    r.sharpeningRadius = 3;
    r.sharpeningThreshold = s.sharpeningThreshold;
    return r;
}

const std::vector<PresetRecord>& builtInPresets() {
    // name, applyTM, TMAlgo, alpha, beta, gamma, blackClip, whiteClip, strength, exposure, contrast,
    // highlights, shadows, whites, blacks, hue, saturation, vibrance, applySharpening, amount, radius,
    // threshold
    static const std::vector<PresetRecord> kBuiltIn = {
        {"Original", false, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false, 50, 3, 0},
        {"Soft", true, 1, 75, 0, 0, 0, 0, 50, -25, 50, 75, 25, 25, -25, 0, 0, 2, false, 75, 3, 0},
        {"Strong", true, 0, 50, 50, 0, 5, 0, 50, -20, 50, -30, 50, -30, 5, 0, 0, 15, true, 65, 3, 0},
    };
    return kBuiltIn;
}

void setDefaultPresetsDirectory(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(store().mutex);
    store().defaultPrefix = prefix;
}

void setUserPresetsDirectory(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(store().mutex);
    store().userPrefix = prefix;
}

std::string defaultPresetsPath() {
    std::lock_guard<std::mutex> lock(store().mutex);
    return store().defaultPrefix + kDefaultPresetsFile;
}

std::string userPresetsPath() {
    std::lock_guard<std::mutex> lock(store().mutex);
    return store().userPrefix + kUserPresetsFile;
}

std::vector<PresetRecord> readPresetFile(const std::string& path, bool reportErrors) {
    XMLDocument doc;
    if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) {
        if (reportErrors)
            logError("Error while loading presets", "XML file " + path + " does not exist");
        return {};
    }
    return recordsOf(doc);
}

std::vector<PresetRecord> readPresetText(const std::string& text, bool reportErrors,
                                         const std::string& origin) {
    XMLDocument doc;
    if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
        if (reportErrors)
            logError("Error while loading presets", "XML file " + origin + " cannot be parsed");
        return {};
    }
    return recordsOf(doc);
}

std::string presetDocumentText(const std::vector<PresetRecord>& records) {
    XMLDocument doc;
    for (const PresetRecord& r : records)
        appendPreset(doc, r);
    return documentText(doc);
}

void loadDefaultPresets() {
    std::vector<PresetRecord> list = readPresetFile(defaultPresetsPath(), true);
    std::lock_guard<std::mutex> lock(store().mutex);
    store().defaults = std::move(list);
    store().defaultsLoaded = true;
}

void loadUserPresets() {
    std::vector<PresetRecord> list = readPresetFile(userPresetsPath(), false);
    std::lock_guard<std::mutex> lock(store().mutex);
    store().users = std::move(list);
    store().usersLoaded = true;
}

std::vector<PresetRecord> defaultPresets() {
    std::lock_guard<std::mutex> lock(store().mutex);
    return store().defaults;
}

std::vector<PresetRecord> userPresets() {
    std::lock_guard<std::mutex> lock(store().mutex);
    return store().users;
}

bool defaultPresetsLoaded() {
    std::lock_guard<std::mutex> lock(store().mutex);
    return store().defaultsLoaded;
}

bool userPresetsLoaded() {
    std::lock_guard<std::mutex> lock(store().mutex);
    return store().usersLoaded;
}

bool addUserPreset(const PresetRecord& record, std::string* error) {
    {
        std::lock_guard<std::mutex> lock(store().mutex);
        store().users.push_back(record);
    }
    const std::string path = userPresetsPath();
    XMLDocument doc;
    const tinyxml2::XMLError status = doc.LoadFile(path.c_str());
    if (status == tinyxml2::XML_ERROR_EMPTY_DOCUMENT || fileIsMissing(status)) {
        doc.Clear();
    } else if (status != tinyxml2::XML_SUCCESS) {
        // Writing now would replace whatever the unreadable file still holds by this one preset.
        logError("Error while loading user presets", "XML file " + path + " cannot be read; not rewritten");
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    appendPreset(doc, record);
    return saveDocument(doc, path, error);
}

namespace {

// The index-th element from the first top-level <preset> on (as the lists count them), or null.
XMLElement* presetAt(XMLDocument& doc, int index) {
    if (index < 0)
        return nullptr;
    XMLElement* e = doc.FirstChildElement("preset");
    for (int i = 0; e && i < index; ++i)
        e = e->NextSiblingElement();
    return e;
}

// Loads the user file for a change of one preset; false (logged) when it cannot be read, so that nothing is
// written over presets we could not read.
bool loadUserFileForChange(XMLDocument& doc, const std::string& path, std::string* error) {
    if (doc.LoadFile(path.c_str()) == tinyxml2::XML_SUCCESS)
        return true;
    logError("Error while loading user presets", "XML file " + path + " does not exist");
    if (error)
        *error = "cannot read " + path;
    return false;
}

} // namespace

bool replaceUserPreset(int index, const PresetRecord& record, std::string* error) {
    {
        std::lock_guard<std::mutex> lock(store().mutex);
        if (index < 0 || static_cast<size_t>(index) >= store().users.size())
            return false;
        store().users[static_cast<size_t>(index)] = record;
    }
    const std::string path = userPresetsPath();
    XMLDocument doc;
    if (!loadUserFileForChange(doc, path, error))
        return false;
    XMLElement* e = presetAt(doc, index);
    if (!e) {
        if (error)
            *error = "no preset " + std::to_string(index + 1) + " in " + path;
        return false;
    }
    doc.InsertAfterChild(e, presetElement(doc, record));
    doc.DeleteChild(e);
    return saveDocument(doc, path, error);
}

bool removeUserPreset(int index, std::string* error) {
    {
        std::lock_guard<std::mutex> lock(store().mutex);
        if (index >= 0 && static_cast<size_t>(index) < store().users.size())
            store().users.erase(store().users.begin() + index);
    }
    const std::string path = userPresetsPath();
    XMLDocument doc;
    if (!loadUserFileForChange(doc, path, error))
        return false;
    XMLElement* e = presetAt(doc, index);
    if (!e)
        return true; // fewer presets in the file: nothing to delete
    doc.DeleteChild(e);
    return saveDocument(doc, path, error);
}

} // namespace lumora

#include "presets/PresetFiles.h"

#include "app/EventLog.h"
#include "app/SafeFile.h"
#include "tonemap/ToneControls.h"

#include <tinyxml2.h>

#include <mutex>

namespace lumora {

namespace {

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

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
    for (const ToneControl& c : kToneControls) {
        const XMLElement* field = e->FirstChildElement(c.key);
        if (!field)
            continue;
        if (c.onOff)
            field->QueryBoolText(&(r.*c.onOff));
        else
            field->QueryIntText(&(r.*c.position));
    }
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
    for (const ToneControl& c : kToneControls) {
        if (c.onOff)
            addChild(doc, p, c.key, r.*c.onOff ? "true" : "false");
        else
            addChild(doc, p, c.key, r.*c.position);
    }
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

Status saveDocument(const XMLDocument& doc, const std::string& path) {
    const std::string text = documentText(doc);
    const Status written = writeFileSafely(path, text.data(), text.size());
    if (!written)
        logError("Error while saving presets", "cannot write " + path + ": " + written.reason());
    return written;
}

bool fileIsMissing(tinyxml2::XMLError status) {
    return status == tinyxml2::XML_ERROR_FILE_NOT_FOUND;
}

} // namespace

void setStartPositions(const ControlPositions& positions) {
    std::lock_guard<std::mutex> lock(store().mutex);
    store().start = positions;
}

PresetRecord blankPresetRecord() {
    ControlPositions start;
    {
        std::lock_guard<std::mutex> lock(store().mutex);
        start = store().start;
    }
    PresetRecord r;
    for (const ToneControl& c : kToneControls)
        setPositionOf(r, c, c.missingInFile == kStartPosition ? positionOf(start, c) : c.missingInFile);
    return r;
}

namespace {
// A record from positions listed in the tone-control table's order (switches as 0 or 1).
PresetRecord inTableOrder(const char* name, const std::array<int, kToneControls.size()>& positions) {
    PresetRecord r;
    r.name = name;
    for (std::size_t i = 0; i < kToneControls.size(); ++i)
        setPositionOf(r, kToneControls[i], positions[i]);
    return r;
}
} // namespace

const std::vector<PresetRecord>& builtInPresets() {
    // applyTM, TMAlgo, alpha, beta, gamma, blackClip, whiteClip, strength, exposure, contrast, highlights,
    // shadows, whites, blacks, hue, saturation, vibrance, applySharpening, amount, radius, threshold
    static const std::vector<PresetRecord> kBuiltIn = {
        inTableOrder("Original", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 50, 3, 0}),
        inTableOrder("Soft", {1, 1, 75, 0, 0, 0, 0, 50, -25, 50, 75, 25, 25, -25, 0, 0, 2, 0, 75, 3, 0}),
        inTableOrder("Strong", {1, 0, 50, 50, 0, 5, 0, 50, -20, 50, -30, 50, -30, 5, 0, 0, 15, 1, 65, 3, 0}),
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

Status addUserPreset(const PresetRecord& record) {
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
        return failure("cannot read " + path);
    }
    appendPreset(doc, record);
    return saveDocument(doc, path);
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

// Loads the user file for a change of one preset; fails (logged) when it cannot be read, so that nothing is
// written over presets we could not read.
Status loadUserFileForChange(XMLDocument& doc, const std::string& path) {
    if (doc.LoadFile(path.c_str()) == tinyxml2::XML_SUCCESS)
        return {};
    logError("Error while loading user presets", "XML file " + path + " does not exist");
    return failure("cannot read " + path);
}

} // namespace

Status replaceUserPreset(int index, const PresetRecord& record) {
    {
        std::lock_guard<std::mutex> lock(store().mutex);
        if (index < 0 || static_cast<size_t>(index) >= store().users.size())
            return failure("no preset " + std::to_string(index + 1) + " in the list");
        store().users[static_cast<size_t>(index)] = record;
    }
    const std::string path = userPresetsPath();
    XMLDocument doc;
    if (Status loaded = loadUserFileForChange(doc, path); !loaded)
        return loaded;
    XMLElement* e = presetAt(doc, index);
    if (!e)
        return failure("no preset " + std::to_string(index + 1) + " in " + path);
    doc.InsertAfterChild(e, presetElement(doc, record));
    doc.DeleteChild(e);
    return saveDocument(doc, path);
}

Status removeUserPreset(int index) {
    {
        std::lock_guard<std::mutex> lock(store().mutex);
        if (index >= 0 && static_cast<size_t>(index) < store().users.size())
            store().users.erase(store().users.begin() + index);
    }
    const std::string path = userPresetsPath();
    XMLDocument doc;
    if (Status loaded = loadUserFileForChange(doc, path); !loaded)
        return loaded;
    XMLElement* e = presetAt(doc, index);
    if (!e)
        return {}; // fewer presets in the file: nothing to delete
    doc.DeleteChild(e);
    return saveDocument(doc, path);
}

} // namespace lumora

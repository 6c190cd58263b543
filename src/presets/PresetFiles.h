#pragma once
// Named sets of tone-mapping control positions: the three built-in presets, the read-only default.xml shipped
// beside the program and the user's own user.xml, which is only ever replaced by a complete new file.

#include "app/Status.h"
#include "tonemap/ToneMapParams.h"

#include <string>
#include <utility>
#include <vector>

namespace lumora {

inline constexpr int kPresetNameLimit = 49; // characters kept of a name read from a file
inline constexpr const char* kDefaultPresetsFile = "default.xml";
inline constexpr const char* kUserPresetsFile = "user.xml";

// One preset: a name and a set of control positions (see ToneMapParams.h for the conversion to values), in
// files as the tone-control table's keys.
struct PresetRecord : ControlPositions {
    std::string name;

    PresetRecord() = default;
    PresetRecord(std::string presetName, const ControlPositions& positions)
        : ControlPositions(positions), name(std::move(presetName)) {}
    bool operator==(const PresetRecord& o) const { return name == o.name && ControlPositions::operator==(o); }
    bool operator!=(const PresetRecord& o) const { return !(*this == o); }
    const ControlPositions& positions() const { return *this; }
    // A preset named `name` holding `positions`.
    static PresetRecord fromPositions(const std::string& name, const ControlPositions& positions) {
        return {name, positions};
    }
};

// The positions the window's controls had at start; a record read from a file starts from them.
void setStartPositions(const ControlPositions& positions);
// A record built without values: each control's missing-field position, or the start position where the
// tone-control table says so.
PresetRecord blankPresetRecord();

// "Original", "Soft", "Strong".
const std::vector<PresetRecord>& builtInPresets();

// Path prefixes (each "Presets/" until set); a file's path is the prefix followed by its name.
void setDefaultPresetsDirectory(const std::string& prefix);
void setUserPresetsDirectory(const std::string& prefix);
std::string defaultPresetsPath();
std::string userPresetsPath();
// The folders the window and lumora-cli use: default.xml beside the program, user.xml in the user's data
// folder.
void usePresetFolders();

// Every element from the first top-level <preset> on, whatever its name, as a record. A file that cannot be
// loaded gives an empty list, with an event-log entry when reportErrors is set.
std::vector<PresetRecord> readPresetFile(const std::string& path, bool reportErrors);
// The same rules applied to a document already in memory; `origin` names it in the event log.
std::vector<PresetRecord> readPresetText(const std::string& text, bool reportErrors,
                                         const std::string& origin = "(memory)");
// The document text of a list of records (top-level <preset> elements, indented, no declaration).
std::string presetDocumentText(const std::vector<PresetRecord>& records);

// Process-wide lists (copies are handed out; calls come from the GUI thread or the command-line tool).
void loadDefaultPresets(); // with errors logged
void loadUserPresets();    // silently
std::vector<PresetRecord> defaultPresets();
std::vector<PresetRecord> userPresets();
bool defaultPresetsLoaded();
bool userPresetsLoaded();

// Appends a preset to the user list and to user.xml (created if missing). The file is replaced only by a
// complete new one; an existing file that cannot be parsed is left alone. Fails when the file was not
// written; the list keeps the preset either way.
Status addUserPreset(const PresetRecord& record);
// Puts `record` in place of the preset at `index`, in the user list and in user.xml (same place in the file).
// A user file that fails to load is left untouched (logged, failed); fails too for an index out of range.
Status replaceUserPreset(int index, const PresetRecord& record);
// Removes the preset at `index` from the user list and from user.xml. A user file that fails to load is left
// untouched (logged, failed). Out-of-range indices change nothing in the list and delete nothing in the file.
Status removeUserPreset(int index);

} // namespace lumora

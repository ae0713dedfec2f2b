#include "engine/undo_files.h"

#include <windows.h>

#include <functional>
#include <unordered_set>
#include <vector>

#include "engine/change_journal.h"
#include "engine/change_kinds.h"
#include "report/reg_file.h"
#include "report/undo_script.h"
#include "snapshot/path_identity.h"
#include "snapshot/snapshot_files.h"
#include "text/text.h"

namespace {

constexpr std::string_view kHkcr = "HKEY_CLASSES_ROOT";
// The real places behind HKEY_CLASSES_ROOT, as the walk writes them.
constexpr std::string_view kClassesPlaces[] = {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes",
                                               "HKEY_CURRENT_USER\\Software\\Classes"};
constexpr std::string_view kNoiseHeading = "left alone: likely background activity";

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a.empty() || FindNoCase(a, b) == 0);
}

// The rest of path after root when path is root itself or lies below it ("" or "\..."), else
// nothing.
bool RestAfter(std::string_view path, std::string_view root, std::string_view& rest) {
    if (path.size() < root.size() || !SameNoCase(path.substr(0, root.size()), root)) return false;
    rest = path.substr(root.size());
    return rest.empty() || rest.front() == '\\';
}

bool IsRegistryKind(JournalKind kind) { return KindOf(kind).registry; }

// Calls visit for each entry of the journal, in order. False when it cannot be read whole.
bool ForEachEntry(const char* journalName, const std::function<void(const JournalEntry&)>& visit) {
    SequentialReader reader;
    if (!reader.Open(journalName)) return false;
    JournalParser parser;
    JournalEntry entry;
    std::size_t need = 1;
    for (;;) {
        std::string_view bytes;
        if (!reader.Peek(need, bytes)) return need == 1 && reader.Available().empty();
        const std::size_t had = bytes.size();
        while (parser.Next(bytes, entry)) visit(entry);
        if (parser.Damaged()) return false;
        reader.Consume(had - bytes.size());
        // What is left is the start of an entry: read on until it is whole.
        need = bytes.size() + 1;
    }
}

// Which change an entry is, whatever root showed it: its kind, its portable path and name,
// letter case folded as the registry folds it.
std::string Identity(JournalKind kind, std::string_view place, std::string_view name) {
    std::string identity(1, static_cast<char>(kind));
    identity += PathIdentity(place);
    identity += '\n';
    identity += PathIdentity(name);
    return identity;
}

// What the .reg files and the script say instead of naming an entry whose path or name did not
// come through exactly: any line would name another item, perhaps one the baseline holds.
constexpr std::string_view kNotExactUndo = "not restored: name not exact: ";
constexpr std::string_view kNotExactRedo = "not written: the name is not exact: ";


// A change under HKEY_CLASSES_ROOT that a pass also saw at one of its real places is written
// there: these are the identities it would have there.
std::vector<std::string> RealPlaceIdentities(const JournalEntry& entry, std::string_view place) {
    std::vector<std::string> identities;
    std::string_view rest;
    if (!RestAfter(place, kHkcr, rest)) return identities;
    for (std::string_view real : kClassesPlaces) {
        identities.push_back(Identity(entry.kind, std::string(real) + std::string(rest), entry.name));
    }
    return identities;
}

std::string Describe(const JournalEntry& entry) {
    const ChangeKind& kind = KindOf(entry.kind);
    std::string text = kind.described;
    text += ": ";
    text += entry.path;
    if (kind.value) text += entry.name.empty() ? std::string("\\(Default)") : "\\" + entry.name;
    return text;
}

// A renamed item is one item to Windows: nothing to take back or carry over.
bool IsRenamedKind(JournalKind kind) { return KindOf(kind).renamed; }

std::string RenamedComment(const JournalEntry& entry) {
    return "left alone: renamed in letter case only (was " + entry.oldSpelling + "): " +
           Describe(entry);
}

std::span<const std::uint8_t> Bytes(const std::string& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
}

// Writes one of the .reg files: the registry entries that are not noise, each change once at
// its portable place, through write(entry, place); then the noise, named.
class RegFileMaker {
public:
    RegFileMaker(RegFileWriter& file, std::string_view userSid,
                 const std::unordered_set<std::string>& seen)
        : file_(file), userSid_(userSid), seen_(seen) {}

    // The place to write an entry at, or false when it is written elsewhere or already.
    bool Place(const JournalEntry& entry, std::string& place) {
        place = PortableRegistryPath(entry.path, userSid_);
        for (const std::string& real : RealPlaceIdentities(entry, place)) {
            if (seen_.count(real) != 0) return false;
        }
        return written_.insert(Identity(entry.kind, place, entry.name)).second;
    }

    // Keeps [path] the section in hand for the values that follow.
    void Section(const std::string& path) {
        if (path == section_) return;
        section_ = path;
        sectionOk_ = file_.Key(path);
    }
    bool SectionOk() const { return sectionOk_; }
    void SectionDone() { section_.clear(); }

    // A key below (or at) the topmost key of a subtree that one [-path] takes away. The tops go
    // with the last one written; a subtree's keys follow their top in the journal.
    bool Covered(const std::string& keyPath) const {
        std::string_view rest;
        return !top_.empty() && RestAfter(keyPath, top_, rest);
    }
    void SetTop(const std::string& keyPath) { top_ = keyPath; }

    // [-keyPath], once for the subtree it takes away.
    void DeleteKey(const std::string& keyPath) {
        if (Covered(keyPath)) return;
        SectionDone();
        file_.DeleteKey(keyPath);
        SetTop(keyPath);
    }
    // "name"=- in [keyPath], unless a [-...] above took the key away.
    void DeleteValue(const std::string& keyPath, std::string_view name) {
        if (Covered(keyPath)) return;
        Section(keyPath);
        if (sectionOk_) file_.DeleteValue(name);
    }

    RegFileWriter& File() { return file_; }

private:
    RegFileWriter& file_;
    std::string_view userSid_;
    const std::unordered_set<std::string>& seen_;
    std::unordered_set<std::string> written_;
    std::string section_;
    bool sectionOk_ = false;
    std::string top_;
};

// Redo: the registry as it now stands at every place the change touched.
void WriteRedo(RegFileMaker& maker, const JournalEntry& entry, bool& any) {
    std::string place;
    if (!maker.Place(entry, place)) return;
    RegFileWriter& file = maker.File();
    any = true;
    if (IsRenamedKind(entry.kind)) {
        file.Comment(RenamedComment(entry));
        return;
    }
    if (!entry.exactName) {
        file.Comment(std::string(kNotExactRedo) + Describe(entry));
        return;
    }
    switch (entry.kind) {
        case JournalKind::AddedKey:
            maker.Section(place);
            break;
        case JournalKind::AddedValue:
        case JournalKind::ChangedValue:
            if (!entry.newDataExact) {
                file.Comment("not written: data not exact: " + Describe(entry));
                break;
            }
            maker.Section(place);
            if (maker.SectionOk()) file.Value(entry.name, entry.newType, Bytes(entry.newData));
            break;
        case JournalKind::RemovedKey:
            maker.DeleteKey(place);
            break;
        case JournalKind::RemovedValue:
            maker.DeleteValue(place, entry.name);
            break;
        case JournalKind::RemovedEntry:
            file.Comment("not written: the line cannot be split into key and value: " + entry.path);
            break;
        default: break;
    }
}

// Undo: the registry back as the baseline had it.
void WriteUndo(RegFileMaker& maker, const JournalEntry& entry, bool& any,
               UndoFilesCounts& counts) {
    std::string place;
    if (!maker.Place(entry, place)) return;
    RegFileWriter& file = maker.File();
    any = true;
    if (IsRenamedKind(entry.kind)) {
        file.Comment(RenamedComment(entry));
        return;
    }
    if (!entry.exactName) {
        file.Comment(std::string(kNotExactUndo) + Describe(entry));
        return;
    }
    auto restore = [&] {
        // Data that no .reg notation brings back (reg import adds a terminator to strings that
        // lack one) cannot be restored exactly either.
        const bool writable = RegFileCanHoldValueName(entry.name) &&
                              RegFileCanHoldValueData(entry.oldType, Bytes(entry.oldData));
        if (entry.old != OldData::Exact || !writable) {
            const bool typeUnknown = entry.old == OldData::TypeUnknown;
            ++(typeUnknown ? counts.notRestoredTypeUnknown : counts.notRestoredDataNotExact);
            file.Comment(std::string(typeUnknown ? "not restored: type unknown: "
                                                 : "not restored: data not exact: ") +
                         Describe(entry));
            return;
        }
        maker.Section(place);
        if (maker.SectionOk()) file.Value(entry.name, entry.oldType, Bytes(entry.oldData));
    };
    switch (entry.kind) {
        case JournalKind::AddedKey:
            maker.DeleteKey(place);
            break;
        case JournalKind::AddedValue:
            maker.DeleteValue(place, entry.name);
            break;
        case JournalKind::ChangedValue:
        case JournalKind::RemovedValue:
            restore();
            break;
        case JournalKind::RemovedKey:
            maker.Section(place);
            break;
        case JournalKind::RemovedEntry:
            ++counts.notRestoredTypeUnknown;
            file.Comment("not restored: type unknown: " + entry.path);
            break;
        default: break;
    }
}

// A file of the program's own, written through a writer that takes a sink.
class OutputFile {
public:
    bool Create(const char* name) { return file_.Create(name); }
    ByteSink Sink() {
        return [this](std::string_view bytes) { return file_.Write(bytes); };
    }
    // False, with failure set, when anything failed.
    bool Close(bool writerOk, std::string& failure) {
        const bool closed = file_.Close();
        if (closed && writerOk) return true;
        if (failure.empty()) failure = WriteFailureText(file_);
        return false;
    }

private:
    SnapshotWriter file_;
};

// What a first read of the journal tells: every registry change the passes saw, at its portable
// place (a change under HKEY_CLASSES_ROOT is written at a real place that shows it too), and
// whether anything cannot be restored or is noise, so that passes with nothing to do are skipped.
struct JournalSurvey {
    std::unordered_set<std::string> seen;
    bool anyCannot = false, anyNoise = false;
};

bool SurveyJournal(const char* journalName, std::string_view userSid, JournalSurvey& survey) {
    return ForEachEntry(journalName, [&](const JournalEntry& entry) {
        survey.anyNoise |= entry.noise;
        survey.anyCannot |= !entry.noise && (entry.kind == JournalKind::ModifiedFile ||
                                             entry.kind == JournalKind::RemovedFile);
        if (!IsRegistryKind(entry.kind) || entry.noise) return;
        const std::string place = PortableRegistryPath(entry.path, userSid);
        std::string_view rest;
        if (!RestAfter(place, kHkcr, rest)) {
            survey.seen.insert(Identity(entry.kind, place, entry.name));
        }
    });
}

void NameWhatCannotBeRestored(const char* journalName, UndoScriptWriter& script) {
    script.Comment("Cannot be restored: the old content of these files was never stored.");
    ForEachEntry(journalName, [&](const JournalEntry& entry) {
        if (!entry.noise && (entry.kind == JournalKind::ModifiedFile ||
                             entry.kind == JournalKind::RemovedFile)) {
            script.Comment(Describe(entry));
        }
    });
}

// The noise, named at the end of each file.
void NameTheNoise(const char* journalName, RegFileWriter& redo, RegFileWriter& undo,
                  UndoScriptWriter& script) {
    ForEachEntry(journalName, [&](const JournalEntry& entry) {
        if (!entry.noise) return;
        const std::string line = std::string(kNoiseHeading) + ": " + Describe(entry);
        if (IsRegistryKind(entry.kind)) {
            redo.Comment(line);
            undo.Comment(line);
        } else {
            script.Comment(line);
        }
    });
}

// The script's part for files and folders: short paths as they come, long ones after them, then
// the new folders deepest first.
class ScriptOfFiles {
public:
    explicit ScriptOfFiles(UndoScriptWriter& script) : script_(script) {}

    void Add(const JournalEntry& entry) {
        if (IsRenamedKind(entry.kind)) {
            script_.Comment(RenamedComment(entry));
        } else if (!entry.exactName) {
            if (entry.kind == JournalKind::AddedFile || entry.kind == JournalKind::NewFolder) {
                anyFile_ = true;
                script_.Comment(std::string(kNotExactUndo) + Describe(entry));
            }
        } else if (entry.kind == JournalKind::AddedFile) {
            anyFile_ = true;
            if (NeedsLongPathForm(entry.path)) {
                longFiles_.push_back(entry.path);
            } else {
                script_.DeleteFile(entry.path);
            }
        } else if (entry.kind == JournalKind::NewFolder) {
            folders_.push_back(entry.path);
        }
    }

    void Finish() {
        for (const std::string& path : longFiles_) script_.DeleteFile(path);
        OrderFoldersForRemoval(folders_);
        for (const std::string& path : folders_) script_.RemoveFolder(path);
        if (!anyFile_ && folders_.empty()) {
            script_.Comment("No file or folder was added: nothing to delete.");
        }
    }

private:
    UndoScriptWriter& script_;
    std::vector<std::string> longFiles_, folders_;
    bool anyFile_ = false;
};

}  // namespace

std::string PortableRegistryPath(std::string_view path, std::string_view userSid) {
    std::string_view rest;
    if (!userSid.empty()) {
        const std::string users = "HKEY_USERS\\" + std::string(userSid);
        if (RestAfter(path, users + "_Classes", rest)) {
            return "HKEY_CURRENT_USER\\Software\\Classes" + std::string(rest);
        }
        if (RestAfter(path, users, rest)) return "HKEY_CURRENT_USER" + std::string(rest);
    }
    return std::string(path);
}

bool WriteUndoFiles(const char* journalName, std::string_view userSid, UndoFilesCounts& counts,
                    std::string& failure) {
    counts = {};
    JournalSurvey survey;
    if (!SurveyJournal(journalName, userSid, survey)) {
        failure = "Could not read the changes of this run back.\n\nThe scan was stopped.";
        return false;
    }

    OutputFile redoFile, undoFile, scriptFile;
    if (!redoFile.Create(kRedoRegName) || !undoFile.Create(kUndoRegName) ||
        !scriptFile.Create(kUndoCmdName)) {
        // The one that failed says why; the others close cleanly.
        redoFile.Close(true, failure);
        undoFile.Close(true, failure);
        scriptFile.Close(true, failure);
        return false;
    }
    RegFileWriter redo(redoFile.Sink()), undo(undoFile.Sink());
    UndoScriptWriter script(scriptFile.Sink());
    RegFileMaker redoMaker(redo, userSid, survey.seen), undoMaker(undo, userSid, survey.seen);
    bool anyRedo = false, anyUndo = false;
    ScriptOfFiles files(script);

    // What the script cannot take back comes first, so that it is read before anything runs.
    if (survey.anyCannot) NameWhatCannotBeRestored(journalName, script);
    ForEachEntry(journalName, [&](const JournalEntry& entry) {
        if (entry.noise) return;
        if (IsRegistryKind(entry.kind)) {
            WriteRedo(redoMaker, entry, anyRedo);
            WriteUndo(undoMaker, entry, anyUndo, counts);
        } else {
            files.Add(entry);
        }
    });
    files.Finish();
    script.ImportUndoReg(kUndoRegName);
    if (!anyRedo) redo.Comment("The registry did not change: nothing to write.");
    if (!anyUndo) undo.Comment("The registry did not change: nothing to undo.");
    if (survey.anyNoise) NameTheNoise(journalName, redo, undo, script);

    const bool redoOk = redoFile.Close(redo.Ok(), failure);
    const bool undoOk = undoFile.Close(undo.Ok(), failure);
    const bool scriptOk = scriptFile.Close(script.Ok(), failure);
    return redoOk && undoOk && scriptOk;
}

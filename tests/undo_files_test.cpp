// The undo and redo files as a run's journal makes them: each change written once at its real,
// portable place; a subtree taken away by its topmost key; what cannot be restored named and
// counted; the noise left alone.

#include "engine/undo_files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/change_journal.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/scratch_tree.h"

namespace {

using scratch::ReadWholeFile;

// A .reg file's text: UTF-16 after its byte order mark.
std::string RegText(const std::string& path) {
    const std::string bytes = ReadWholeFile(path);
    if (bytes.size() < 2) return {};
    return scratch::Utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(bytes.data()) + 1,
                                           bytes.size() / 2 - 1));
}

JournalEntry Entry(JournalKind kind, std::string path, std::string name = {}) {
    JournalEntry entry;
    entry.kind = kind;
    entry.path = std::move(path);
    entry.name = std::move(name);
    return entry;
}

TEST(UndoFiles, EachChangeOnceAtItsRealPlaceSubtreesByTheirTopAndTheRestNamed) {
    ScratchTree folder("undo-files");
    scratch::CurrentDirectory current(folder.Root());
    const std::string sid = "S-1-5-21-1-2-3-1001";
    const std::string users = "HKEY_USERS\\" + sid;
    std::vector<JournalEntry> entries = {
        // Seen under HKEY_CLASSES_ROOT, then at its real place; and only there.
        Entry(JournalKind::AddedKey, "HKEY_CLASSES_ROOT\\.qv"),
        Entry(JournalKind::AddedKey, "HKEY_CLASSES_ROOT\\OnlyHere"),
        Entry(JournalKind::AddedKey, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qv"),
        // This user's hive under HKEY_USERS is HKEY_CURRENT_USER, and written once.
        Entry(JournalKind::AddedKey, "HKEY_CURRENT_USER\\New"),
        Entry(JournalKind::AddedKey, "HKEY_CURRENT_USER\\New\\Inner"),
        Entry(JournalKind::AddedValue, "HKEY_CURRENT_USER\\New\\Inner", "v"),
        Entry(JournalKind::AddedKey, users + "\\New"),
        Entry(JournalKind::AddedKey, users + "\\New\\Inner"),
        Entry(JournalKind::AddedKey, users + "_Classes\\.mine"),
        Entry(JournalKind::AddedKey, "HKEY_USERS\\.DEFAULT\\Other"),
        Entry(JournalKind::RemovedKey, "HKEY_CURRENT_USER\\Old"),
        Entry(JournalKind::RemovedKey, "HKEY_CURRENT_USER\\Old\\Below"),
        Entry(JournalKind::RemovedValue, "HKEY_CURRENT_USER\\Old\\Below", "w"),
        Entry(JournalKind::ChangedValue, "HKEY_CURRENT_USER\\Kept", "unknown"),
        Entry(JournalKind::ChangedValue, "HKEY_CURRENT_USER\\Kept", "blurred"),
        Entry(JournalKind::RemovedValue, "HKEY_CURRENT_USER\\Kept", "unterminated"),
        Entry(JournalKind::RemovedEntry, "HKEY_CURRENT_USER\\Kept\\a=b"),
        Entry(JournalKind::AddedValue, "HKEY_CURRENT_USER\\Software\\Cache", "Stamp"),
        Entry(JournalKind::AddedFile, "D:\\app\\new.txt"),
        Entry(JournalKind::NewFolder, "D:\\app\\bin\\"),
        Entry(JournalKind::NewFolder, "D:\\app\\bin\\lib\\"),
        Entry(JournalKind::ModifiedFile, "D:\\app\\changed.txt"),
        Entry(JournalKind::RemovedFile, "D:\\app\\gone.txt"),
        Entry(JournalKind::AddedFile, "D:\\Temp\\scratch.tmp"),
    };
    entries[5].newType = REG_DWORD;
    entries[5].newData = std::string("\x01\0\0\0", 4);
    entries[12].oldType = REG_SZ;
    entries[12].oldData = std::string("x\0\0\0", 4);
    entries[13].old = OldData::TypeUnknown;
    entries[14].old = OldData::NotExact;
    entries[15].oldType = REG_MULTI_SZ;  // reg import would add the zero character it lacks
    entries[15].oldData = std::string("a\0", 2);
    entries[16].old = OldData::TypeUnknown;
    entries[17].noise = entries[23].noise = true;
    std::string journal;
    for (const JournalEntry& entry : entries) AppendJournalEntry(journal, entry);
    ASSERT_TRUE(scratch::WriteWholeFile(folder.Path("journal"), journal));

    UndoFilesCounts counts;
    std::string failure;
    ASSERT_TRUE(WriteUndoFiles("journal", sid, counts, failure)) << failure;
    EXPECT_EQ(counts.notRestoredTypeUnknown, 2u);
    EXPECT_EQ(counts.notRestoredDataNotExact, 2u);

    const std::string redo = RegText(folder.Path(kRedoRegName));
    const std::string undo = RegText(folder.Path(kUndoRegName));
    const std::string script = ReadWholeFile(folder.Path(kUndoCmdName));
    const std::string noise = "; left alone: likely background activity: added value: "
                              "HKEY_CURRENT_USER\\Software\\Cache\\Stamp";
    const struct {
        const std::string& file;
        std::string part;
        int times;  // how often it stands there
    } expected[] = {
        {redo, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qv]", 1},
        {redo, "[HKEY_CLASSES_ROOT\\.qv]", 0},
        {redo, "[HKEY_CLASSES_ROOT\\OnlyHere]", 1},
        {redo, "[HKEY_CURRENT_USER\\New]", 1},
        {redo, "[HKEY_CURRENT_USER\\New\\Inner]\r\n\"v\"=dword:00000001", 1},
        {redo, "[HKEY_CURRENT_USER\\Software\\Classes\\.mine]", 1},
        {redo, "[HKEY_USERS\\.DEFAULT\\Other]", 1},
        {redo, sid, 0},
        {redo, "[-HKEY_CURRENT_USER\\Old]", 1},
        {redo, "Below", 0},
        {redo, "not written: the line cannot be split into key and value", 1},
        {redo, noise, 1},
        {undo, "[-HKEY_CURRENT_USER\\New]", 1},
        {undo, "Inner", 0},
        {undo, "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qv]", 1},
        {undo, "[HKEY_CURRENT_USER\\Old]", 1},
        {undo, "[HKEY_CURRENT_USER\\Old\\Below]\r\n\"w\"=\"x\"", 1},
        {undo, "; not restored: type unknown: changed value: HKEY_CURRENT_USER\\Kept\\unknown", 1},
        {undo, "; not restored: data not exact: changed value: HKEY_CURRENT_USER\\Kept\\blurred", 1},
        {undo, "; not restored: data not exact: removed value: HKEY_CURRENT_USER\\Kept\\unterminated", 1},
        {undo, "; not restored: type unknown: HKEY_CURRENT_USER\\Kept\\a=b", 1},
        {undo, noise, 1},
        {undo, "Stamp\"", 0},
        {script, "rem modified file: D:\\app\\changed.txt\r\nrem removed file: D:\\app\\gone.txt\r\n", 1},
        {script, "del /f /q /a \"D:\\app\\new.txt\"", 1},
        {script, "rd \"D:\\app\\bin\\lib\"\r\nrd \"D:\\app\\bin\"\r\nreg import \"%~dp0Quorvane_Undo.reg\"", 1},
        {script, "rem left alone: likely background activity: added file: D:\\Temp\\scratch.tmp", 1},
        {script, "del /f /q /a \"D:\\Temp", 0},
    };
    for (const auto& e : expected) {
        int times = 0;
        for (std::size_t at = e.file.find(e.part); at != std::string::npos;
             at = e.file.find(e.part, at + 1)) {
            ++times;
        }
        EXPECT_EQ(times, e.times) << e.part << "\nin\n" << e.file;
    }
    // Each file ends with what it left alone.
    EXPECT_TRUE(redo.ends_with(noise + "\r\n")) << redo;
}

}  // namespace

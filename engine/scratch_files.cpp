#include "engine/scratch_files.h"

bool ChangeListReader::Next(std::size_t length, std::string_view& line) {
    std::string_view bytes;
    if (!reader_.Peek(length + 2, bytes)) return false;
    line = bytes.substr(0, length);
    reader_.Consume(length + 2);
    return true;
}

std::string_view NewDataReader::Next(std::size_t size) {
    std::string_view bytes;
    if (size == 0 || !reader_.Peek(size, bytes)) return {};
    reader_.Consume(size);
    return bytes.substr(0, size);
}

bool AppendFile(const char* name, SnapshotWriter& output) {
    SequentialReader reader;
    if (!reader.Open(name)) return false;
    for (std::string_view block = reader.Available(); !block.empty(); block = reader.Available()) {
        if (!output.Write(block)) return false;
        reader.Consume(block.size());
    }
    return true;
}

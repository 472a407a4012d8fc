#include "FuzzSupport.h"

#include <algorithm>

#include "container/ZVFConstants.h"

namespace zvfuzz {

RecordingLayout layOut(const uint8_t *data, size_t size) {
    RecordingLayout l;
    if (size < 6) {
        l.length = static_cast<int64_t>(size);  // the whole file; putRecording places it
        return l;
    }
    l.count = data;
    l.indexSize = std::min<size_t>(size_t{data[4]} | (size_t{data[5]} << 8), size - 6);
    l.index = data + 6;
    l.dataArea = l.index + l.indexSize;
    l.dataSize = size - 6 - l.indexSize;
    if (l.dataSize > 0)
        l.length = zvf::kDataBase + static_cast<int64_t>(l.dataSize);
    else if (l.indexSize > 0)
        l.length = zvf::kIndexBase + static_cast<int64_t>(l.indexSize);
    else
        l.length = zvf::kCountSize;
    return l;
}

void putRecording(zvtest::MemoryFileSystem &files, const std::string &name, const uint8_t *data,
                  size_t size) {
    const RecordingLayout l = layOut(data, size);
    if (size < 6) {
        files.setFile(name, {{0, data, size}}, l.length);
        return;
    }
    files.setFile(name,
                  {{zvf::kCountPosition, l.count, zvf::kCountSize},
                   {zvf::kIndexBase, l.index, l.indexSize},
                   {zvf::kDataBase, l.dataArea, l.dataSize}},
                  l.length);
}

std::vector<uint8_t> fuzzBytesOf(const std::string &recording) {
    auto area = [&](int64_t from, int64_t to) {
        from = std::min<int64_t>(from, static_cast<int64_t>(recording.size()));
        to = std::min<int64_t>(to, static_cast<int64_t>(recording.size()));
        return std::string(recording, static_cast<size_t>(from), static_cast<size_t>(to - from));
    };
    std::string count = area(0, zvf::kCountSize);
    count.resize(zvf::kCountSize, '\0');
    std::string index = area(zvf::kIndexBase, zvf::kDataBase);
    // Trailing zero entries carry nothing a hole would not.
    while (!index.empty() && index.back() == '\0')
        index.pop_back();
    index.resize(std::min<size_t>(
        (index.size() + zvf::kEntrySize - 1) / zvf::kEntrySize * zvf::kEntrySize, 65'535));
    const std::string dataArea = area(zvf::kDataBase, INT64_MAX);
    std::vector<uint8_t> out(count.begin(), count.end());
    out.push_back(static_cast<uint8_t>(index.size()));
    out.push_back(static_cast<uint8_t>(index.size() >> 8));
    out.insert(out.end(), index.begin(), index.end());
    out.insert(out.end(), dataArea.begin(), dataArea.end());
    return out;
}

}  // namespace zvfuzz

#include "settings/resource_opener.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

int g_plain_file_switch = 0;
std::string g_base_prefix;
std::vector<PlaceRecord> g_places;

// Joined candidates that would not fit a path buffer are never tried: a cut path could
// name some other file.
bool FitsPathBuffer(const std::string& path) { return path.size() <= kPathMaxText; }

std::FILE* OpenCandidate(const std::string& path, const char* mode) {
  if (!FitsPathBuffer(path)) return nullptr;
  return std::fopen(path.c_str(), mode);
}

bool CandidateOpens(const std::string& path) {
  std::FILE* file = OpenCandidate(path, "rb");
  if (!file) return false;
  std::fclose(file);
  return true;
}

// Start of the file name: after the last "\", "/" or drive colon.
std::size_t FileNameStart(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); i += CharLengthAt(path, i)) {
    if (path[i] == '\\' || path[i] == '/' || path[i] == ':') start = i + 1;
  }
  return start;
}

bool HasBackslash(std::string_view path) { return FindCharMb(path, '\\') != std::string_view::npos; }

std::string FolderJoin(const std::string& folder, const char* path) { return folder + "\\" + path; }

// Offsets are unsigned 32-bit; where long is 32 bits the upper half takes two steps.
void SeekFromStart(std::FILE* file, std::uint32_t offset) {
  constexpr std::uint32_t kStep = 0x40000000u;
  std::fseek(file, 0, SEEK_SET);
  while (offset > kStep) {
    std::fseek(file, static_cast<long>(kStep), SEEK_CUR);
    offset -= kStep;
  }
  std::fseek(file, static_cast<long>(offset), SEEK_CUR);
}

const IndexRecord* FindIndexRecord(const PlaceRecord& place, std::uint32_t key) {
  const auto it = std::lower_bound(place.index.begin(), place.index.end(), key,
                                   [](const IndexRecord& r, std::uint32_t k) { return r.key < k; });
  if (it == place.index.end() || it->key != key) return nullptr;
  return &*it;
}

// Uses the name table: kind 0 with at least one record.
bool UsesNameTable(const PlaceRecord& place) {
  return place.kind == kFolderPlace && !place.name_table.empty();
}

// Uses the index: kind 1, or kind 0 without a name table.
bool UsesIndex(const PlaceRecord& place) {
  return place.kind == kArchivePlace || (place.kind == kFolderPlace && place.name_table.empty());
}

// The direct try: prefix + path when a prefix is set (the plain path is then never tried),
// else the unchanged path when the switch allows it.
template <typename Try>
auto TryDirect(const char* path, Try&& attempt) -> decltype(attempt(std::string())) {
  if (!g_base_prefix.empty()) return attempt(g_base_prefix + path);
  if (g_plain_file_switch != 0) return attempt(std::string(path));
  return decltype(attempt(std::string()))();
}

}  // namespace

void SetPlainFileSwitch(int value) { g_plain_file_switch = value; }

bool SetBaseFolderPrefix(const char* prefix) {
  if (std::strlen(prefix) > kPathMaxText) return false;
  g_base_prefix = prefix;
  return true;
}

void RegisterPlace(PlaceRecord place) { g_places.push_back(std::move(place)); }

void RegisterFolderPlace(const std::string& folder, const std::vector<std::string>& file_names) {
  PlaceRecord place;
  place.kind = kFolderPlace;
  for (const std::string& name : file_names) place.name_table.push_back({NameKey(name.c_str()), folder});
  RegisterPlace(std::move(place));
}

void RegisterArchivePlace(const std::string& archive_path,
                          const std::vector<std::pair<std::string, std::uint32_t>>& entries) {
  PlaceRecord place;
  place.kind = kArchivePlace;
  place.archive_path = archive_path;
  for (const auto& [name, offset] : entries) place.index.push_back({NameKey(name.c_str()), offset, 0});
  std::sort(place.index.begin(), place.index.end(),
            [](const IndexRecord& a, const IndexRecord& b) { return a.key < b.key; });
  RegisterPlace(std::move(place));
}

void ClearRegisteredPlaces() { g_places.clear(); }

std::uint32_t NameKey(const char* path) {
  const std::string_view view(path);
  const std::string name = LowerMb(view.substr(FileNameStart(view)));
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(name.data()), static_cast<uInt>(name.size())));
}

bool IsSoundPath(const char* path) {
  const std::string_view view(path);
  const std::string_view name = view.substr(FileNameStart(view));
  const std::size_t dot = FindLastCharMb(name, '.');
  if (dot == std::string_view::npos) return false;
  const std::string extension = LowerMb(name.substr(dot));
  return extension == ".ogg" || extension == ".wav";
}

std::FILE* AttemptOpenSetupFile(const char* path, const char* mode) {
  const bool sound = IsSoundPath(path);
  const auto open = [mode](const std::string& candidate) { return OpenCandidate(candidate, mode); };

  if (!sound) {
    if (std::FILE* file = TryDirect(path, open)) return file;
  }
  if (HasBackslash(path)) return nullptr;

  bool have_key = false;
  std::uint32_t key = 0;
  for (const PlaceRecord& place : g_places) {
    if (place.kind != kFolderPlace && place.kind != kArchivePlace) continue;
    if (!have_key) {
      key = NameKey(path);
      have_key = true;
    }
    if (UsesNameTable(place)) {
      for (const NameTableRecord& record : place.name_table) {
        if (record.key != key) continue;
        if (std::FILE* file = OpenCandidate(FolderJoin(record.folder, path), mode)) return file;
      }
    } else if (UsesIndex(place)) {
      const IndexRecord* record = FindIndexRecord(place, key);
      if (!record) continue;
      if (std::FILE* file = OpenCandidate(place.archive_path, mode)) {
        SeekFromStart(file, record->offset);
        return file;
      }
    }
  }

  if (sound) return TryDirect(path, open);
  return nullptr;
}

char* FindSetupFile(const char* path, char* result) {
  result[0] = '\0';
  const bool sound = IsSoundPath(path);
  std::string found;
  const auto test = [&found](const std::string& candidate) {
    if (!CandidateOpens(candidate)) return false;
    found = candidate;
    return true;
  };
  const auto answer = [result, &found]() {
    CopyTruncated(result, kPathBuffer, found);
    return result;
  };

  if (!sound && TryDirect(path, test)) return answer();
  if (HasBackslash(path)) return nullptr;

  bool have_key = false;
  std::uint32_t key = 0;
  for (const PlaceRecord& place : g_places) {
    if (place.kind != kFolderPlace && place.kind != kArchivePlace) continue;
    if (!have_key) {
      key = NameKey(path);
      have_key = true;
    }
    if (UsesNameTable(place)) {
      const auto it = std::find_if(place.name_table.begin(), place.name_table.end(),
                                   [key](const NameTableRecord& r) { return r.key == key; });
      if (it == place.name_table.end()) continue;
      found = FolderJoin(it->folder, path);
      if (!FitsPathBuffer(found)) continue;
      return answer();
    }
    if (UsesIndex(place) && FindIndexRecord(place, key) && FitsPathBuffer(place.archive_path)) {
      found = place.archive_path;
      return answer();
    }
  }

  if (sound && TryDirect(path, test)) return answer();
  return nullptr;
}

#include "pack_common.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <cstdio>
#include <system_error>

#include "archive/archive_format.h"
#include "archive/archive_writer.h"
#include "common/byte_order.h"
#include "pe_signature.h"
#include "platform.h"

namespace {

bool ScanFolder(const std::string& host, const std::string& name, const std::string& display, PackTree* tree,
                std::string* error) {
  std::vector<std::string> children;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(PathFromUtf8(host), ec), end; !ec && it != end; it.increment(ec)) {
    children.push_back(Utf8FromPath(it->path().filename()));
  }
  if (ec) {
    *error = "cannot read folder " + host;
    return false;
  }
  std::sort(children.begin(), children.end());
  for (const std::string& child : children) {
    const std::string child_host = host + "/" + child;
    const std::string child_display = display + child;
    if (const std::string problem = WindowsNameProblem(child); !problem.empty()) {
      *error = child_display + ": " + problem;
      return false;
    }
    std::string cp932;
    std::string conversion_error;
    if (!Utf8ToCp932(child, &cp932, &conversion_error)) {
      *error = child_display + ": " + conversion_error;
      return false;
    }
    const std::filesystem::path path = PathFromUtf8(child_host);
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec) {
      *error = "cannot read " + child_host;
      return false;
    }
    PackEntry entry;
    entry.name = name + cp932;
    entry.display = child_display;
    if (std::filesystem::is_directory(status)) {
      entry.folder = true;
      entry.name += '\\';
      entry.display += '/';
      const std::string folder_name = entry.name, folder_display = entry.display;
      tree->entries.push_back(std::move(entry));
      if (!ScanFolder(child_host, folder_name, folder_display, tree, error)) return false;
    } else if (std::filesystem::is_regular_file(status)) {
      entry.source_path = child_host;
      entry.size = std::filesystem::file_size(path, ec);
      if (ec || !GetFileWriteTime(child_host, &entry.filetime)) {
        *error = "cannot read " + child_host;
        return false;
      }
      tree->entries.push_back(std::move(entry));
    } else {
      *error = child_display + ": neither a file nor a folder";
      return false;
    }
  }
  return true;
}

// Whether the text has a CP932 form that reads back as the same character.
bool RoundTrips(const std::string& utf8, std::string* cp932) {
  std::string back;
  return ConvertUtf8ToCp932(utf8, cp932) && ConvertCp932ToUtf8(*cp932, &back) == std::string::npos && back == utf8;
}

}  // namespace

// Checked on the UTF-8 name, where every ASCII byte is itself: in CP932 a backslash may be
// the second byte of a character.
std::string WindowsNameProblem(const std::string& name) {
  for (const char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return "the name contains a control character, which Windows does not allow";
    if (std::strchr("\\/:*?\"<>|", c)) {
      return std::string("the name contains \"") + c + "\", which Windows does not allow in a name";
    }
  }
  // Windows strips these when it creates the file, so two entries could become one.
  if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
    return "the name ends with a dot or a space, which Windows removes";
  }
  std::string base = name.substr(0, name.find('.'));
  for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  bool device = std::find(std::begin(kDevices), std::end(kDevices), base) != std::end(kDevices);
  device = device || (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
                      base[3] >= '0' && base[3] <= '9');
  // The superscript digits (UTF-8 bytes) count as well: "COM" and a superscript one.
  for (const char* prefix : {"com", "lpt"}) {
    for (const char* digit : {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"}) device = device || base == std::string(prefix) + digit;
  }
  if (device) return "\"" + name + "\" is a device name on Windows and cannot be a file or folder";
  return std::string();
}

// A character must come back from CP932 as itself: the C library's table also takes a few
// look-alikes one way only (the yen sign becomes a backslash, which would add a folder level), and
// Windows refuses those, so both builds of the tool accept the same names.
bool Utf8ToCp932(const std::string& utf8, std::string* cp932, std::string* error) {
  if (RoundTrips(utf8, cp932)) return true;
  // Name the first character that has no CP932 form.
  std::string bad = utf8, unused;
  for (std::size_t at = 0, end = 0; at < utf8.size(); at = end) {
    end = at + 1;
    while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) ++end;
    if (!RoundTrips(utf8.substr(at, end - at), &unused)) {
      bad = utf8.substr(at, end - at);
      break;
    }
  }
  *error = "the character \"" + bad + "\" has no Shift-JIS (CP932) form";
  return false;
}

std::string Cp932ToUtf8(const std::string& cp932) {
  std::string out;
  std::size_t at = 0;
  while (at < cp932.size()) {
    std::string piece;
    const std::size_t stop = ConvertCp932ToUtf8(cp932.substr(at), &piece);
    out += piece;
    if (stop == std::string::npos) break;
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(cp932[at + stop]));
    out += hex;
    at += stop + 1;
  }
  return out;
}

bool ScanTree(const std::string& root, PackTree* tree, std::string* error) {
  tree->root = root;
  tree->entries.clear();
  return ScanFolder(root, std::string(), std::string(), tree, error);
}

bool OpenAnyArchive(const std::string& path, LocatedArchive* found, std::string* error, ArchiveContainer* container) {
  char magic[2] = {0, 0};
  FilePtr stream(OpenFile(path, "rb"));
  if (!stream) {
    *error = path + ": cannot open";
    return false;
  }
  if (std::fread(magic, 1, 2, stream.get()) != 2) magic[0] = 0;
  const bool exe = magic[0] == 'M' && magic[1] == 'Z';
  ArchiveContainer unused;
  if (!container) container = &unused;
  *container = ArchiveContainer();
  container->executable = exe;
  PeLayout pe;
  if (exe && ReadPeLayout(stream.get(), &pe) && pe.Signed()) {
    container->is_signed = true;
    container->certificate_size = pe.certificate_size;
    // The program's own locator finds the trailer in front of the table; the tool only
    // insists that it did, rather than read the signature's last bytes as a trailer.
    if (LocateInStream(std::move(stream), false, found) == LocateStatus::kFound &&
        found->end + 4 <= static_cast<std::int64_t>(pe.certificate_offset)) {
      return true;
    }
    *error = path + ": signed, but no archive ends right before the signature (trailer not found)";
    return false;
  }
  if (!SeekFile(stream.get(), 2, SEEK_SET)) {
    *error = path + ": cannot read";
    return false;
  }
  switch (LocateInStream(std::move(stream), !exe, found)) {
    case LocateStatus::kFound: return true;
    case LocateStatus::kNoFile: *error = path + ": cannot open"; return false;
    case LocateStatus::kBadTrailer:
      *error = path + (exe ? ": no archive appended (trailer out of range)" : ": too large for an archive");
      return false;
  }
  return false;
}

std::string SignatureSummary(const ArchiveContainer& container) {
  if (!container.executable) return std::string();
  if (!container.is_signed) return "signature: none";
  return "signature: present (certificate table of " + std::to_string(container.certificate_size) +
         " bytes); the archive and its trailer lie inside the signed range";
}

namespace {
#ifdef _WIN32
constexpr const char* kPathSeparators = "\\/:";
#else
constexpr const char* kPathSeparators = "/";
#endif
}  // namespace

FolderVolumeOpener::FolderVolumeOpener(const std::string& first_volume_path) {
  const std::size_t cut = first_volume_path.find_last_of(kPathSeparators);
  if (cut != std::string::npos) folder_ = first_volume_path.substr(0, cut + 1);
}

std::unique_ptr<ArchiveFile> FolderVolumeOpener::OpenVolume(const std::string& name) {
  FilePtr file(OpenFile(folder_ + name, "rb"));
  if (!file) return nullptr;
  return std::make_unique<StdioArchiveFile>(std::move(file));
}

std::unique_ptr<Sha256> FolderVolumeOpener::NewDigest() { return NewSha256(); }

std::string StreamEndProblem(const ArchiveStream& stream) {
  if (!stream.bad_volume().empty()) return stream.bad_volume() + ": missing, cut short or not of this set";
  return "the archive ends inside an entry";
}

// Civil date from the day count (proleptic Gregorian), so no C library's time_t range or
// thread-safe gmtime variant is needed.
std::string FormatFiletime(std::uint64_t filetime) {
  const std::int64_t seconds = static_cast<std::int64_t>(filetime / kTicksPerSecond) -
                              static_cast<std::int64_t>(kUnixEpochTicks / kTicksPerSecond);
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  days += 719468;  // from 0000-03-01
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t mp = (5 * day_of_year + 2) / 153;
  const std::int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = year_of_era + era * 400 + (month <= 2);
  char text[48];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

bool ProgressWanted() { return StdoutIsTerminal(); }

bool RenameFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::rename(PathFromUtf8(from), PathFromUtf8(to), ec);
  return !ec;
}

bool RemoveFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::remove(PathFromUtf8(path), ec);
}

void MakeExecutable(const std::string& path) {
  using std::filesystem::perms;
  std::error_code ec;
  std::filesystem::permissions(PathFromUtf8(path),
                               perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                                   perms::others_exec,
                               ec);
}

bool MakeFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::create_directory(PathFromUtf8(path), ec);
}

#include "pack_common.h"

#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "archive/archive_format.h"
#include "archive/archive_writer.h"

namespace {

struct Iconv {
  iconv_t cd;
  Iconv(const char* to, const char* from) : cd(iconv_open(to, from)) {}
  ~Iconv() {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
};

// Converts as far as possible; returns the byte offset where conversion stopped, or npos.
std::size_t Convert(const char* to, const char* from, const std::string& in, std::string* out) {
  Iconv conv(to, from);
  out->clear();
  if (conv.cd == reinterpret_cast<iconv_t>(-1)) return 0;
  std::string buffer(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  char* dst = &buffer[0];
  std::size_t dst_left = buffer.size();
  const std::size_t result = iconv(conv.cd, &src, &src_left, &dst, &dst_left);
  out->assign(buffer.data(), buffer.size() - dst_left);
  if (result == static_cast<std::size_t>(-1)) return in.size() - src_left;
  return std::string::npos;
}

std::vector<NamedBuildStep>& Steps() {
  static std::vector<NamedBuildStep> steps;
  return steps;
}

bool ScanFolder(const std::string& host, const std::string& name, const std::string& display, PackTree* tree,
                std::string* error) {
  DIR* dir = ::opendir(host.c_str());
  if (!dir) {
    *error = "cannot read folder " + host;
    return false;
  }
  std::vector<std::string> children;
  while (dirent* d = ::readdir(dir)) {
    const std::string child = d->d_name;
    if (child != "." && child != "..") children.push_back(child);
  }
  ::closedir(dir);
  std::sort(children.begin(), children.end());
  for (const std::string& child : children) {
    const std::string child_host = host + "/" + child;
    const std::string child_display = display + child;
    std::string cp932;
    std::string conversion_error;
    if (!Utf8ToCp932(child, &cp932, &conversion_error)) {
      *error = child_display + ": " + conversion_error;
      return false;
    }
    struct stat st;
    if (::stat(child_host.c_str(), &st) != 0) {
      *error = "cannot read " + child_host;
      return false;
    }
    PackEntry entry;
    entry.name = name + cp932;
    entry.display = child_display;
    entry.filetime = FiletimeFromUnix(st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec));
    if (S_ISDIR(st.st_mode)) {
      entry.folder = true;
      entry.name += '\\';
      entry.display += '/';
      const std::string folder_name = entry.name, folder_display = entry.display;
      tree->entries.push_back(std::move(entry));
      if (!ScanFolder(child_host, folder_name, folder_display, tree, error)) return false;
    } else if (S_ISREG(st.st_mode)) {
      entry.source_path = child_host;
      entry.size = static_cast<std::uint64_t>(st.st_size);
      tree->entries.push_back(std::move(entry));
    } else {
      *error = child_display + ": neither a file nor a folder";
      return false;
    }
  }
  return true;
}

}  // namespace

bool Utf8ToCp932(const std::string& utf8, std::string* cp932, std::string* error) {
  const std::size_t stop = Convert("CP932", "UTF-8", utf8, cp932);
  if (stop == std::string::npos) return true;
  // Name the first character that has no CP932 form.
  std::size_t end = stop + 1;
  while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) ++end;
  *error = "the character \"" + utf8.substr(stop, end - stop) + "\" has no Shift-JIS (CP932) form";
  return false;
}

std::string Cp932ToUtf8(const std::string& cp932) {
  std::string out;
  std::size_t at = 0;
  while (at < cp932.size()) {
    std::string piece;
    const std::size_t stop = Convert("UTF-8", "CP932", cp932.substr(at), &piece);
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

bool RegisterBuildStep(const char* name, BuildStep step) {
  Steps().push_back({name, step});
  return true;
}

const std::vector<NamedBuildStep>& BuildSteps() { return Steps(); }

bool OpenAnyArchive(const std::string& path, LocatedArchive* found, std::string* error) {
  char magic[2] = {0, 0};
  if (FilePtr probe{std::fopen(path.c_str(), "rb")}) {
    if (std::fread(magic, 1, 2, probe.get()) != 2) magic[0] = 0;
  } else {
    *error = path + ": cannot open";
    return false;
  }
  const bool exe = magic[0] == 'M' && magic[1] == 'Z';
  switch (OpenArchiveFile(path.c_str(), !exe, found)) {
    case LocateStatus::kFound: return true;
    case LocateStatus::kNoFile: *error = path + ": cannot open"; return false;
    case LocateStatus::kBadTrailer:
      *error = path + (exe ? ": no archive appended (trailer out of range)" : ": too large for an archive");
      return false;
  }
  return false;
}

std::string FormatFiletime(std::uint64_t filetime) {
  const std::int64_t seconds =
      (static_cast<std::int64_t>(filetime) - static_cast<std::int64_t>(kUnixEpochTicks)) /
      static_cast<std::int64_t>(kTicksPerSecond);
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

bool ProgressWanted() { return ::isatty(STDOUT_FILENO) != 0; }

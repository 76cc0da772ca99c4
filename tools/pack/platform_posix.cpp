// The pack tool on POSIX systems: paths are bytes, names convert through iconv.
#include <fcntl.h>
#include <openssl/evp.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/archive_format.h"
#include "archive/archive_writer.h"
#include "platform.h"

namespace {

class OpensslSha256 : public Sha256 {
 public:
  OpensslSha256() : context_(EVP_MD_CTX_new()) { ok_ = context_ && EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) == 1; }
  ~OpensslSha256() override { EVP_MD_CTX_free(context_); }
  OpensslSha256(const OpensslSha256&) = delete;
  OpensslSha256& operator=(const OpensslSha256&) = delete;
  void Update(const void* data, std::size_t size) override {
    ok_ = ok_ && EVP_DigestUpdate(context_, data, size) == 1;
  }
  bool Final(unsigned char digest[kDigestBytes]) override {
    unsigned int n = 0;
    return ok_ && EVP_DigestFinal_ex(context_, digest, &n) == 1 && n == kDigestBytes;
  }

 private:
  EVP_MD_CTX* context_;
  bool ok_ = false;
};

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as far as possible; npos, or the offset where conversion stopped.
  std::size_t Convert(const std::string& in, std::string* out) {
    out->clear();
    if (!ok()) return 0;
    std::string buffer(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char* dst = &buffer[0];
    std::size_t dst_left = buffer.size();
    const std::size_t result = iconv(cd_, &src, &src_left, &dst, &dst_left);
    out->assign(buffer.data(), buffer.size() - dst_left);
    if (result == static_cast<std::size_t>(-1)) return in.size() - src_left;
    return std::string::npos;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void PrepareConsole() {}

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

std::filesystem::path PathFromUtf8(const std::string& path) { return std::filesystem::path(path); }

std::string Utf8FromPath(const std::filesystem::path& path) { return path.native(); }

std::FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::FILE* OpenTemporaryFile() { return std::tmpfile(); }

bool SeekFile(std::FILE* file, std::int64_t offset, int whence) {
  return ::fseeko(file, static_cast<off_t>(offset), whence) == 0;
}

std::int64_t TellFile(std::FILE* file) { return static_cast<std::int64_t>(::ftello(file)); }

bool GetFileWriteTime(const std::string& path, std::uint64_t* filetime) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  *filetime = FiletimeFromUnix(st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec));
  return true;
}

bool SetFileWriteTime(const std::string& path, std::uint64_t filetime) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  const std::int64_t ticks = static_cast<std::int64_t>(filetime - kUnixEpochTicks);
  std::int64_t seconds = ticks / static_cast<std::int64_t>(kTicksPerSecond);
  std::int64_t rest = ticks % static_cast<std::int64_t>(kTicksPerSecond);
  if (rest < 0) {
    rest += kTicksPerSecond;
    --seconds;
  }
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = static_cast<long>(rest * 100);
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool ConvertUtf8ToCp932(const std::string& utf8, std::string* cp932) {
  Iconv conv("CP932", "UTF-8");
  return conv.Convert(utf8, cp932) == std::string::npos;
}

std::size_t ConvertCp932ToUtf8(const std::string& cp932, std::string* utf8) {
  Iconv conv("UTF-8", "CP932");
  return conv.Convert(cp932, utf8);
}

std::unique_ptr<Sha256> NewSha256() { return std::make_unique<OpensslSha256>(); }

#include "archive/sha256_win.h"

#include <windows.h>
#include <wincrypt.h>


namespace {

// The CryptoAPI of advapi32, which both programs import already: a further system DLL
// imported by name would be looked for beside the setup program first.
class SystemSha256 : public Sha256 {
 public:
  SystemSha256() {
    ok_ = CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
          CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_);
  }
  ~SystemSha256() override {
    if (hash_) CryptDestroyHash(hash_);
    if (provider_) CryptReleaseContext(provider_, 0);
  }
  SystemSha256(const SystemSha256&) = delete;
  SystemSha256& operator=(const SystemSha256&) = delete;
  bool ok() const { return ok_; }

  void Update(const void* data, std::size_t size) override {
    // CryptHashData takes a 32-bit length.
    const BYTE* bytes = static_cast<const BYTE*>(data);
    while (ok_ && size > 0) {
      const DWORD n = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
      ok_ = CryptHashData(hash_, bytes, n, 0) != FALSE;
      bytes += n;
      size -= n;
    }
  }
  bool Final(unsigned char digest[kDigestBytes]) override {
    DWORD n = static_cast<DWORD>(kDigestBytes);
    return ok_ && CryptGetHashParam(hash_, HP_HASHVAL, digest, &n, 0) && n == kDigestBytes;
  }

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
  bool ok_ = false;
};

}  // namespace

std::unique_ptr<Sha256> NewSystemSha256() {
  auto digest = std::make_unique<SystemSha256>();
  if (!digest->ok()) return nullptr;
  return digest;
}

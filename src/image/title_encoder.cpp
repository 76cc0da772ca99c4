// Encoder for the title picture format. Kept apart from the decoder so the setup program,
// which only decodes, links none of it.
#include <algorithm>
#include <cstring>
#include <limits>

#include "common/byte_order.h"
#include "image/title_codec.h"

namespace {

constexpr std::size_t kShortRef = 3;          // 1-byte back-reference: 1 to 3 pixels
constexpr std::size_t kLongRef = 65535 + 4;   // 3-byte back-reference: 4 to 65539 pixels
constexpr std::size_t kShortRun = 127;        // 1-byte literal header: 1 to 127 pixels
constexpr std::size_t kLongRun = 65535 + 128; // 3-byte literal header: 128 to 65663 pixels

// Minimum of key[] over a window of indices that slides towards lower indices.
class WindowMin {
 public:
  explicit WindowMin(const std::vector<std::uint64_t>& key) : key_(key) {}
  void Add(std::size_t index) {
    while (head_ < items_.size() && key_[items_.back()] >= key_[index]) items_.pop_back();
    items_.push_back(index);
  }
  // Drops indices above `last`; they were added first, so they sit at the front.
  void DropAbove(std::size_t last) {
    while (head_ < items_.size() && items_[head_] > last) ++head_;
    if (head_ > 4096 && head_ * 2 > items_.size()) {
      items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
  }
  bool Empty() const { return head_ == items_.size(); }
  std::size_t Best() const { return items_[head_]; }

 private:
  const std::vector<std::uint64_t>& key_;
  std::vector<std::size_t> items_;
  std::size_t head_ = 0;
};

enum Step : unsigned char { kRef, kLiteral };

void Put16(std::vector<unsigned char>& out, std::size_t value) {
  unsigned char bytes[2];
  StoreU16(bytes, static_cast<std::uint16_t>(value));
  out.insert(out.end(), bytes, bytes + 2);
}

void Put32(std::vector<unsigned char>& out, std::uint32_t value) {
  unsigned char bytes[4];
  StoreU32(bytes, value);
  out.insert(out.end(), bytes, bytes + 4);
}

}  // namespace

std::vector<unsigned char> EncodeTitlePixels(const unsigned char* pixels, int width,
                                             int height) {
  std::vector<unsigned char> out;
  if (!TitleSizeAccepted(width, height)) return out;
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<std::uint32_t> value(n);
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char* p = pixels + 3 * i;
    value[i] = p[0] | p[1] << 8 | static_cast<std::uint32_t>(p[2]) << 16;
  }

  // Only entries that point back are usable; very narrow pictures have some that do not.
  std::ptrdiff_t back[kTitleOffsetCount];
  int usable[kTitleOffsetCount];
  int usable_count = 0;
  for (int k = 0; k < kTitleOffsetCount; ++k) {
    const std::ptrdiff_t d = kTitleOffsetPixels[k][0] + kTitleOffsetPixels[k][1] * std::ptrdiff_t{width};
    if (d < 0) {
      back[usable_count] = -d;
      usable[usable_count++] = k;
    }
  }

  // Exact parse, back to front. cost[p] = fewest bytes encoding pixels p..n-1. It never
  // grows with p (shortening the first command of a parse of p gives one of p + 1), so a
  // back-reference is best at its longest usable length per form, and only literal runs
  // need a search: a sliding minimum over cost[q] + 3q for each header form.
  std::vector<std::uint64_t> cost(n + 1, 0);
  std::vector<std::uint64_t> literal_key(n + 1, 0);
  std::vector<std::uint32_t> length(n, 0);
  std::vector<unsigned char> step(n, 0);  // kind in bit 7, entry k in the low bits
  std::vector<std::uint32_t> run(kTitleOffsetCount, 0);
  WindowMin short_window(literal_key), long_window(literal_key);
  literal_key[n] = 3 * static_cast<std::uint64_t>(n);

  for (std::size_t p = n; p-- > 1;) {
    std::size_t best_len = 0;
    int best_k = 0;
    for (int u = 0; u < usable_count; ++u) {
      const std::size_t d = static_cast<std::size_t>(back[u]);
      std::uint32_t& r = run[u];
      r = (d <= p && value[p] == value[p - d]) ? r + 1 : 0;
      if (r > best_len) {
        best_len = r;
        best_k = usable[u];
      }
    }

    std::uint64_t best = std::numeric_limits<std::uint64_t>::max();
    if (best_len >= 4) {
      const std::size_t len = std::min(best_len, kLongRef);
      best = 3 + cost[p + len];
      length[p] = static_cast<std::uint32_t>(len);
      step[p] = static_cast<unsigned char>(kRef << 7 | best_k);
    }
    if (best_len >= 1) {
      const std::size_t len = std::min(best_len, kShortRef);
      if (1 + cost[p + len] < best) {
        best = 1 + cost[p + len];
        length[p] = static_cast<std::uint32_t>(len);
        step[p] = static_cast<unsigned char>(kRef << 7 | best_k);
      }
    }
    short_window.Add(p + 1);
    short_window.DropAbove(p + kShortRun);
    if (p + 128 <= n) long_window.Add(p + 128);
    long_window.DropAbove(p + kLongRun);
    const std::uint64_t base = 3 * static_cast<std::uint64_t>(p);
    const std::size_t q1 = short_window.Best();
    if (1 + literal_key[q1] - base < best) {
      best = 1 + literal_key[q1] - base;
      length[p] = static_cast<std::uint32_t>(q1 - p);
      step[p] = static_cast<unsigned char>(kLiteral << 7);
    }
    if (!long_window.Empty()) {
      const std::size_t q2 = long_window.Best();
      if (3 + literal_key[q2] - base < best) {
        best = 3 + literal_key[q2] - base;
        length[p] = static_cast<std::uint32_t>(q2 - p);
        step[p] = static_cast<unsigned char>(kLiteral << 7);
      }
    }
    cost[p] = best;
    literal_key[p] = best + base;
  }

  out.reserve(3 + static_cast<std::size_t>(cost[1 < n ? 1 : n]));
  out.insert(out.end(), pixels, pixels + 3);
  for (std::size_t p = 1; p < n;) {
    const std::size_t len = length[p];
    if (step[p] >> 7 == kRef) {
      const unsigned k = step[p] & 0x1F;
      if (len <= kShortRef) {
        out.push_back(static_cast<unsigned char>(0x80 | k << 2 | (len - 1)));
      } else {
        out.push_back(static_cast<unsigned char>(0x80 | k << 2 | 3));
        Put16(out, len - 4);
      }
    } else {
      if (len <= kShortRun) {
        out.push_back(static_cast<unsigned char>(len - 1));
      } else {
        out.push_back(0x7F);
        Put16(out, len - 128);
      }
      out.insert(out.end(), pixels + 3 * p, pixels + 3 * (p + len));
    }
    p += len;
  }
  return out;
}

std::vector<unsigned char> EncodeTitleFile(const unsigned char* pixels, int width, int height,
                                           TitleVariant variant, const std::string& name) {
  std::vector<unsigned char> data = EncodeTitlePixels(pixels, width, height);
  if (data.empty()) return data;
  if (TitleVariantScrambled(variant)) {
    data.push_back('T');
    data.push_back('S');
    UnscrambleTitleData(data.data(), data.size());  // XOR with the key: its own inverse
  }
  std::vector<unsigned char> out = {0x98, 0x5A, 0x92, 0x9A};
  const char* word = TitleVariantName(variant);
  out.insert(out.end(), word, word + 4);
  Put32(out, static_cast<std::uint32_t>(width));
  Put32(out, static_cast<std::uint32_t>(height));
  Put32(out, static_cast<std::uint32_t>(data.size()));
  if (TitleVariantNamed(variant)) {
    const std::size_t kept = std::min<std::size_t>(name.size(), 65535);
    Put16(out, kept);
    out.insert(out.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(kept));
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

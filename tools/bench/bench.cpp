// Report printing, timing and the peer provider of tvbench.
#include "bench.h"

#include <algorithm>
#include <cstdio>

#include "csp/front/provider_identity.h"

namespace tvbench {
namespace {

constexpr std::size_t kMinCalls = 5;

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency;
}

double TimeOneCall(const std::function<void()>& fn) {
  const double start = Now();
  fn();
  return Now() - start;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

const char* UnitName(Unit unit) { return unit == Unit::MegabytesPerSecond ? "MB/s" : "ms/op"; }

// A number, or "-" where there is none (no peer operation).
std::string Figure(double value) {
  if (value <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// A verify-only context of a provider, released when the program ends.
class ProviderContext {
 public:
  ProviderContext(const char* name, DWORD type) {
    if (!CryptAcquireContextA(&provider_, nullptr, name, type, CRYPT_VERIFYCONTEXT)) {
      std::fprintf(stderr, "tvbench: cannot acquire \"%s\" (error 0x%08lX); its figures are omitted\n", name,
                   GetLastError());
      provider_ = 0;
    }
  }
  ~ProviderContext() {
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  ProviderContext(const ProviderContext&) = delete;
  ProviderContext& operator=(const ProviderContext&) = delete;
  HCRYPTPROV Get() const { return provider_; }

 private:
  HCRYPTPROV provider_ = 0;
};

}  // namespace

double Row::Ratio() const {
  if (ours <= 0 || peer <= 0) return 0;
  return unit == Unit::MegabytesPerSecond ? ours / peer : peer / ours;
}

bool Report::Wants(const std::string& name) const {
  if (only_.empty()) return true;
  for (std::size_t start = 0; start <= only_.size();) {
    const std::size_t comma = std::min(only_.find(',', start), only_.size());
    const std::string part = only_.substr(start, comma - start);
    if (!part.empty() && name.find(part) != std::string::npos) return true;
    start = comma + 1;
  }
  return false;
}

void Report::Add(Row row) {
  if (Wants(row.name)) rows_.push_back(std::move(row));
}

void Report::Print(bool tsv) const {
  if (tsv) {
    for (const Row& row : rows_) {
      std::printf("%s\t%s\t%s\t%s\t%s\n", row.name.c_str(), UnitName(row.unit), Figure(row.ours).c_str(),
                  Figure(row.peer).c_str(), Figure(row.Ratio()).c_str());
    }
    return;
  }
  std::printf("%-24s %-6s %12s %12s %10s\n", "operation", "unit", "ours", "peer", "ours/peer");
  for (const Row& row : rows_) {
    std::printf("%-24s %-6s %12s %12s %10s\n", row.name.c_str(), UnitName(row.unit), Figure(row.ours).c_str(),
                Figure(row.peer).c_str(), Figure(row.Ratio()).c_str());
  }
}

Bytes Pattern(std::size_t size, BYTE seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(seed + i * 131 + (i >> 8));
  return bytes;
}

void WarnIfDifferent(const std::string& name, const Bytes& ours, const Bytes& peer) {
  if (ours != peer) std::fprintf(stderr, "tvbench: %s: our result differs from the peer's\n", name.c_str());
}

double SecondsPerCall(const std::function<void()>& fn, double minSeconds) {
  fn();  // warm caches and page in buffers
  long calls = 0;
  const double start = Now();
  double elapsed = 0;
  do {
    fn();
    ++calls;
    elapsed = Now() - start;
  } while (elapsed < minSeconds);
  return elapsed / static_cast<double>(calls);
}

double MedianSeconds(const std::function<void()>& fn, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(TimeOneCall(fn));
  return Median(std::move(times));
}

double TypicalSecondsPerCall(const std::function<void()>& fn, double minSeconds) {
  fn();  // warm caches and page in buffers
  std::vector<double> times;
  const double start = Now();
  while (times.size() < kMinCalls || Now() - start < minSeconds) times.push_back(TimeOneCall(fn));
  return Median(std::move(times));
}

TimingPair TypicalSecondsPerCallOfBoth(const std::function<void()>& ours, const std::function<void()>& peer,
                                       double minSeconds) {
  ours();  // warm caches and page in buffers
  peer();
  std::vector<double> oursTimes, peerTimes;
  const double start = Now();
  while (oursTimes.size() < kMinCalls || Now() - start < minSeconds) {
    oursTimes.push_back(TimeOneCall(ours));
    peerTimes.push_back(TimeOneCall(peer));
  }
  return {Median(std::move(oursTimes)), Median(std::move(peerTimes))};
}

HCRYPTPROV PeerProvider() {
  static const ProviderContext context(MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES);
  return context.Get();
}

HCRYPTPROV OurProvider() {
  static const ProviderContext context(tv::csp::kProviderName, tv::csp::kProviderType);
  return context.Get();
}

}  // namespace tvbench

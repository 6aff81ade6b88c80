// tvbench: times the same work in our code and in the platform's Enhanced
// provider in one run, and prints both with their ratio: our primitives
// called directly against the peer through CryptoAPI, and both providers
// through CryptoAPI.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tvbench {

enum class Unit { MegabytesPerSecond, MillisecondsPerOp };

struct Row {
  std::string name;   // e.g. "sha256", "aes128-cbc-encrypt", "rsa2048-private"
  Unit unit;
  double ours = 0;    // measured value in `unit`
  double peer = 0;    // 0 when the peer has no such operation
  // Speed of ours over speed of peer: above 1 means we are faster.
  double Ratio() const;
};

class Report {
 public:
  // Only rows whose name contains one of the comma-separated parts of `only`
  // are kept (all when it is empty).
  explicit Report(std::string only = {}) : only_(std::move(only)) {}
  // Whether a row of this name would be kept: suites skip the timing of
  // operations nobody asked for.
  bool Wants(const std::string& name) const;
  void Add(Row row);  // dropped unless Wants(row.name)
  void Print(bool tsv) const;
  const std::vector<Row>& Rows() const { return rows_; }

 private:
  std::string only_;
  std::vector<Row> rows_;
};

using Bytes = std::vector<BYTE>;

// The buffer size of the throughput rows.
inline constexpr std::size_t kBufferSize = 1 << 20;
inline double MegabytesPerSecond(double secondsPerBuffer) { return kBufferSize / secondsPerBuffer / 1e6; }
inline double Milliseconds(double seconds) { return seconds * 1000; }

// `size` bytes of a fixed pattern that starts from `seed`.
Bytes Pattern(std::size_t size, BYTE seed);
// Reports on stderr when the two sides' results of an operation differ.
void WarnIfDifferent(const std::string& name, const Bytes& ours, const Bytes& peer);

// Seconds per call of fn, repeated until at least minSeconds have passed.
double SecondsPerCall(const std::function<void()>& fn, double minSeconds = 0.3);
// Median of `runs` single timings of fn, in seconds.
double MedianSeconds(const std::function<void()>& fn, int runs);
// Median of single timings of fn gathered for at least minSeconds (and at
// least five calls), in seconds: robust against other load on the machine.
double TypicalSecondsPerCall(const std::function<void()>& fn, double minSeconds = 0.3);

// The same for two functions timed call by call in turn, so that both meet
// the same load on the machine and their ratio stays fair.
struct TimingPair {
  double ours;
  double peer;
};
TimingPair TypicalSecondsPerCallOfBoth(const std::function<void()>& ours, const std::function<void()>& peer,
                                       double minSeconds = 0.6);

// A verify-only context of "Microsoft Enhanced RSA and AES Cryptographic
// Provider" (type PROV_RSA_AES), acquired once; 0 if the platform lacks it.
HCRYPTPROV PeerProvider();
// A verify-only context of our provider through CryptoAPI (registered in
// the prefix); 0 if it cannot be acquired.
HCRYPTPROV OurProvider();

// Suites, one file each.
void RunSymmetric(Report& report);  // every hash and cipher on 1 MiB buffers
void RunRsa(Report& report);        // RSA operations and key generation
// The same work through CryptoAPI in both providers: hashing, encryption,
// signatures, key generation and SIMPLEBLOB export and import.
void RunCryptoApi(Report& report);
// Opening a container and signing with it: on a simulated Key, in the
// registry, and in the peer.
void RunContainers(Report& report);

}  // namespace tvbench

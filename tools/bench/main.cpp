// tvbench: times our hash, cipher and RSA code, and our provider through
// CryptoAPI, against the platform's Enhanced provider on the same work and
// prints both with their ratio.
#include <cstdio>
#include <cstring>
#include <string>

#include "bench.h"
#include "cpu/cpu_features.h"
#include "csp/front/provider_identity.h"

namespace {

constexpr char kUsage[] =
    "usage: tvbench [--tsv] [--only TEXT[,TEXT...]] [--portable]\n"
    "  --tsv        one tab-separated line per operation: name, unit, ours, peer,\n"
    "               speed ratio (ours over peer; above 1 means ours is faster)\n"
    "  --only TEXT  run only the operations whose name contains TEXT (or one of\n"
    "               several TEXTs separated by commas)\n"
    "  --portable   time our portable code (no AES-NI, SHA extensions, AVX-512)\n";

struct Options {
  bool tsv = false;
  bool portable = false;
  std::string only;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tsv") == 0) {
      options.tsv = true;
    } else if (std::strcmp(argv[i], "--portable") == 0) {
      options.portable = true;
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      options.only = argv[++i];
    } else {
      return false;
    }
  }
  return true;
}

void PrintSetting(bool portable) {
  namespace cpu = tv::crypto::cpu;
  std::printf("ours: %s code (processor: AES-NI %s, SHA extensions %s, AVX-512 IFMA %s)\n",
              portable ? "portable" : "best available", cpu::ProcessorHasAesNi() ? "yes" : "no",
              cpu::ProcessorHasShaNi() ? "yes" : "no", cpu::ProcessorHasAvx512Ifma() ? "yes" : "no");
  std::printf("peer: %s\n", MS_ENH_RSA_AES_PROV_A);
  std::printf("capi-* rows: both columns through CryptoAPI, ours \"%s\"\n\n", tv::csp::kProviderName);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  tv::crypto::cpu::AllowAcceleration(!options.portable);
  if (!options.tsv) PrintSetting(options.portable);
  tvbench::Report report(options.only);
  tvbench::RunSymmetric(report);
  tvbench::RunRsa(report);
  tvbench::RunCryptoApi(report);
  tvbench::RunContainers(report);
  report.Print(options.tsv);
  return 0;
}

// The key container suite of tvbench: what a client pays to open an
// existing container and sign one hash with its 2048-bit pair, in our
// provider with the container on a simulated Key (the PIN remembered in the
// user's session block) and in the registry, beside the platform's
// provider with a container of its own. The containers are made for the run
// (the provider's question and PIN dialog answered by a script) and deleted
// again.
#include <cstdio>
#include <string>

#include "bench.h"
#include "csp/front/provider_identity.h"
#include "resources/token_dialog_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/isolation.h"
#include "tests/support/simulated_key.h"
#include "tests/support/window_script.h"

namespace tvbench {
namespace {

constexpr const char* kPin = "1234";
constexpr DWORD kBits = 2048;

struct Container {
  std::string name;
  const char* provider;
  DWORD type;
};

tvtest::WindowScript::Step TypePin() {
  return [](HWND dialog, const tvtest::WindowSnapshot&) {
    tvtest::DialogDriver::TypeText(dialog, IDC_SESSION_ENTRY, kPin);
    tvtest::DialogDriver::Press(dialog, IDOK);
  };
}

// Runs `call` with the provider's windows titled `title` answered by `steps`.
bool Answering(const char* title, std::vector<tvtest::WindowScript::Step> steps, const std::function<bool()>& call) {
  tvtest::WindowScript script(title, std::move(steps));
  const bool ok = call();
  script.Finish();
  return ok && script.Unexpected() == 0;
}

bool Create(const Container& container, std::vector<tvtest::WindowScript::Step> answers) {
  return Answering("Create Cryptographic key", std::move(answers), [&] {
    HCRYPTPROV provider = 0;
    HCRYPTKEY pair = 0;
    if (!CryptAcquireContextA(&provider, container.name.c_str(), container.provider, container.type, CRYPT_NEWKEYSET))
      return false;
    const bool made = CryptGenKey(provider, AT_SIGNATURE, kBits << 16, &pair);
    if (pair) CryptDestroyKey(pair);
    CryptReleaseContext(provider, 0);
    return made;
  });
}

void Delete(const Container& container, std::vector<tvtest::WindowScript::Step> answers) {
  Answering("Delete Cryptographic key", std::move(answers), [&] {
    HCRYPTPROV gone = 0;
    return CryptAcquireContextA(&gone, container.name.c_str(), container.provider, container.type,
                                CRYPT_DELETEKEYSET) != FALSE;
  });
}

// One open of the container (silent: no window can hold the timing up),
// one signature of a SHA-1 value, the context released.
bool OpenAndSign(const Container& container) {
  static const BYTE kDigest[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, container.name.c_str(), container.provider, container.type, CRYPT_SILENT))
    return false;
  HCRYPTHASH hash = 0;
  BYTE signature[kBits / 8];
  DWORD length = sizeof signature;
  const bool signedOk = CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) &&
                        CryptSetHashParam(hash, HP_HASHVAL, kDigest, 0) &&
                        CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, signature, &length);
  if (hash) CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  return signedOk;
}

void AddOpenAndSign(Report& report, const std::string& row, const Container& ours, const Container& peer) {
  if (!OpenAndSign(ours) || !OpenAndSign(peer)) {
    std::fprintf(stderr, "tvbench: %s: a container could not be opened and used\n", row.c_str());
    return;
  }
  const TimingPair seconds = TypicalSecondsPerCallOfBoth([&] { OpenAndSign(ours); }, [&] { OpenAndSign(peer); });
  report.Add(Row{row, Unit::MillisecondsPerOp, Milliseconds(seconds.ours), Milliseconds(seconds.peer)});
}

}  // namespace

void RunContainers(Report& report) {
  if (!report.Wants("capi-open-sign-key") && !report.Wants("capi-open-sign-registry")) return;
  // Our provider stays loaded for the whole suite, as in a client that
  // keeps a context: the session block then keeps the Key's PIN.
  if (OurProvider() == 0 || PeerProvider() == 0) return;
  const tvtest::TempDir simulator;
  if (!tvtest::PrepareSimulatedKey(simulator.Path(), "Bench Reader", "bench", kPin)) return;
  const std::string suffix = std::to_string(GetCurrentProcessId());
  const Container onKey{"tvbench-key-" + suffix, tv::csp::kProviderName, tv::csp::kProviderType};
  const Container inRegistry{"tvbench-registry-" + suffix, tv::csp::kProviderName, tv::csp::kProviderType};
  const Container peer{"tvbench-peer-" + suffix, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES};
  const auto yes = tvtest::PressButton(IDYES);
  if (Create(onKey, {yes, TypePin()}) && Create(peer, {})) AddOpenAndSign(report, "capi-open-sign-key", onKey, peer);
  if (Create(inRegistry, {tvtest::PressButton(IDNO)}))
    AddOpenAndSign(report, "capi-open-sign-registry", inRegistry, peer);
  Delete(onKey, {TypePin()});
  Delete(inRegistry, {});
  Delete(peer, {});
}

}  // namespace tvbench

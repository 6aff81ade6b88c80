// The ProvInfoBlob: a certificate's key-provider information
// (CERT_KEY_PROV_INFO_PROP_ID) as it is kept on the Key, so that CryptoAPI
// leads from the certificate to its key container.
//
//   containerBytes, container name (UTF-16, no terminator),
//   providerBytes, provider name (likewise),
//   dwProvType, dwFlags, cProvParam (0), 0, dwKeySpec      (u32, little-endian)
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <span>

namespace tv::certstore {

inline constexpr DWORD kProvInfoBufferSize = 512;

// Writes the blob of `info` into `out` (`*length` bytes) and sets `*length`
// to its size. False (traced) for a property other than 2, a record with
// provider parameters, or a short buffer.
bool SerializeProvInfo(DWORD propertyId, const CRYPT_KEY_PROV_INFO* info, BYTE* out, DWORD* length);

// Turns `blob` back into a CRYPT_KEY_PROV_INFO at the start of `out`
// (aligned for it, `*length` bytes) with its two strings, terminated,
// behind it; `*length` becomes the size used. False (traced) when the
// blob's lengths do not add up to its size or the result does not fit.
bool UnserializeProvInfo(DWORD propertyId, std::span<const BYTE> blob, BYTE* out, DWORD* length);

}  // namespace tv::certstore

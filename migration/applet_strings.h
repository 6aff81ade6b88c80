// Numbers of the shared strings that the migration applet shows.
#pragma once
#include <windows.h>

namespace tv::migration {

inline constexpr UINT kTextAppletName = 1072;             // "Tavrin Key Migration"
inline constexpr UINT kTextTitle = 1074;                  // "Cryptographic Key Migration Tool"
inline constexpr UINT kTextExported = 1075;               // "...successfully exported..."
inline constexpr UINT kTextImported = 1076;               // "...successfully imported..."
inline constexpr UINT kTextKeyMigrated = 1077;            // "...Now your certificates will be migrated."
inline constexpr UINT kTextCompleted = 1078;              // "Migration is successfully completed."
inline constexpr UINT kTextSelectFirst = 1079;            // "Please select Certificate first."
inline constexpr UINT kTextCertificateProperties = 1087;  // "...while getting Certificate properties."
inline constexpr UINT kTextKeyNotDeleted = 1101;          // "Your Cryptographic key was not deleted..."
inline constexpr UINT kTextContainerNameMissing = 1106;   // "Please set Cryptographic key container name!"
inline constexpr UINT kTextTooManyCertificates = 1110;    // "Only the first %d certificates are listed."
inline constexpr UINT kTextLoadError = 2518;              // "An error occurred while loading %s!"

// The main dialog's labels, in the order of its controls.
inline constexpr UINT kTextIssuedTo = 1092;
inline constexpr UINT kTextIssuedBy = 1093;
inline constexpr UINT kTextExpirationDate = 1094;
inline constexpr UINT kTextEmail = 1095;
inline constexpr UINT kTextCryptoProvider = 1096;
inline constexpr UINT kTextTargetGroup = 1097;
inline constexpr UINT kTextMigrate = 1099;
inline constexpr UINT kTextSelectedCertificate = 1100;
inline constexpr UINT kTextWithoutCertificates = 1103;
inline constexpr UINT kTextWithCertificates = 1104;
inline constexpr UINT kTextWithCertificatesCopy = 1105;
inline constexpr UINT kTextSetContainerName = 1107;
inline constexpr UINT kTextSelect = 2019;
inline constexpr UINT kTextExit = 2007;

// The certificate picker.
inline constexpr UINT kTextCancel = 2002;
inline constexpr UINT kTextOk = 2010;
inline constexpr UINT kTextView = 2018;
inline constexpr UINT kTextIssuedToColumn = 2118;
inline constexpr UINT kTextIssuedByColumn = 2119;
inline constexpr UINT kTextExpirationColumn = 2120;
inline constexpr UINT kTextPickerPrompt = 2323;
inline constexpr UINT kTextPickerCaption = 2421;

}  // namespace tv::migration

// Resources of the token layer that code refers to by number.
#pragma once

#define IDD_PROCESSING_KEY 5150  // "Processing the Key . . ." while a Key operation runs
#define IDB_PROCESSING_KEY 5151  // its picture
#define IDC_PROCESSING_TEXT 110  // its text

// The Key session's dialogs and their icons.
#define IDD_SESSION_PIN 5100      // PIN entry
#define IDD_SESSION_WAIT 5101     // waiting for a Key
#define IDI_SESSION_WAIT 5102
#define IDD_SESSION_NEW_PIN 5103  // new PIN
#define IDI_SESSION_PIN 5104      // PIN entry and new PIN
#define IDD_SESSION_CHOICE 5105   // choosing a Key
#define IDI_SESSION_CHOICE 5106

// Their controls (one number, one role, in every dialog that has it).
#define IDC_SESSION_PROMPT 101
#define IDC_SESSION_ENTRY 102      // the PIN edit, or the list of Keys
#define IDC_SESSION_MESSAGE 103
#define IDC_SESSION_CHANGE_PIN 104
#define IDC_SESSION_PIN_LABEL 105
#define IDC_SESSION_CONFIRM_LABEL 106
#define IDC_SESSION_NEW_PIN 107
#define IDC_SESSION_CONFIRM_PIN 108
#define IDC_SESSION_HOLDER_CHECK 109  // "Key holder verification"
#define IDC_SESSION_ABORT 110
#define IDC_SESSION_CHANGE_BIR 111
#define IDC_SESSION_REMEMBER_PIN 112
#define IDC_SESSION_LINE1 113
#define IDC_SESSION_LINE2 114

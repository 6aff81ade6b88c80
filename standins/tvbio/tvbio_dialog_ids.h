/* Dialogs of TVBioAPI.dll and their controls, for the resource script and
   for tests that drive the dialogs. Buttons: IDOK (1) and IDCANCEL (2). */
#pragma once

#define TVBIO_ENROL_TITLE "Biometric enrolment"
#define TVBIO_VERIFY_TITLE "Biometric verification"

#define IDD_BIO_ENROL 100  /* capture a new record, or choose to remove the record */
#define IDD_BIO_VERIFY 101 /* compare a sample with the Key's record */

#define IDC_BIO_PROMPT 1000  /* static: what to do */
#define IDC_BIO_PHRASE 1001  /* masked edit: the finger phrase (the sample) */
#define IDC_BIO_CONFIRM 1002 /* masked edit: the phrase again (enrolment only) */
#define IDC_BIO_REMOVE 1003  /* check box: remove the record (enrolment of a Key that has one) */

#define TVBIO_MAX_PHRASE 128 /* characters */

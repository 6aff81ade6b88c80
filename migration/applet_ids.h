// Resources of the key migration applet that code refers to by number.
#pragma once

#define IDI_APPLET 2     // the applet's icon, also the dialogs' class icon
#define IDB_APPLET 5009  // the picture of the main dialog

// The main dialog.
#define IDD_MIGRATION 1
#define IDC_CERTIFICATE_GROUP 101
#define IDC_ISSUED_TO_LABEL 102
#define IDC_ISSUED_BY_LABEL 103
#define IDC_EXPIRES_LABEL 104
#define IDC_EMAIL_LABEL 105
#define IDC_PROVIDER_LABEL 107
#define IDC_PICTURE 145
#define IDC_SELECT 158
#define IDC_MIGRATE 159
#define IDC_TARGET_PROVIDER 1001
#define IDC_SUBJECT 1003
#define IDC_ISSUER 1004
#define IDC_EXPIRES 1005
#define IDC_EMAIL 1006
#define IDC_WITHOUT_CERTIFICATES 1007
#define IDC_SOURCE_PROVIDER 1008
#define IDC_WITH_CERTIFICATES 1009
#define IDC_WITH_CERTIFICATES_COPY 1010
#define IDC_TARGET_GROUP 1011
#define IDC_SET_CONTAINER 1012
#define IDC_CONTAINER_NAME 1013

// The certificate picker.
#define IDD_CERTIFICATE_PICKER 105
#define IDC_PICKER_PROMPT 1002
#define IDC_PICKER_LIST 1004
#define IDC_PICKER_VIEW 1020

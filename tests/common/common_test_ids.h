#pragma once
// A string only the test program's own table has, and a dialog for
// FitControlToText.
#define IDS_HOST_ONLY 60000
#define IDD_FIT 200
#define IDC_FIT_CHECK 201
#define IDC_FIT_LABEL 202

// Resources of the token layer that code refers to by number.
#pragma once

#define IDD_PROCESSING_KEY 5150  // "Processing the Key . . ." while a Key operation runs
#define IDB_PROCESSING_KEY 5151  // its picture
#define IDC_PROCESSING_TEXT 110  // its text

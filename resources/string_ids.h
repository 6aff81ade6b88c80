// Numbers of the shared strings that code refers to by name.
#pragma once

#define IDS_STORE_ON_KEY_QUESTION 1000
#define IDS_OPEN_KEY_CAPTION 1001
#define IDS_CREATE_KEY_CAPTION 1002
#define IDS_DELETE_KEY_CAPTION 1003
#define IDS_WRONG_KEY 1108
#define IDS_CONTAINER_NAME_PROMPT 1109
